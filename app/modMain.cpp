// The run loop: start-up, passes in three modes, shutdown.
#include "app/modMain.h"

#include "app/Form1.h"
#include "app/modUtil.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Window.h"
#include "sound/modDS.h"
#include "textures/modShader.h"
#include "textures/modTex.h"

namespace kuvo {

bool Running = false;
bool Paused = false;
bool GameOver = false;
double SimTime = 0.0;
double ClockNow = 0.0;

namespace {

// Every 51st game-over pass flips the result text.
constexpr int GameOverBlinkPasses = 50;

void StartUp() {
  Host.window->ShowCursor(false);
  StartClock(0.0);
  CurrentPlayer = 1;
  InitControl();
  CreateDevice3D();
  BuildTextures();
  BuildModels();
  CreateShaders();
  InitSound();
  RackBalls();
  Running = true;
}

void ShutDown() {
  ReleaseSound();
  ReleaseShaders();
  ReleaseModels();
  ReleaseTextures();
  ReleaseDevice3D();
  Form_Unload();
  Host.window->ShowCursor(true);
}

}  // namespace

void RunGame() {
  StartUp();
  Form1Events events;
  int gameOverPasses = 0;
  while (Running) {
    Host.window->PumpMessages(events);
    ClockNow = ReadClock();
    if (Paused) {
      Host.clock->Sleep(15);
      SimTime = ClockNow;  // time spent inactive is dropped, not caught up
    } else if (GameOver) {
      UpdateControl();
      RenderFrame();
      if (++gameOverPasses > GameOverBlinkPasses) {
        RedrawHud(true);
        PlayScore();
        gameOverPasses = 0;
      }
      Host.clock->Sleep(15);
    } else {
      // Strict: SimTime ends the pass at the first whole step that is not behind the clock.
      while (SimTime < ClockNow) {
        SimTime += 0.001;
        UpdateControl();
        StepPhysics();
        StepSound();
      }
      UpdateCamera();
      RenderFrame();
    }
  }
  ShutDown();
}

}  // namespace kuvo
