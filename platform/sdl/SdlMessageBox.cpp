// The error box on SDL2: it needs only the video subsystem, not the game's window.
#include "platform/sdl/SdlMessageBox.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "platform/sdl/SdlVideo.h"
#include "platform/sdl/X11Desktop.h"

namespace kuvo {

namespace {

// SDL's box does not wrap: break long lines at spaces so the box stays on the screen.
std::string Wrapped(const std::string& text) {
  constexpr std::size_t Width = 64;
  std::string out;
  std::size_t column = 0, i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of(" \n", i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    if (column > 0 && column + 1 + word.size() > Width) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    if (end < text.size() && text[end] == '\n') {
      out += '\n';
      column = 0;
    }
    i = end + 1;
  }
  return out;
}

}  // namespace

void ShowErrorBox(const std::string& title, const std::string& message) {
  // The box is an X11 window of its own: without a display there is nobody to show it to.
  try {
    StartVideo();
  } catch (const std::runtime_error&) {
    return;
  }
  // SDL 2.26 without a parent window tries only zenity on X11; a hidden parent gets SDL's own X11 box.
  // SDL centres the box across its parent (a third of the way down) but adds the parent's position
  // twice, so the parent covers the display from its top-left corner.
  SDL_Rect display{0, 0, 640, 360};
  SDL_GetDisplayBounds(0, &display);
  SDL_Window* parent = SDL_CreateWindow("", display.x, display.y, display.w, display.h, SDL_WINDOW_HIDDEN);
  // Nothing gives a new window the keyboard where no window manager runs: give it to the box, so
  // that Enter closes it.
  volatile bool shown = false;
  std::thread focus;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (parent && SDL_GetWindowWMInfo(parent, &info) && info.subsystem == SDL_SYSWM_X11 &&
      !X11WindowManagerRuns(info.info.x11.display))
    focus = std::thread([&title, &shown] { X11FocusWindowNamed(title, 10000, &shown); });
  // SDL draws the box in a child process; on a machine under heavy load that child has been seen to fail
  // now and then, so one more try is worth it before the player is left with stderr alone.
  int result = -1;
  for (int attempt = 0; attempt < 2 && result != 0; ++attempt)
    result = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), Wrapped(message).c_str(), parent);
  shown = true;
  if (focus.joinable()) focus.join();
  if (result != 0) std::fprintf(stderr, "kuvo: no message box: %s\n", SDL_GetError());
  if (parent) SDL_DestroyWindow(parent);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace kuvo
