// The tools' one command-line rule, on getopt_long:
// * long options, `--name value` or `--name=value`; a unique start of a name stands for it;
// * `--help` and `-h` are always known;
// * an unknown or ambiguous option, a missing value, a value given to an option that takes none, a
//   word that is no option, or a malformed number is an error: the reason and the usage on stderr,
//   exit code 2;
// * numbers are plain decimals: digits, and for fractions one point with digits on both sides (no
//   sign, blank, exponent, hexadecimal or "inf").
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kuvo::tools {

struct OptionName {
  const char* name;  // without the dashes
  bool takesValue;
};

struct GivenOption {
  std::string name;  // the full name, however it was shortened; "help" for -h
  std::string value;
};

// Reads argv[1..] in order into `given`. Returns an empty string, or what is wrong.
std::string ReadOptions(int argc, char** argv, std::span<const OptionName> names, std::vector<GivenOption>& given);

// A plain decimal within [low, high].
bool ParseDecimal(std::string_view text, double low, double high, double& value);
// A plain whole number within [low, high], 0 <= low <= high < LONG_MAX / 10.
bool ParseWhole(std::string_view text, long low, long high, long& value);
// Seconds since midnight, a plain decimal from 0 up to (not including) 86400: both tools' --seed.
bool ParseTimeOfDay(std::string_view text, double& seconds);

// `program: problem` and the usage on stderr; returns the exit code, 2.
int UsageError(const char* program, const std::string& problem, const char* usage);

}  // namespace kuvo::tools
