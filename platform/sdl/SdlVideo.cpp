#include "platform/sdl/SdlVideo.h"

#include <SDL.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace kuvo {

namespace {

// Drivers SDL falls back to when neither X11 nor Wayland answers: windows exist there, but unseen.
bool Invisible(std::string_view driver) { return driver == "offscreen" || driver == "dummy"; }

}  // namespace

bool DriverNamed(const char* asked, const char* driver) {
  if (!asked || !driver) return false;
  std::string_view names(asked), wanted(driver);
  while (!names.empty()) {
    std::size_t comma = names.find(',');
    if (names.substr(0, comma) == wanted) return true;
    if (comma == std::string_view::npos) break;
    names.remove_prefix(comma + 1);
  }
  return false;
}

void StartVideo() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    throw std::runtime_error(std::string("no display: ") + SDL_GetError());
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && Invisible(driver) && !DriverNamed(SDL_getenv("SDL_VIDEODRIVER"), driver)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    throw std::runtime_error(
        "no display: neither an X11 display (DISPLAY) nor a Wayland compositor (WAYLAND_DISPLAY) can be reached");
  }
}

std::string DisplayProblem() {
  try {
    StartVideo();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return {};
}

}  // namespace kuvo
