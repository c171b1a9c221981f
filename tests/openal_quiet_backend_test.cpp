// The OpenAL audio backend on a machine without a sound card: the player sees the game's one line, not
// the ALSA and OpenAL Soft messages underneath it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Audio.h"
#include "platform/openal/OpenALAudio.h"

namespace kuvo {
namespace {

// ALSA is the output that talks most when it finds no card; OpenAL Soft reads this at its first call.
const bool kAlsaDriver = [] {
  unsetenv("ALSOFT_LOGLEVEL");
  return setenv("ALSOFT_DRIVERS", "alsa", 1) == 0;
}();

TEST(OpenALWithoutASoundCard, SaysSoInOneLine) {
  ASSERT_TRUE(kAlsaDriver);
  char path[] = "/tmp/kuvo-stderr-XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  dup2(file, STDERR_FILENO);
  bool silent = false;
  {
    OpenALAudio audio;
    AudioDevice* device = nullptr;
    if (audio.CreateDirectSound8(&device) == S_OK) {
      EXPECT_EQ(device->Initialize(nullptr), S_OK);
      device->Release();
    }
    silent = audio.Silent();
  }
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(file);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(path);
  if (!silent) GTEST_SKIP() << "this machine has a sound output";
  const std::string out = text.str();
  int lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(lines, 1) << out;
  EXPECT_NE(out.find("without sound"), std::string::npos) << out;
}

// Without a current context OpenAL Soft reports an error on every read of the error state: draining it
// must give up rather than loop for ever.
TEST(OpenALWithoutASoundCard, ErrorDrainingEndsWithoutACurrentContext) { EXPECT_FALSE(ClearAlErrors()); }

}  // namespace
}  // namespace kuvo
