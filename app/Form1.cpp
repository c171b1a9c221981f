// The main window: the menu form, its start-up picture and Play, and the event handlers of the run loop.
#include "app/Form1.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ai/modAI.h"
#include "app/frmegy.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/TextCanvas.h"

namespace kuvo {

Form Form1;
Picture StartUpPicture;

namespace {

constexpr std::uint32_t MenuGreen = 0x002800;  // 0x00BBGGRR: dark green
constexpr std::uint32_t PanelGrey = 0x808080;
constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;
constexpr FontSpec ControlFont{FontSpec::Face::Mono, 14.25f};  // Courier New 14.25 pt bold
constexpr FontSpec PanelFont{FontSpec::Face::Mono, 26.25f};    // the panel's own, the text line's font
constexpr FontSpec TitleFont{FontSpec::Face::Serif, 24.0f};    // Times New Roman 24 pt bold
constexpr int NameLength = 8;

Control Make(const char* name, ControlKind kind, int container, int left, int top, int width, int height,
             const char* text, FontSpec font) {
  Control c;
  c.name = name;
  c.kind = kind;
  c.container = container;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  c.text = text;
  c.font = font;
  return c;
}

// The design of Form1: client area 8475 x 4710 twips, every control at its design position.
Form DesignForm1() {
  Form f;
  f.caption = "Kuvo";
  f.clientWidth = 8475;
  f.clientHeight = 4710;
  f.backColour = MenuGreen;
  f.controls.resize(Form1ControlCount);
  f.controls[pic] = Make("pic", ControlKind::Panel, -1, 1080, 480, 6195, 3555, "", PanelFont);
  f.controls[pic].backColour = PanelGrey;
  f.controls[Label1] = Make("Label1", ControlKind::Label, pic, 180, 180, 5835, 615, "Kuvo", TitleFont);
  f.controls[Label1].foreColour = White;
  f.controls[Label1].centred = true;
  f.controls[Label1].tabStop = false;
  const int nameTop[3] = {0, 1260, 1800};
  const int tickTop[3] = {0, 1320, 1860};
  const char* names[3] = {"", "Player1", "Player2"};
  for (int i = 1; i <= 2; ++i) {
    int box = i == 1 ? txt1 : txt2;
    int tick = i == 1 ? Ch1 : Ch2;
    f.controls[box] = Make(i == 1 ? "txt(1)" : "txt(2)", ControlKind::TextBox, pic, 480, nameTop[i], 1395, 330,
                           names[i], ControlFont);
    f.controls[box].maxLength = NameLength;
    f.controls[box].transparent = false;
    f.controls[tick] = Make(i == 1 ? "Ch(1)" : "Ch(2)", ControlKind::CheckBox, pic, 2100, tickTop[i], 1755, 270,
                            "Computer", ControlFont);
    f.controls[tick].foreColour = Black;
  }
  f.controls[Ch2].ticked = true;
  f.controls[Lst] = Make("Lst", ControlKind::ListBox, pic, 4140, 1200, 1350, 1020, "", ControlFont);
  f.controls[Lst].items = {"Novice", "Average", "Master!"};
  f.controls[Lst].transparent = false;
  f.controls[labPlay] = Make("labPlay", ControlKind::Label, pic, 1320, 2880, 1395, 375, "Play", ControlFont);
  f.controls[labExit] = Make("labExit", ControlKind::Label, pic, 3480, 2880, 1395, 375, "Exit", ControlFont);
  for (int label : {labPlay, labExit}) {
    f.controls[label].border = true;
    f.controls[label].centred = true;
  }
  // The start-up picture belongs to the window itself, not the panel, and is hidden until Play.
  f.controls[Image1] = Make("Image1", ControlKind::Image, -1, 2100, 2070, 4275, 570, "", ControlFont);
  f.controls[Image1].visible = false;
  f.controls[Image1].picture = &StartUpPicture;
  f.focus = txt1;
  return f;
}

class Form1Handlers : public FormEvents {
 public:
  void Click(int control) override {
    if (control == labPlay) labPlay_Click();
    else if (control == labExit) labExit_Click();
  }
  void Close() override { Form_Unload(); }
};

// While the start-up picture is drawn: the close box (or a signal) ends the run at its first pass.
class StartingHandlers : public FormEvents {
 public:
  void Click(int) override {}
  void Close() override { CloseRequested = true; }
};

}  // namespace

Picture MakeStartUpPicture() {
  Picture p = SolidPicture(285, 38, 0x0C1A0C);
  // A thin brass frame round a dark cloth strip.
  for (int x = 0; x < p.width; ++x) {
    p.pixels[static_cast<std::size_t>(x)] = 0xB08A3C;
    p.pixels[static_cast<std::size_t>((p.height - 1) * p.width + x)] = 0xB08A3C;
  }
  for (int y = 0; y < p.height; ++y) {
    p.pixels[static_cast<std::size_t>(y * p.width)] = 0xB08A3C;
    p.pixels[static_cast<std::size_t>(y * p.width + p.width - 1)] = 0xB08A3C;
  }
  WriteText(p, -1, -1, "Preparing the table...", 0xF0E6C8, 0.6f);
  return p;
}

void ShowForm1() {
  Form1 = DesignForm1();
  StartUpPicture = MakeStartUpPicture();
  Form_Load();
  if (!Form1.loaded) return;
  Form1Handlers handlers;
  Host.forms->ShowModal(Form1, handlers);
}

void Form_Load() {
  if (NoticeDay(Host.clock->Today().day)) ShowNotice();
  Form1.controls[Lst].listIndex = 1;  // "Average"
  // From here on the window's events go to Form1Events: RunGame's pump hands them over.
}

void labPlay_Click() {
  Form1.controls[pic].visible = false;
  // Image1 is the form's last control, so it is drawn in front of everything.
  Form1.controls[Image1].visible = true;
  Host.window->Maximise();
  // The maximised window and the picture are drawn here, before the build starts.
  StartingHandlers starting;
  Host.forms->DoEvents(Form1, starting);
  for (int i = 1; i <= 2; ++i) {
    PlayerNames[i] = Form1.controls[i == 1 ? txt1 : txt2].text;
    IsComputer[i] = Form1.controls[i == 1 ? Ch1 : Ch2].ticked;
  }
  double level = 2 - Form1.controls[Lst].listIndex;
  Difficulty = static_cast<float>(level * level * 0.025 + 0.01);
  // The game's device makes its own context on this window.
  Host.forms->ReleaseForms();
  RunGame();
}

void labExit_Click() { Form_Unload(); }

void Form_Unload() { Form1.loaded = false; }

// ---- The run loop's window events ----

static int ButtonIndex(int button) {
  // Left -1, right -2; the middle and any further button -3.
  return button == 1 ? -1 : button == 2 ? -2 : -3;
}

void Form1Events::KeyDown(int virtualKey) {
  if (virtualKey >= 0 && virtualKey <= 255) KeyState(virtualKey) = true;
}

void Form1Events::MouseDown(int button) { KeyState(ButtonIndex(button)) = true; }

void Form1Events::MouseUp(int button) { KeyState(ButtonIndex(button)) = false; }

void Form1Events::Activate(bool active) { SubclassWndProc(active); }

// The close box ends the run like Esc, also while the window is inactive: the current pass completes,
// then the game shuts down in order.
void Form1Events::Close() { CloseRequested = true; }

// The back buffer follows the client area, so the projection must follow its shape or the picture stretches.
// The projection is remade here too: the game-over branch draws without recomputing the camera.
void Form1Events::Resize(int clientWidth, int clientHeight) {
  if (clientWidth <= 0 || clientHeight <= 0) return;  // minimised
  AspectRatio = static_cast<float>(clientWidth) / static_cast<float>(clientHeight);
  MatrixPerspectiveFov(ProjectionMatrix, FieldOfView, AspectRatio, 0.01f, 16.0f);
}

}  // namespace kuvo
