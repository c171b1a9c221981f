// One ordered log that several testing backends write into, so a test sees the order of calls across
// devices (the audio device's calls between the graphics device's, and whatever else the test wraps),
// not only the order within each recorder.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kuvo {

struct CallOrder {
  // "audio Play 7" (the call, then the id of the object called), "gfx Device::Present", ...
  std::vector<std::string> calls;
  void Note(std::string call) { calls.push_back(std::move(call)); }
};

}  // namespace kuvo
