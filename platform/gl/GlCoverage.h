// Triangles that cannot cover a pixel centre, found on the CPU so that a software renderer never sets
// them up. A dropped triangle would have made no fragment, and every other triangle is rasterised from
// its own vertices alone, so the picture stays the same to the bit. No GL here: plain data in, data out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kuvo::gl {

// The target the positions land on: its size in pixels and the shift that the rewritten shader adds to
// x / w and y / w (the fix-up constant's first two components); and the faces culled, as the sign of
// their area in GL's window coordinates (x right, y up): +1 counter-clockwise, -1 clockwise, 0 none.
struct CoverageTarget {
  int width = 0, height = 0;
  float shiftX = 0.0f, shiftY = 0.0f;
  int culledWinding = 0;
};

// Vertex positions: `components` floats (3, w taken as 1, or 4) at `offset` in each `stride`-byte vertex.
struct PositionSource {
  const std::uint8_t* bytes = nullptr;
  std::size_t length = 0;
  std::uint32_t stride = 0, offset = 0;
  int components = 3;
  std::int64_t base = 0;  // added to every index, as the draw's base vertex
};

// Writes to `kept` the indices (of `indexSize` bytes each) of the triangles of a list that may cover a
// pixel centre of the target when the positions are multiplied by the four rows of `rows` (the constants
// as the shader reads them), keeping their order. A triangle is dropped only when no pixel centre lies
// in its screen rectangle, or when it faces the culled way, each by a margin well above the rounding of
// both the device's arithmetic and this one's; one with a vertex at or behind the eye, or outside the
// vertex data, is kept.
// Returns the number of indices kept.
std::size_t KeepCoveringTriangles(const float (&rows)[16], const PositionSource& positions, const std::uint8_t* indices,
                                  std::uint32_t indexSize, std::uint32_t count, const CoverageTarget& target,
                                  std::vector<std::uint8_t>& kept);

}  // namespace kuvo::gl
