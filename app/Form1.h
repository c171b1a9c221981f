// The main window: the menu form with its start-up picture, and the event handlers of the run loop's
// window (keys and buttons into KeyState, activation into Paused).
#pragma once
#include "platform/Forms.h"
#include "platform/Window.h"

namespace kuvo {

// The menu form, loaded by ShowForm1; the controls are at these indices.
extern Form Form1;
enum Form1Control : int { pic, Label1, txt1, Ch1, txt2, Ch2, Lst, labPlay, labExit, Image1, Form1ControlCount };
// The 285 x 38 picture "Preparing the table...", made when Form1 loads.
extern Picture StartUpPicture;

// The program's life after the backends are chosen: loads Form1 (the notice first on some days) and
// shows the menu until Form1 is unloaded, by "Exit", the close box or the end of the game.
void ShowForm1();

void Form_Load();
void labPlay_Click();
void labExit_Click();
// Form1 is unloaded. The run loop's window events stop with it; the program ends once it returns.
void Form_Unload();

// The picture shown while the table is built.
Picture MakeStartUpPicture();

class Form1Events : public WindowEvents {
 public:
  void KeyDown(int virtualKey) override;
  void MouseDown(int button) override;
  void MouseUp(int button) override;
  void Activate(bool active) override;
  void Close() override;
  void Resize(int clientWidth, int clientHeight) override;
};

}  // namespace kuvo
