// The game's entry point: real backends, then the game; an escaped error becomes one line on stderr.
#include <cstdio>
#include <exception>

#include "app/modMain.h"
#include "platform/Platform.h"
#include "platform/openal/OpenALAudio.h"
#include "platform/sdl/SdlClock.h"

int main() {
  using namespace kuvo;
  SdlClock clock;
  Host.clock = &clock;
  OpenALAudio audio;
  Host.audio = &audio;
  // The window and the OpenGL device are not part of this build: say so rather than start blind.
  if (!Host.window || !Host.gfx) {
    std::fputs("kuvo: this build has no window or graphics backend; kuvo-sim plays the game headless\n", stderr);
    return 1;
  }
  try {
    RunGame();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kuvo: %s\n", e.what());
    return 1;
  }
  return 0;
}
