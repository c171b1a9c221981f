// Writes the six sound effects as WAV files: the game's own synthesis on the recording audio
// backend, and the exact samples it uploaded.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/Platform.h"
#include "platform/testing/RecordingAudio.h"
#include "sound/modDS.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

namespace {

// In the order InitSound creates them.
const char* const kSoundNames[6] = {"StrokeSound", "DropSound", "ClickSound", "ThudSound", "ScoreSound", "FoulSound"};

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

// A canonical 44-byte RIFF header over the buffer's own PCM bytes.
bool WriteWav(const std::filesystem::path& path, const RecordedSound& sound) {
  const WAVEFORMATEX& f = sound.format;
  const auto dataBytes = static_cast<std::uint32_t>(sound.bytes.size());
  std::vector<std::uint8_t> header;
  header.insert(header.end(), {'R', 'I', 'F', 'F'});
  PutLittleEndian(header, 36 + dataBytes, 4);
  header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLittleEndian(header, 16, 4);
  PutLittleEndian(header, f.wFormatTag, 2);
  PutLittleEndian(header, f.nChannels, 2);
  PutLittleEndian(header, f.nSamplesPerSec, 4);
  PutLittleEndian(header, f.nAvgBytesPerSec, 4);
  PutLittleEndian(header, f.nBlockAlign, 2);
  PutLittleEndian(header, f.wBitsPerSample, 2);
  header.insert(header.end(), {'d', 'a', 't', 'a'});
  PutLittleEndian(header, dataBytes, 4);

  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  file.write(reinterpret_cast<const char*>(sound.bytes.data()), static_cast<std::streamsize>(sound.bytes.size()));
  return static_cast<bool>(file);
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

  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "kuvo-sim: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return 1;
  }
  const auto& sounds = audio.Sounds();
  if (sounds.size() != 6) {
    std::fprintf(stderr, "kuvo-sim: expected 6 sounds, the synthesis made %zu\n", sounds.size());
    return 1;
  }
  for (int k = 0; k < 6; ++k) {
    std::filesystem::path path = std::filesystem::path(dir) / (std::string(kSoundNames[k]) + ".wav");
    if (!WriteWav(path, *sounds[k])) {
      std::fprintf(stderr, "kuvo-sim: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

}  // namespace kuvo::sim
