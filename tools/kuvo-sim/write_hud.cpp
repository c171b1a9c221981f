// Writes the text line as PNG files for a few moments of a game: RedrawHud on the FreeType canvas and
// the recording graphics service, then the bytes the texture's top level received, red, green and blue.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/testing/Headless.h"
#include "textures/modTex.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

namespace {

struct HudState {
  const char* file;
  const char* name1;
  const char* name2;
  std::int32_t score1, score2, current;
  bool gameOver;  // RedrawHud(true) instead of the scoreboard
};

// HudBlink starts false, so the first game-over redraw is the result and the next the prompt.
const HudState kStates[] = {
    {"hud-opening", "Player1", "Player2", 0, 0, 1, false},
    {"hud-midgame", "Anna", "Computer", 5, 3, 2, false},
    {"hud-result", "Anna", "Computer", 8, 5, 1, true},
    {"hud-prompt", "Anna", "Computer", 8, 5, 1, true},
    {"hud-cyrillic", "\xD0\x96\xD1\x83\xD0\xBA", "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F", 7, 12, 1, false},
    {"hud-longest", "WWWWWWWW", "\xD0\xA9\xD0\xA9\xD0\xA9\xD0\xA9\xD0\xA9\xD0\xA9\xD0\xA9\xD0\xA9", 12, 12, 2,
     false},
};

}  // namespace

int WriteHud(const std::string& dir) {
  if (!MakeDirectory(dir)) return 1;
  HeadlessPlatform host;
  int status = 0;
  try {
    CreateDevice3D();
    SetUpHud();
    HudBlink = false;
    for (const HudState& s : kStates) {
      PlayerNames[1] = s.name1;
      PlayerNames[2] = s.name2;
      Scores[1] = s.score1;
      Scores[2] = s.score2;
      CurrentPlayer = s.current;
      RedrawHud(s.gameOver);
      std::filesystem::path path = std::filesystem::path(dir) / (std::string(s.file) + ".png");
      if (!WriteLevelPng(path, HudTexture)) {
        status = 1;
        break;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kuvo-sim: %s\n", e.what());
    status = 1;
  }
  ReleaseTextures();
  ReleaseDevice3D();
  return status;
}

}  // namespace kuvo::sim
