// kuvo-sim: plays computer-against-computer games headless, as fast as the CPU allows,
// and writes the game's textures and sounds to files for a person to look at and listen to.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/kuvo-sim/sim.h"

namespace {

const char* const kUsage =
    "usage: kuvo-sim [--games N] [--p1 LEVEL] [--p2 LEVEL] [--seed S]\n"
    "       kuvo-sim --write-textures DIR\n"
    "       kuvo-sim --write-sounds DIR\n"
    "       kuvo-sim --write-hud DIR\n"
    "  --games N          games to play (default 1)\n"
    "  --p1, --p2 LEVEL   novice, average or master (default average)\n"
    "  --seed S           time of day, in seconds since midnight, at which the first game starts\n"
    "                     (default: now); the same options and seed give the same games\n"
    "  --write-textures DIR  write the ten textures as PNG files\n"
    "  --write-sounds DIR    write the six sound effects as WAV files\n"
    "  --write-hud DIR       write the text line in a few states of a game as PNG files\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "kuvo-sim: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

// The menu's formula: (2 - list index)^2 x 0.025 + 0.01, in double, stored as float.
bool ParseLevel(const std::string& text, float& difficulty) {
  int index;
  if (text == "novice") index = 0;
  else if (text == "average") index = 1;
  else if (text == "master") index = 2;
  else return false;
  difficulty = static_cast<float>((2 - index) * (2 - index) * 0.025 + 0.01);
  return true;
}

// Plain decimal only: digits, then at most one point and more digits. strtod alone would also take
// "0x2", " 2", "1e3" and "inf".
bool ParseNumber(const std::string& text, double low, double high, double& value) {
  std::size_t digits = 0, points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.' && points == 0 && digits > 0) ++points;
    else return false;
  }
  if (digits == 0 || text.back() == '.') return false;
  value = std::strtod(text.c_str(), nullptr);
  return value >= low && value <= high;
}

// Everything printed must have reached standard output: a full disk or a closed pipe is a failure.
int Finish(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "kuvo-sim: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

double SecondsSinceMidnightNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kuvo::sim;
  // A closed pipe and a file-size limit become failed writes, reported like any other.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  MatchOptions options;
  bool seedGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return Finish(0);
    }
    if (arg != "--games" && arg != "--p1" && arg != "--p2" && arg != "--seed" && arg != "--write-textures" &&
        arg != "--write-sounds" && arg != "--write-hud")
      return Usage("unknown option " + arg);
    if (i + 1 >= argc) return Usage("missing value for " + arg);
    std::string value = argv[++i];
    double number;
    if (arg.starts_with("--write-") && argc != 3) return Usage(arg + " takes no other options");
    if (arg == "--write-textures") return Finish(WriteTextures(value));
    if (arg == "--write-sounds") return Finish(WriteSounds(value));
    if (arg == "--write-hud") return Finish(WriteHud(value));
    if (arg == "--games") {
      if (!ParseNumber(value, 1, 1e9, number) || number != static_cast<int>(number))
        return Usage("--games needs a whole number of at least 1");
      options.games = static_cast<int>(number);
    } else if (arg == "--p1" || arg == "--p2") {
      if (!ParseLevel(value, options.difficulty[arg == "--p1" ? 1 : 2]))
        return Usage(arg + " needs novice, average or master");
    } else {  // --seed
      if (!ParseNumber(value, 0, 86399.999, number)) return Usage("--seed needs seconds since midnight, 0 to 86399");
      options.seedTimeOfDay = number;
      seedGiven = true;
    }
  }
  if (!seedGiven) options.seedTimeOfDay = SecondsSinceMidnightNow();
  return Finish(RunMatches(options));
}
