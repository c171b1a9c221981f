// Messages of the game's two error kinds.
#include "platform/Errors.h"

#include <cstdio>

namespace kuvo {

static std::string DescribeFailure(const std::string& call, HRESULT code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  return call + " failed with " + hex;
}

DeviceError::DeviceError(std::string call, HRESULT code)
    : std::runtime_error(DescribeFailure(call, code)), call_(std::move(call)), code_(code) {}

FloatingPointError::FloatingPointError(const std::string& where)
    : std::runtime_error("floating-point error in " + where) {}

}  // namespace kuvo
