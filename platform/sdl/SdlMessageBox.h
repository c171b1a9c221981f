// A message box for an error that ends the game, shown whether or not a window is open.
#pragma once
#include <string>

namespace kuvo {

// Blocks until the player closes the box; does nothing when there is no display to show it on.
void ShowErrorBox(const std::string& title, const std::string& message);

}  // namespace kuvo
