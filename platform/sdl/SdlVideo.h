// SDL's video subsystem on a display somebody can see.
#pragma once
#include <string>

namespace kuvo {

// Starts SDL's video subsystem (counted: pair each call with SDL_QuitSubSystem(SDL_INIT_VIDEO)).
// Throws std::runtime_error beginning "no display: " when SDL cannot start it, or when the only driver it
// found is one that shows nothing ("offscreen", "dummy") and the user did not name it in SDL_VIDEODRIVER.
void StartVideo();

// Why no window can be opened here ("no display: ..."), or empty when one can.
std::string DisplayProblem();

// True when `driver` is one of the comma-separated names in `asked` (SDL_VIDEODRIVER's form).
bool DriverNamed(const char* asked, const char* driver);

}  // namespace kuvo
