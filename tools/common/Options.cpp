// Command lines read by getopt_long, with the tools' own messages in place of its.
#include "tools/common/Options.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>

namespace kuvo::tools {

namespace {

constexpr int FirstLong = 0x100;  // getopt_long's answer for names[i] is FirstLong + i
const OptionName Help{"help", false};

// The option word as given, without a value after '='.
std::string Word(const char* arg) {
  std::string word = arg ? arg : "";
  return word.substr(0, word.find('='));
}

}  // namespace

std::string ReadOptions(int argc, char** argv, std::span<const OptionName> names, std::vector<GivenOption>& given) {
  std::vector<OptionName> all(names.begin(), names.end());
  all.push_back(Help);
  std::vector<option> table;
  for (std::size_t i = 0; i < all.size(); ++i)
    table.push_back({all[i].name, all[i].takesValue ? required_argument : no_argument, nullptr,
                     FirstLong + static_cast<int>(i)});
  table.push_back({nullptr, 0, nullptr, 0});
  given.clear();
  // '+': stop at the first word that is no option (it is an error, not a file to permute past);
  // ':': report a missing value apart from an unknown option, and print nothing.
  opterr = 0;
  optind = 0;  // glibc starts afresh, so a program (or a test) may read several command lines
  for (;;) {
    const int c = getopt_long(argc, argv, "+:h", table.data(), nullptr);
    if (c == -1) break;
    if (c == 'h') {
      given.push_back({"help", ""});
    } else if (c >= FirstLong) {
      const OptionName& o = all[static_cast<std::size_t>(c - FirstLong)];
      given.push_back({o.name, o.takesValue ? optarg : ""});
    } else if (c == ':') {
      return "missing value for " + Word(argv[optind - 1]);
    } else {
      const std::string word = Word(argv[optind - 1]);
      if (optopt >= FirstLong) return word + " takes no value";
      if (optopt != 0) return "unknown option -" + std::string(1, static_cast<char>(optopt));
      int matches = 0;
      for (const OptionName& o : all)
        if (word.size() > 2 && std::string_view(o.name).starts_with(std::string_view(word).substr(2))) ++matches;
      return (matches > 1 ? "ambiguous option " : "unknown option ") + word;
    }
  }
  if (optind < argc) return "unexpected argument " + std::string(argv[optind]);
  return {};
}

bool ParseDecimal(std::string_view text, double low, double high, double& value) {
  std::size_t digits = 0, points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.' && points == 0 && digits > 0) ++points;
    else return false;
  }
  if (digits == 0 || text.back() == '.') return false;
  const double parsed = std::strtod(std::string(text).c_str(), nullptr);
  if (!(parsed >= low && parsed <= high)) return false;
  value = parsed;
  return true;
}

bool ParseWhole(std::string_view text, long low, long high, long& value) {
  if (text.empty()) return false;
  long parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
    if (parsed > high) return false;  // before the next digit could overflow
  }
  if (parsed < low) return false;
  value = parsed;
  return true;
}

bool ParseTimeOfDay(std::string_view text, double& seconds) {
  double parsed;
  if (!ParseDecimal(text, 0.0, 86400.0, parsed) || parsed == 86400.0) return false;
  seconds = parsed;
  return true;
}

int UsageError(const char* program, const std::string& problem, const char* usage) {
  std::fprintf(stderr, "%s: %s\n", program, problem.c_str());
  std::fputs(usage, stderr);
  return 2;
}

}  // namespace kuvo::tools
