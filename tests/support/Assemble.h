// Shader listings assembled at run time by MojoShader, for tests that need probe shaders.
#pragma once
#include <mojoshader.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kuvo::testing {

// The token stream of a listing; empty when it does not assemble.
inline std::vector<std::uint32_t> Assemble(const std::string& source) {
  const MOJOSHADER_parseData* data = MOJOSHADER_assemble("test", source.data(), static_cast<unsigned>(source.size()),
                                                         nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr);
  std::vector<std::uint32_t> tokens;
  if (data->error_count == 0) {
    tokens.resize(static_cast<std::size_t>(data->output_len) / 4);
    std::memcpy(tokens.data(), data->output, tokens.size() * 4);
  }
  MOJOSHADER_freeParseData(data);
  return tokens;
}

}  // namespace kuvo::testing
