// Result codes shared by every platform service: HRESULT-style 32-bit values,
// 0 for success and negative for failure, as the Direct3D and DirectSound calls return them.
#pragma once
#include <cstdint>

namespace kuvo {

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool Failed(HRESULT hr) { return hr < 0; }

}  // namespace kuvo
