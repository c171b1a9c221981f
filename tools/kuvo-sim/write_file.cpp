// Files written whole or not at all: the bytes go to a temporary name beside the target, are flushed to
// the disk, and only then take the target's name.
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/testing/RecordingGfx.h"
#include "tools/kuvo-sim/sim.h"

namespace kuvo::sim {

std::string WriteWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = path.string() + ".part";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return std::strerror(errno);
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return std::strerror(error);
  }
  return {};
}

std::string WriteRgbPng(const std::filesystem::path& path, const std::vector<std::uint8_t>& bgra, std::uint32_t width,
                        std::uint32_t height) {
  std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    rgb[3 * i + 0] = bgra[4 * i + 2];
    rgb[3 * i + 1] = bgra[4 * i + 1];
    rgb[3 * i + 2] = bgra[4 * i + 0];
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  // Encoded in memory first, so the file is written whole or not at all.
  png_alloc_size_t size = 0;
  const auto stride = static_cast<png_int_32>(width * 3);
  if (png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), stride, nullptr)) {
    std::vector<std::uint8_t> encoded(size);
    if (png_image_write_to_memory(&image, encoded.data(), &size, 0, rgb.data(), stride, nullptr)) {
      encoded.resize(size);
      return WriteWholeFile(path, encoded);
    }
  }
  std::string problem = image.message;
  png_image_free(&image);
  return problem.empty() ? "cannot encode" : problem;
}

bool MakeDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) std::fprintf(stderr, "kuvo-sim: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
  return !ec;
}

bool WriteLevelPng(const std::filesystem::path& path, const GfxTexture* texture) {
  const auto* recorded = dynamic_cast<const RecordingTexture*>(texture);
  std::string problem = recorded ? WriteRgbPng(path, recorded->LevelBytes(0), recorded->Width(), recorded->Height())
                                 : "the texture was not built";
  if (!problem.empty()) {
    std::fprintf(stderr, "kuvo-sim: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  std::printf("%s  %ux%u\n", path.c_str(), recorded->Width(), recorded->Height());
  return true;
}

}  // namespace kuvo::sim
