// Every testing backend at once, installed as the Host for as long as the value lives:
// the whole game runs with no window, GPU or sound card. The recorders start by counting only.
// The text canvas is the real FreeType one: it needs no display.
#pragma once
#include "platform/Platform.h"
#include "platform/freetype/FreeTypeCanvas.h"
#include "platform/testing/RecordingAudio.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "platform/testing/VirtualClock.h"

namespace kuvo {

struct HeadlessPlatform {
  VirtualClock clock;
  ScriptedWindow window;
  RecordingAudio audio{RecordingAudio::Mode::CountOnly};
  RecordingGfx gfx;  // counts only until a test asks for the log
  FreeTypeCanvas text;

  explicit HeadlessPlatform(double timeOfDayAtStart = 0.0) : clock(timeOfDayAtStart) {
    Host = Platform{};
    Host.clock = &clock;
    Host.window = &window;
    Host.audio = &audio;
    Host.gfx = &gfx;
    Host.text = &text;
    gfx.SetKeepLog(false);
  }
  ~HeadlessPlatform() { Host = Platform{}; }
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;
};

}  // namespace kuvo
