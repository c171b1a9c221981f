// The game's entry point: real backends, then the game; an escaped error becomes one line on stderr.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/freetype/FreeTypeCanvas.h"
#include "platform/gl/GlGfx.h"
#include "platform/openal/OpenALAudio.h"
#include "platform/sdl/SdlClock.h"
#include "platform/sdl/SdlWindow.h"

int main() {
  using namespace kuvo;
  try {
    SdlClock clock;
    Host.clock = &clock;
    FreeTypeCanvas text;
    Host.text = &text;
    SdlWindow window("Kuvo", 565, 314);
    Host.window = &window;
    GlGfx gfx(window);
    Host.gfx = &gfx;
    OpenALAudio audio;
    Host.audio = &audio;

    // A human against the computer at the middle difficulty, in a window filling the screen.
    window.Maximise();
    PlayerNames[1] = "Player1";
    PlayerNames[2] = "Player2";
    IsComputer[1] = false;
    IsComputer[2] = true;
    Difficulty = static_cast<float>(1 * 0.025 + 0.01);
    try {
      RunGame();
    } catch (const DeviceError& e) {
      // Say why the device could not be had, not only which call failed.
      if (gfx.LastProblem().empty()) throw;
      throw std::runtime_error(std::string(e.what()) + ": " + gfx.LastProblem());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kuvo: %s\n", e.what());
    return 1;
  }
  return 0;
}
