// The X11 facts the SDL backend needs beyond SDL, through Xlib directly.
#include "platform/sdl/X11Desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace kuvo {

bool X11WindowManagerRuns(Display* display) {
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format,
                                  &count, &after, &data);
  if (data) XFree(data);
  return status == Success && type == XA_WINDOW && count == 1;
}

namespace {

Window ShownWindowNamed(Display* display, const std::string& title) {
  Window root = 0, parent = 0, found = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned int i = count; i-- > 0 && !found;) {  // the top of the stack first
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    // WM_NAME of any encoding: SDL stores it as UTF8_STRING, which XFetchName passes over.
    Atom type = None;
    int format = 0;
    unsigned long length = 0, after = 0;
    unsigned char* name = nullptr;
    if (XGetWindowProperty(display, children[i], XA_WM_NAME, 0, 256, False, AnyPropertyType, &type, &format, &length,
                           &after, &name) == Success &&
        name) {
      if (format == 8 && title == std::string(reinterpret_cast<char*>(name), length)) found = children[i];
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

}  // namespace

bool X11FocusWindowNamed(const std::string& title, int timeoutMs, const volatile bool* cancelled) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  bool focused = false;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!focused && !*cancelled && std::chrono::steady_clock::now() < end) {
    if (Window window = ShownWindowNamed(display, title)) {
      XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
      XSync(display, False);
      Window now = 0;
      int revert = 0;
      XGetInputFocus(display, &now, &revert);
      focused = now == window;
    }
    if (!focused) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XCloseDisplay(display);
  return focused;
}

}  // namespace kuvo
