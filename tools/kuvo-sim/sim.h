// The parts of kuvo-sim: the match runner and the asset writers.
#pragma once
#include <filesystem>
#include <string>

namespace kuvo {
class GfxTexture;
}

namespace kuvo::sim {

struct MatchOptions {
  int games = 1;
  float difficulty[3] = {0.0f, 0.035f, 0.035f};  // per player 1..2
  double seedTimeOfDay = 0.0;                     // seconds since midnight at the first rack
};

// Plays the games and prints one line per game and a summary. Returns the exit code.
int RunMatches(const MatchOptions& options);
// Writes the ten textures as PNG files into `dir`. Returns the exit code.
int WriteTextures(const std::string& dir);
// Writes the six effects as 16-bit mono 44100 Hz WAV files into `dir`. Returns the exit code.
int WriteSounds(const std::string& dir);
// Writes the text line (scoreboards, the result, the prompt, Cyrillic names) as PNG files into `dir`.
// Returns the exit code.
int WriteHud(const std::string& dir);

// Creates `dir` and its parents; false, with the reason on stderr, when it cannot.
bool MakeDirectory(const std::string& dir);
// Level 0 of a recording device's texture as an RGB PNG, named on stdout; false, with the reason on stderr,
// when the texture is missing or the file cannot be written.
bool WriteLevelPng(const std::filesystem::path& path, const GfxTexture* texture);

}  // namespace kuvo::sim
