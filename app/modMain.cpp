// The run loop: start-up, passes in three modes, shutdown.
#include "app/modMain.h"

#include <csignal>

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

bool CloseRequested = false;

namespace {

// Every 51st game-over pass flips the result text.
constexpr int GameOverBlinkPasses = 50;

// Set by SIGINT or SIGTERM; a handler may do no more than this.
volatile std::sig_atomic_t StopSignal = 0;

extern "C" void OnStopSignal(int) { StopSignal = 1; }

// SIGINT and SIGTERM end the run like the close box for as long as the run loop lives.
class StopSignals {
 public:
  StopSignals() {
    StopSignal = 0;
    previousInt_ = std::signal(SIGINT, OnStopSignal);
    previousTerm_ = std::signal(SIGTERM, OnStopSignal);
  }
  ~StopSignals() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

// After an error the run ends where it happened, without the shutdown sequence; what was already made
// is still let go, so a failed start leaves nothing behind. The first error is the one that goes on.
void ReleaseAfterError() {
  for (void (*release)() : {ReleaseSound, ReleaseShaders, ReleaseModels, ReleaseTextures, ReleaseDevice3D}) {
    try {
      release();
    } catch (...) {
    }
  }
  Host.window->ShowCursor(true);
}

}  // namespace

void PlayPass() {
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

namespace {

// Passes until Running goes false: paused, game over or normal play.
void RunPasses() {
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
      PlayPass();
    }
    // Read here, not by a step, so that they end the run in every mode, paused included.
    if (CloseRequested || StopSignal) Running = false;
  }
}

}  // namespace

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

// A close that came before the run (while the start-up picture was drawn) ends it at its first pass;
// the run uses the request up, whichever way it ends.
void RunGame() {
  StopSignals signals;
  try {
    StartUp();
    RunPasses();
  } catch (...) {
    CloseRequested = false;
    ReleaseAfterError();
    throw;
  }
  CloseRequested = false;
  ShutDown();
}

}  // namespace kuvo
