// Forms service: the menu and notice windows as forms of simple controls laid out in twips, shown in the
// game's one window before the run loop owns it.
//
// What the service promises:
// * Units: positions and sizes in twips, 15 to a pixel; a control's position is in its container's
//   coordinates (the form's client area, or a panel). Colours are Windows colour values, 0x00BBGGRR.
//   Font sizes are in points at 96 dpi. Text is UTF-8; lengths of text boxes count characters.
// * The game owns the Form values and their controls; a backend only reads them and writes back what
//   the player changes (text, tick, list selection, focus), always through the rules below, and then
//   reports clicks and the close box to the FormEvents passed in. Events arrive only inside ShowModal and
//   DoEvents, on the one game thread, after the frame that produced them has been drawn.
// * Lifetimes: a Picture must outlive the forms that show it. ReleaseForms ends the service's use of the
//   window (its drawing context and all) so that the game's device can take the window over.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Utf8.h"  // the text boxes count and cut characters by its rule

namespace kuvo {

constexpr int TwipsPerPixel = 15;

// A picture of the program's own making: rows top first, pixels 0x00RRGGBB.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

enum class ControlKind { Panel, Label, TextBox, CheckBox, ListBox, Image, Button };

struct FontSpec {
  enum class Face { Mono, Serif } face = Face::Mono;  // Courier New and Times New Roman look-alikes
  float points = 14.25f;
};

struct Control {
  std::string name;  // "txt(1)", "labPlay": for logs and tests
  ControlKind kind = ControlKind::Label;
  int container = -1;  // index of the panel holding it, -1 for the form itself
  int left = 0, top = 0, width = 0, height = 0;  // twips
  std::string text;                // caption, or a text box's text
  std::vector<std::string> items;  // list box
  int listIndex = -1;              // list box selection, -1 none
  bool ticked = false;             // check box
  int maxLength = 0;               // text box: at most this many characters, 0 for no limit
  std::uint32_t foreColour = 0x000000;
  std::uint32_t backColour = 0xFFFFFF;
  bool transparent = true;  // labels and check boxes show their container through
  FontSpec font;
  bool border = false;   // a single-line border
  bool centred = false;  // caption centred
  bool visible = true;
  bool tabStop = true;   // reached by Tab in the order of the controls
  const Picture* picture = nullptr;  // image: shown at its own size from the control's top-left corner
};

struct Form {
  std::string caption;
  int clientWidth = 0, clientHeight = 0;  // twips; the window takes this size when the form is shown
  std::uint32_t backColour = 0x000000;
  std::vector<Control> controls;  // drawn in order, so later ones are in front
  int focus = -1;                 // the control with the keyboard focus, -1 none
  bool loaded = true;             // cleared by unloading; ShowModal returns when it is
};

class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void Click(int control) = 0;
  // The window's close box.
  virtual void Close() = 0;
};

class Forms {
 public:
  virtual ~Forms() = default;
  // Sizes the window to the form, shows it and delivers its events until form.loaded is false or the
  // forms are released. The focused control has the keyboard from the first frame; with none focused,
  // the first in the tab order takes the focus. Errors thrown by a handler pass through.
  // A request to end the program (SIGINT, SIGTERM) is a close box for the form shown and for every
  // form shown after it, each of which gets Close at once.
  virtual void ShowModal(Form& form, FormEvents& events) = 0;
  // Draws the form as it is now, after the pending window events; a close box or a request to end the
  // program among them is delivered to `events` as Close (clicks are not delivered here).
  virtual void DoEvents(Form& form, FormEvents& events) = 0;
  // Gives the window up: the forms draw nothing more and the game's device may create its own context.
  virtual void ReleaseForms() = 0;
};

// ---- Rules both backends follow, so that the game behaves the same on either ----

// A text box's edit from `before` to `after` (typing, a paste, a deletion), kept within `maxLength`
// characters: the changed middle keeps only as many of its new characters as fit, so a character
// typed into a full box is refused and a paste is cut. `cursor` receives the byte offset just after
// what was inserted. maxLength 0 accepts everything. Invalid UTF-8 in `after` is kept as U+FFFD, one
// character per invalid subpart (platform/Utf8.h), so the result is always valid UTF-8.
std::string LimitTextEdit(std::string_view before, std::string_view after, int maxLength, int* cursor = nullptr);

// The next visible tab stop after `from` (or before it, backwards), wrapping round; -1 if there is none.
int NextTabStop(const Form& form, int from, bool backwards);

// A control's rectangle in the form's client area, in pixels (twips / 15, containers added).
struct PixelRect {
  int left, top, width, height;
};
PixelRect ControlPixels(const Form& form, int control);
// A control is shown when it and every container holding it are visible.
bool ControlShown(const Form& form, int control);

}  // namespace kuvo
