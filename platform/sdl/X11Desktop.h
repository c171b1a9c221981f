// What SDL does not say about an X11 desktop: whether a window manager runs, and a way to give the
// keyboard to a window of another client where none does.
#pragma once
#include <string>

typedef struct _XDisplay Display;

namespace kuvo {

// A window manager announces itself on the root window (_NET_SUPPORTING_WM_CHECK).
bool X11WindowManagerRuns(Display* display);

// Waits up to `timeoutMs` for a shown top-level window named `title` (on the display of $DISPLAY) and
// gives it the keyboard focus; false if none appeared or `cancelled` became true first.
bool X11FocusWindowNamed(const std::string& title, int timeoutMs, const volatile bool* cancelled);

}  // namespace kuvo
