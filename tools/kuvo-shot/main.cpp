// kuvo-shot: the real start-up and run loop drawing through the OpenGL device into a window, a computer
// game moved on by a virtual clock to a chosen moment, and that frame written as a PNG file.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "ai/modAI.h"
#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/Platform.h"
#include "platform/freetype/FreeTypeCanvas.h"
#include "platform/gl/GlGfx.h"
#include "platform/sdl/SdlWindow.h"
#include "platform/testing/RecordingAudio.h"
#include "platform/testing/VirtualClock.h"

namespace {

using namespace kuvo;

const char* const kUsage =
    "usage: kuvo-shot [--moment racked|closeup|break|gameover] [--size WxH] [--seed S] [--samples N] --out FILE.png\n"
    "  --moment   racked: the table before the first stroke, from the opening camera (default)\n"
    "             closeup: the same moment through a low, narrow camera\n"
    "             break: a quarter of a second into the opening stroke\n"
    "             gameover: the result shown after a whole computer game\n"
    "  --size     the window's client area in pixels (default 1280x720)\n"
    "  --seed     time of day in seconds since midnight at the first rack (default 43200)\n"
    "  --samples  multisampling the device's check may offer at most, a software renderer's included\n"
    "             (default: what the game gets)\n";

enum class Moment { Racked, Closeup, Break, GameOver };

struct Options {
  Moment moment = Moment::Racked;
  int width = 1280, height = 720;
  double seed = 43200.0;
  int samples = -1;  // the game's own device
  std::string out;
};

constexpr double kFrame = 1.0 / 60.0;
constexpr int kEscape = 27;
// A game is long: it is played in two-second passes, drawn only now and then.
constexpr double kFastPass = 2.0;
constexpr long kPassLimit = 200000;

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return false;
    std::string v = argv[++i];
    if (a == "--moment") {
      if (v == "racked") o.moment = Moment::Racked;
      else if (v == "closeup") o.moment = Moment::Closeup;
      else if (v == "break") o.moment = Moment::Break;
      else if (v == "gameover") o.moment = Moment::GameOver;
      else return false;
    } else if (a == "--size") {
      if (std::sscanf(v.c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
          o.width > 8192 || o.height > 8192)
        return false;
    } else if (a == "--seed") {
      char* end = nullptr;
      o.seed = std::strtod(v.c_str(), &end);
      if (*end != '\0' || !(o.seed >= 0.0 && o.seed < 86400.0)) return false;
    } else if (a == "--samples") {
      char* end = nullptr;
      long n = std::strtol(v.c_str(), &end, 10);
      if (*end != '\0' || n < 0 || n > 16) return false;
      o.samples = static_cast<int>(n);
    } else if (a == "--out") {
      o.out = v;
    } else {
      return false;
    }
  }
  return !o.out.empty();
}

bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0, n = rgb.size() / 3; i < n; ++i) std::memcpy(&rgb[3 * i], &rgba[4 * i], 3);
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

// The game's window, with a script run at the top of every pass: it moves the clock on, steers the
// camera, and at the chosen moment reads the last frame back and asks the game to end.
class ShotWindow : public SdlWindow {
 public:
  ShotWindow(const Options& options, VirtualClock& clock)
      : SdlWindow("Kuvo", options.width, options.height), options_(options), clock_(clock) {}

  void PumpMessages(WindowEvents& sink) override {
    SdlWindow::PumpMessages(sink);
    if (done_) return;
    if (++pass_ > kPassLimit) {
      problem = "the moment never came";
      Finish(sink);
      return;
    }
    Difficulty = 0.01f;  // masters finish a game soonest
    if (Captured()) Finish(sink);
  }

  std::string problem;
  bool written = false;

 private:
  bool Captured() {
    switch (options_.moment) {
      case Moment::Racked:
      case Moment::Closeup:
        if (pass_ == 1 && options_.moment == Moment::Closeup) {
          FieldOfView = 0.35f;
          CameraPitch = 0.16f;
          CameraYaw = 1.45f;  // from behind the first ball, towards the rack
        }
        clock_.Advance(kFrame);
        return pass_ > 100;  // the camera has glided onto the first ball; the computer has not struck yet
      case Moment::Break:
        clock_.Advance(kFrame);
        if (!BallsAtRest && strokePass_ == 0) strokePass_ = pass_;
        return strokePass_ > 0 && pass_ - strokePass_ > 15;
      case Moment::GameOver:
        if (!GameOver) {
          clock_.Advance(kFastPass);
          return false;
        }
        ++overPasses_;  // the game-over branch sleeps, which moves the virtual clock on
        return overPasses_ > 52;  // past the first change of the text line: the result
    }
    return false;
  }

  void Finish(WindowEvents& sink) {
    done_ = true;
    if (problem.empty()) {
      int w = 0, h = 0;
      std::vector<std::uint8_t> rgba;
      if (Failed(ReadBackBuffer(Device, w, h, rgba))) problem = "cannot read the frame back";
      else if (!WritePng(options_.out, w, h, rgba)) problem = "cannot write " + options_.out;
      else written = true;
    }
    sink.KeyDown(kEscape);
  }

  const Options& options_;
  VirtualClock& clock_;
  long pass_ = 0, strokePass_ = 0, overPasses_ = 0;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    VirtualClock clock(options.seed);
    RecordingAudio audio(RecordingAudio::Mode::CountOnly);
    FreeTypeCanvas text;
    ShotWindow window(options, clock);
    GlGfx gfx(window);
    if (options.samples >= 0) {
      gfx.LimitSamples(options.samples);
      gfx.OfferSlowMultisampling(true);
    }
    Host.clock = &clock;
    Host.window = &window;
    Host.gfx = &gfx;
    Host.audio = &audio;
    Host.text = &text;
    // The opening views keep the player's own camera and cue; the computer plays the break and the game.
    bool watching = options.moment == Moment::Racked || options.moment == Moment::Closeup;
    IsComputer[1] = IsComputer[2] = !watching;
    PlayerNames[1] = "Player1";
    PlayerNames[2] = "Player2";
    RunGame();
    Host = Platform{};
    if (!window.written) {
      std::fprintf(stderr, "kuvo-shot: %s\n", window.problem.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kuvo-shot: %s\n", e.what());
    return 1;
  }
  return 0;
}
