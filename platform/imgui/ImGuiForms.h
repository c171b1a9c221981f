// The forms on Dear ImGui in the game's SDL window, through an OpenGL context of their own that
// ReleaseForms deletes, with the ImGui context, before the game's device makes its own.
#pragma once
#include <map>
#include <memory>
#include <vector>

#include "platform/Forms.h"

namespace kuvo {

class SdlWindow;

class ImGuiForms final : public Forms {
 public:
  explicit ImGuiForms(SdlWindow& window);
  ~ImGuiForms() override;
  ImGuiForms(const ImGuiForms&) = delete;
  ImGuiForms& operator=(const ImGuiForms&) = delete;

  // Throws std::runtime_error when the window can have no OpenGL context.
  void ShowModal(Form& form, FormEvents& events) override;
  void DoEvents(Form& form, FormEvents& events) override;
  void ReleaseForms() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kuvo
