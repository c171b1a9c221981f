// The game's entry point: real backends, then the menu and the game; an error that ends the game is
// shown in a message box and as one line on stderr, and the exit code is non-zero.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "app/Form1.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/freetype/FreeTypeCanvas.h"
#include "platform/gl/GlGfx.h"
#include "platform/imgui/ImGuiForms.h"
#include "platform/openal/OpenALAudio.h"
#include "platform/sdl/SdlClock.h"
#include "platform/sdl/SdlMessageBox.h"
#include "platform/sdl/SdlWindow.h"

int main() {
  using namespace kuvo;
  std::string error;
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
    ImGuiForms forms(window);
    Host.forms = &forms;
    try {
      ShowForm1();
    } catch (const DeviceError& e) {
      // Say why the device could not be had, not only which call failed.
      if (gfx.LastProblem().empty()) throw;
      throw std::runtime_error(std::string(e.what()) + ": " + gfx.LastProblem());
    }
  } catch (const std::exception& e) {
    error = e.what();
  }
  Host = Platform{};
  if (error.empty()) return 0;
  std::fprintf(stderr, "kuvo: %s\n", error.c_str());
  // The window is gone by now; the box stands on its own until the player closes it.
  ShowErrorBox("Kuvo", "Kuvo cannot go on:\n" + error);
  return 1;
}
