// The tools' one PNG writer: 8-bit RGB or RGBA files from four-byte pixels, written whole or not at all.
#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace kuvo::tools {

// How four-byte pixels lie in memory. With `x` the fourth byte is not a colour (the recording device's
// and the text canvas's unused byte, a read-back frame's alpha) and the file is RGB; with `a` it is
// the alpha the file keeps (RGBA).
enum class PixelOrder { Rgbx, Bgrx, Rgba, Bgra };

// Writes `pixels` (rows top first, width x height x 4 bytes) to `path` as PNG. Returns an empty
// string, or the reason it failed; nothing is left behind on a failure.
std::string WritePng(const std::filesystem::path& path, std::span<const std::uint8_t> pixels, std::uint32_t width,
                     std::uint32_t height, PixelOrder order);

}  // namespace kuvo::tools
