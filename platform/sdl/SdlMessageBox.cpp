// The error box on SDL2: it needs only the video subsystem, not the game's window.
#include "platform/sdl/SdlMessageBox.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

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

// Waits up to `timeoutMs` for the task whose child list is `childrenPath` to have a child; false if
// none came or `cancelled` became true first. Only system calls and the stack: it runs while another
// thread may fork.
bool WaitForChild(const char* childrenPath, int timeoutMs, const volatile bool* cancelled) {
  for (int waited = 0; waited < timeoutMs && !*cancelled; waited += 5) {
    int fd = open(childrenPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;  // a kernel without the list: no way to tell, so no focus
    char buffer[32];
    ssize_t length = read(fd, buffer, sizeof buffer);
    close(fd);
    if (length > 0) return true;
    struct timespec pause{0, 5'000'000};
    nanosleep(&pause, nullptr);
  }
  return false;
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
  // that Enter closes it. SDL draws the box in a child it forks; a thread holding a lock (malloc's,
  // Xlib's) at that fork leaves the child stuck on it for good, so the watcher touches nothing until
  // the child exists, and a second try goes without it.
  volatile bool shown = false;
  std::thread focus;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (parent && SDL_GetWindowWMInfo(parent, &info) && info.subsystem == SDL_SYSWM_X11 &&
      !X11WindowManagerRuns(info.info.x11.display)) {
    // The children of this thread, the one that forks.
    static char children[64];
    std::snprintf(children, sizeof children, "/proc/self/task/%d/children", static_cast<int>(gettid()));
    focus = std::thread([&title, &shown] {
      if (WaitForChild(children, 2000, &shown)) X11FocusWindowNamed(title, 10000, &shown);
    });
  }
  int result = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), Wrapped(message).c_str(), parent);
  shown = true;
  if (focus.joinable()) focus.join();
  // On a machine under heavy load the box's child has been seen to fail now and then: one more try is
  // worth it before the player is left with stderr alone.
  if (result != 0)
    result = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), Wrapped(message).c_str(), parent);
  if (result != 0) std::fprintf(stderr, "kuvo: no message box: %s\n", SDL_GetError());
  if (parent) SDL_DestroyWindow(parent);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace kuvo
