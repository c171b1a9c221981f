// kuvo-sim: plays computer-against-computer games headless, as fast as the CPU allows,
// and writes the game's textures and sounds to files for a person to look at and listen to.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/common/Options.h"
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
  namespace tools = kuvo::tools;
  constexpr tools::OptionName names[] = {
      {"games", true},          {"p1", true},           {"p2", true},       {"seed", true},
      {"write-textures", true}, {"write-sounds", true}, {"write-hud", true}};
  const auto usage = [](const std::string& problem) { return tools::UsageError("kuvo-sim", problem, kUsage); };
  std::vector<tools::GivenOption> given;
  if (std::string problem = tools::ReadOptions(argc, argv, names, given); !problem.empty()) return usage(problem);
  MatchOptions options;
  bool seedGiven = false;
  for (const auto& [name, value] : given) {
    if (name == "help") {
      std::fputs(kUsage, stdout);
      return Finish(0);
    }
    if (name.starts_with("write-")) {
      if (given.size() != 1) return usage("--" + name + " takes no other options");
      if (name == "write-textures") return Finish(WriteTextures(value));
      if (name == "write-sounds") return Finish(WriteSounds(value));
      return Finish(WriteHud(value));
    }
    if (name == "games") {
      long games;
      if (!tools::ParseWhole(value, 1, 1000000000, games)) return usage("--games needs a whole number of at least 1");
      options.games = static_cast<int>(games);
    } else if (name == "p1" || name == "p2") {
      if (!ParseLevel(value, options.difficulty[name == "p1" ? 1 : 2]))
        return usage("--" + name + " needs novice, average or master");
    } else {  // seed
      if (!tools::ParseTimeOfDay(value, options.seedTimeOfDay))
        return usage("--seed needs seconds since midnight, 0 to 86399");
      seedGiven = true;
    }
  }
  if (!seedGiven) options.seedTimeOfDay = SecondsSinceMidnightNow();
  return Finish(RunMatches(options));
}
