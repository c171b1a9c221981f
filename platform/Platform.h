// The one choice of backends: main picks the real ones, tests and tools the testing ones.
// Game modules reach every service through Host and nothing else.
#pragma once

namespace kuvo {

class Clock;
class Window;
class Gfx;
class Audio;
class TextCanvas;
class Forms;

struct Platform {
  Clock* clock = nullptr;
  Window* window = nullptr;
  Gfx* gfx = nullptr;
  Audio* audio = nullptr;
  TextCanvas* text = nullptr;
  Forms* forms = nullptr;  // the menu and notice windows, before the run loop
};

extern Platform Host;

}  // namespace kuvo
