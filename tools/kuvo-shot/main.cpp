// kuvo-shot: the real start-up and run loop drawing through the OpenGL device into a window, a computer
// game moved on by a virtual clock to a chosen moment, and that frame written as a PNG file.
#include <cstdio>
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
#include "tools/common/Options.h"
#include "tools/common/Png.h"

namespace {

using namespace kuvo;
namespace tools = kuvo::tools;

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

// A missing option or a bad value: the reason, or an empty string when the options are good.
std::string ParseOptions(int argc, char** argv, Options& o, bool& help) {
  constexpr tools::OptionName names[] = {{"moment", true}, {"size", true}, {"seed", true}, {"samples", true},
                                         {"out", true}};
  std::vector<tools::GivenOption> given;
  if (std::string problem = tools::ReadOptions(argc, argv, names, given); !problem.empty()) return problem;
  for (const auto& [name, value] : given) {
    if (name == "help") {
      help = true;
      return {};
    }
    if (name == "moment") {
      if (value == "racked") o.moment = Moment::Racked;
      else if (value == "closeup") o.moment = Moment::Closeup;
      else if (value == "break") o.moment = Moment::Break;
      else if (value == "gameover") o.moment = Moment::GameOver;
      else return "--moment needs racked, closeup, break or gameover";
    } else if (name == "size") {
      const std::size_t x = value.find('x');
      long w = 0, h = 0;
      if (x == std::string::npos || !tools::ParseWhole(value.substr(0, x), 16, 8192, w) ||
          !tools::ParseWhole(value.substr(x + 1), 16, 8192, h))
        return "--size needs WxH, each 16 to 8192";
      o.width = static_cast<int>(w);
      o.height = static_cast<int>(h);
    } else if (name == "seed") {
      if (!tools::ParseTimeOfDay(value, o.seed)) return "--seed needs seconds since midnight, 0 to 86399";
    } else if (name == "samples") {
      long n = 0;
      if (!tools::ParseWhole(value, 0, 16, n)) return "--samples needs a whole number, 0 to 16";
      o.samples = static_cast<int>(n);
    } else {  // out
      if (value.empty()) return "--out needs a file name";
      o.out = value;
    }
  }
  return o.out.empty() ? "--out FILE.png is needed" : "";
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
      if (Failed(ReadBackBuffer(Device, w, h, rgba))) {
        problem = "cannot read the frame back";
      } else {
        // The read-back alpha is the frame buffer's, not the picture's: the file is RGB.
        std::string failed = tools::WritePng(options_.out, rgba, static_cast<std::uint32_t>(w),
                                             static_cast<std::uint32_t>(h), tools::PixelOrder::Rgbx);
        if (failed.empty()) written = true;
        else problem = "cannot write " + options_.out + ": " + failed;
      }
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
  bool help = false;
  if (std::string problem = ParseOptions(argc, argv, options, help); !problem.empty())
    return tools::UsageError("kuvo-shot", problem, kUsage);
  if (help) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
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
