// The two errors the game raises: a failing platform call, and a floating-point fault.
// RunGame lets both propagate; main prints one line and exits non-zero.
#pragma once
#include <stdexcept>
#include <string>

#include "platform/Types.h"

namespace kuvo {

class DeviceError : public std::runtime_error {
 public:
  DeviceError(std::string call, HRESULT code);
  const std::string& Call() const { return call_; }
  HRESULT Code() const { return code_; }

 private:
  std::string call_;
  HRESULT code_;
};

class FloatingPointError : public std::runtime_error {
 public:
  explicit FloatingPointError(const std::string& where);
};

// Raises DeviceError naming `call` when `hr` is a failure code.
inline void Check(HRESULT hr, const char* call) {
  if (Failed(hr)) throw DeviceError(call, hr);
}

}  // namespace kuvo
