// Forms without a screen: a test plays the player through a script run once per modal frame, with
// edits kept to the same rules as the real backend, and reads the log of what the forms were asked.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Forms.h"

namespace kuvo {

class ScriptedForms : public Forms {
 public:
  // Called at every frame of a modal form, with the frame's number in that ShowModal (0 first). The
  // actions it takes are delivered after it returns, as a real backend delivers a frame's input.
  std::function<void(Form& form, int frame, ScriptedForms& forms)> script;
  // Called inside every DoEvents, to look at the form and the game as they are at that moment; a
  // CloseBox() it calls is delivered by that DoEvents.
  std::function<void(const Form& form)> onDoEvents;
  // "show <caption>", "doevents <caption>", "release", "closed <caption>" in order.
  std::vector<std::string> log;
  // A modal form still loaded after this many frames ends the test with an error.
  int frameLimit = 1000;

  // The player's actions on the form being shown.
  void Type(int control, std::string_view utf8);  // at the end of the text: typing or a paste
  void Backspace(int control);
  void Tick(int control);
  void Select(int control, int listIndex);
  void Click(int control);
  void CloseBox();
  // SIGINT or SIGTERM: the form shown and every form shown after it get Close, as the real backend does.
  void Quit();

  bool Released() const { return released_; }

  void ShowModal(Form& form, FormEvents& events) override;
  void DoEvents(Form& form, FormEvents& events) override;
  void ReleaseForms() override;

 private:
  Form* current_ = nullptr;
  std::vector<int> clicks_;
  bool close_ = false;
  bool quit_ = false;
  bool released_ = false;
};

}  // namespace kuvo
