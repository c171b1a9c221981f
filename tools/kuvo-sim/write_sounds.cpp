// Writes the six sound effects as WAV files: the game's own synthesis on the recording audio
// backend, and the exact samples it uploaded.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/testing/RecordingAudio.h"
#include "sound/modDS.h"
#include "tools/common/Files.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

namespace {

// In the order InitSound creates them.
const char* const kSoundNames[6] = {"StrokeSound", "DropSound", "ClickSound", "ThudSound", "ScoreSound", "FoulSound"};

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

void PutText(std::vector<std::uint8_t>& out, const char* text) {
  for (; *text; ++text) out.push_back(static_cast<std::uint8_t>(*text));
}

// A canonical 44-byte RIFF header over the buffer's own PCM bytes. Returns an empty string or the reason.
std::string WriteWav(const std::filesystem::path& path, const RecordedSound& sound) {
  const WAVEFORMATEX& f = sound.format;
  const auto dataBytes = static_cast<std::uint32_t>(sound.bytes.size());
  std::vector<std::uint8_t> file;
  file.reserve(44 + sound.bytes.size());
  PutText(file, "RIFF");
  PutLittleEndian(file, 36 + dataBytes, 4);
  PutText(file, "WAVEfmt ");
  PutLittleEndian(file, 16, 4);
  PutLittleEndian(file, f.wFormatTag, 2);
  PutLittleEndian(file, f.nChannels, 2);
  PutLittleEndian(file, f.nSamplesPerSec, 4);
  PutLittleEndian(file, f.nAvgBytesPerSec, 4);
  PutLittleEndian(file, f.nBlockAlign, 2);
  PutLittleEndian(file, f.wBitsPerSample, 2);
  PutText(file, "data");
  PutLittleEndian(file, dataBytes, 4);
  for (std::uint8_t b : sound.bytes) file.push_back(b);
  return tools::WriteWholeFile(path, file);
}

}  // namespace

int WriteSounds(const std::string& dir) {
  RecordingAudio audio;
  Platform saved = Host;
  Host.audio = &audio;
  try {
    InitSound();
    ReleaseSound();
  } catch (const std::exception& e) {
    Host = saved;
    std::fprintf(stderr, "kuvo-sim: %s\n", e.what());
    return 1;
  }
  Host = saved;

  if (!MakeDirectory(dir)) return 1;
  const auto& sounds = audio.Sounds();
  if (sounds.size() != 6) {
    std::fprintf(stderr, "kuvo-sim: expected 6 sounds, the synthesis made %zu\n", sounds.size());
    return 1;
  }
  for (int k = 0; k < 6; ++k) {
    std::filesystem::path path = std::filesystem::path(dir) / (std::string(kSoundNames[k]) + ".wav");
    if (std::string problem = WriteWav(path, *sounds[k]); !problem.empty()) {
      std::fprintf(stderr, "kuvo-sim: cannot write %s: %s\n", path.c_str(), problem.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

}  // namespace kuvo::sim
