// Files the tools write whole or not at all.
#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace kuvo::tools {

// Writes `bytes` to `path` whole or not at all (nothing is left under either name on a failure).
// Returns an empty string, or the reason it failed.
std::string WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace kuvo::tools
