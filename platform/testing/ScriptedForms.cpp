// The scripted forms: the player's actions applied between frames, clicks and the close box delivered.
#include "platform/testing/ScriptedForms.h"

#include <stdexcept>

namespace kuvo {

void ScriptedForms::Type(int control, std::string_view utf8) {
  Control& c = current_->controls.at(static_cast<std::size_t>(control));
  c.text = LimitTextEdit(c.text, c.text + std::string(utf8), c.maxLength);
  current_->focus = control;
}

void ScriptedForms::Backspace(int control) {
  Control& c = current_->controls.at(static_cast<std::size_t>(control));
  int n = Utf8Length(c.text);
  if (n > 0) c.text = LimitTextEdit(c.text, Utf8Prefix(c.text, n - 1), c.maxLength);
}

void ScriptedForms::Tick(int control) {
  Control& c = current_->controls.at(static_cast<std::size_t>(control));
  c.ticked = !c.ticked;
  current_->focus = control;
}

void ScriptedForms::Select(int control, int listIndex) {
  Control& c = current_->controls.at(static_cast<std::size_t>(control));
  if (listIndex >= 0 && listIndex < static_cast<int>(c.items.size())) c.listIndex = listIndex;
}

void ScriptedForms::Click(int control) { clicks_.push_back(control); }

void ScriptedForms::CloseBox() { close_ = true; }

void ScriptedForms::Quit() { quit_ = true; }

void ScriptedForms::ShowModal(Form& form, FormEvents& events) {
  if (released_) throw std::logic_error("the forms were released");
  log.push_back("show " + form.caption);
  if (form.focus < 0) form.focus = NextTabStop(form, -1, false);
  Form* outer = current_;
  for (int frame = 0; form.loaded && !released_; ++frame) {
    if (frame >= frameLimit) throw std::runtime_error("form " + form.caption + " was never unloaded");
    current_ = &form;
    clicks_.clear();
    close_ = false;
    if (script && !quit_) script(form, frame, *this);
    std::vector<int> clicks = clicks_;
    bool close = close_ || quit_;
    for (int control : clicks) {
      if (!form.loaded || released_) break;
      events.Click(control);
    }
    if (close && form.loaded && !released_) events.Close();
  }
  log.push_back("closed " + form.caption);
  current_ = outer;
}

void ScriptedForms::DoEvents(Form& form, FormEvents& events) {
  if (released_) return;
  log.push_back("doevents " + form.caption);
  close_ = false;
  if (onDoEvents) onDoEvents(form);
  if (close_ || quit_) events.Close();
}

void ScriptedForms::ReleaseForms() {
  log.push_back("release");
  released_ = true;
}

}  // namespace kuvo
