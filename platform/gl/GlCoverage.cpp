// Triangles that cover no pixel centre; see GlCoverage.h.
#include "platform/gl/GlCoverage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kuvo::gl {

namespace {

// A vertex on the target in GL's window coordinates (pixel centres at half units), how far its place
// may lie from where the device puts it, and the pixel columns and rows that its place so widened
// reaches: a centre i + 0.5 lies within it for low < i <= high.
struct ScreenPoint {
  double x = 0.0, y = 0.0, margin = 0.0;
  std::int32_t lowColumn = 0, highColumn = 0, lowRow = 0, highRow = 0;
  bool known = false;  // in front of the eye, inside the vertex data
};

// The device snaps vertices to the nearest 1/256 of a pixel, so it moves them by up to 1/512: four
// times that.
constexpr double kFixedMargin = 1.0 / 128.0;
// Float arithmetic's unit roundoff, taken 8 times: the device's products, sums, division and viewport
// scale each round once or twice.
constexpr double kRelativeError = 8.0 * std::numeric_limits<float>::epsilon();

std::uint32_t IndexAt(const std::uint8_t* indices, std::uint32_t size, std::uint32_t k) {
  if (size == 2) {
    std::uint16_t v;
    std::memcpy(&v, indices + 2 * std::size_t{k}, 2);
    return v;
  }
  std::uint32_t v;
  std::memcpy(&v, indices + 4 * std::size_t{k}, 4);
  return v;
}

// floor(v - 0.5) as a pixel index, for |v| below 2^30.
std::int32_t CentreBelow(double v) {
  const double t = v - 0.5;
  const auto i = static_cast<std::int32_t>(t);
  return i - (t < i ? 1 : 0);
}

// The matrix rows widened to double, with their magnitudes for the error bound; the target's scale.
struct Projection {
  double rows[16], magnitudes[16];
  double halfWidth, halfHeight, offsetX, offsetY, fixedMargin;
};

Projection MakeProjection(const float (&rows)[16], const CoverageTarget& target) {
  Projection p{};
  for (int k = 0; k < 16; ++k) {
    p.rows[k] = rows[k];
    p.magnitudes[k] = std::fabs(p.rows[k]);
  }
  p.halfWidth = target.width / 2.0;
  p.halfHeight = target.height / 2.0;
  p.offsetX = (1.0 + target.shiftX) * p.halfWidth;
  p.offsetY = (1.0 + target.shiftY) * p.halfHeight;
  // The viewport's scale and offset round on the device too, at up to the target's size.
  p.fixedMargin = kFixedMargin + kRelativeError * (target.width + target.height);
  return p;
}

ScreenPoint Project(const Projection& p, const PositionSource& source, std::int64_t vertex) {
  ScreenPoint point;
  const std::int64_t start = vertex * source.stride + source.offset;
  const std::int64_t end = start + 4 * std::int64_t{source.components};
  if (vertex < 0 || end > static_cast<std::int64_t>(source.length)) return point;
  float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  std::memcpy(v, source.bytes + start, 12);
  if (source.components == 4) std::memcpy(&v[3], source.bytes + start + 12, 4);
  const double x0 = v[0], x1 = v[1], x2 = v[2], x3 = v[3];
  const double a0 = std::fabs(x0), a1 = std::fabs(x1), a2 = std::fabs(x2), a3 = std::fabs(x3);
  const double* m = p.rows;
  const double* s = p.magnitudes;
  const double sx = m[0] * x0 + m[1] * x1 + m[2] * x2 + m[3] * x3;
  const double sy = m[4] * x0 + m[5] * x1 + m[6] * x2 + m[7] * x3;
  const double w = m[12] * x0 + m[13] * x1 + m[14] * x2 + m[15] * x3;
  // The sizes of the terms summed, which bound the device's rounding of each sum.
  const double zx = s[0] * a0 + s[1] * a1 + s[2] * a2 + s[3] * a3;
  const double zy = s[4] * a0 + s[5] * a1 + s[6] * a2 + s[7] * a3;
  const double zw = s[12] * a0 + s[13] * a1 + s[14] * a2 + s[15] * a3;
  if (!(w > 2.0 * kRelativeError * zw)) return point;  // not surely in front (or not a number)
  const double inverse = 1.0 / w;
  const double nx = sx * inverse, ny = sy * inverse;
  const double x = nx * p.halfWidth + p.offsetX, y = ny * p.halfHeight + p.offsetY;
  if (!(std::fabs(x) < 0x1p29 && std::fabs(y) < 0x1p29)) return point;
  // What the device's rounding can do to x / w and y / w, in pixels.
  const double ex = kRelativeError * (zx + std::fabs(nx) * zw + w) * inverse * p.halfWidth;
  const double ey = kRelativeError * (zy + std::fabs(ny) * zw + w) * inverse * p.halfHeight;
  const double margin = std::max(ex, ey) + p.fixedMargin;
  point.x = x;
  point.y = y;
  point.margin = margin;
  point.lowColumn = CentreBelow(x - margin);
  point.highColumn = CentreBelow(x + margin);
  point.lowRow = CentreBelow(y - margin);
  point.highRow = CentreBelow(y + margin);
  point.known = true;
  return point;
}

// Whether some centre i + 0.5 with 0 <= i < pixels has low < i <= high. A centre exactly on the widened
// edge counts as outside: it is a whole margin away from the triangle.
bool HoldsCentre(std::int32_t low, std::int32_t high, std::int32_t pixels) {
  return high > low && high >= 0 && low < pixels - 1;
}

// Whether a triangle surely faces the culled way: its area's sign stays so with each vertex anywhere
// within `margin` of where it is.
bool SurelyCulled(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, int winding) {
  if (winding == 0) return false;
  const double ux = b.x - a.x, uy = b.y - a.y, vx = c.x - a.x, vy = c.y - a.y;
  const double twiceArea = ux * vy - uy * vx;
  // Each difference moves by at most twice the largest margin in each coordinate.
  const double d = 2.0 * std::max({a.margin, b.margin, c.margin});
  const double slack = 2.0 * d * (std::fabs(ux) + std::fabs(uy) + std::fabs(vx) + std::fabs(vy)) + 8.0 * d * d;
  return winding * twiceArea > slack;
}

// Whether the centre (px, py) is surely outside the triangle: some edge has it surely on its left and
// another surely on its right, whichever way the triangle is wound and wherever within `d` of their
// places the vertices lie. An inside centre, or one on an edge, has no two edges of opposite signs.
bool SurelyOutside(const ScreenPoint* v[3], double px, double py, double d) {
  bool left = false, right = false;
  for (int e = 0; e < 3; ++e) {
    const ScreenPoint& a = *v[e];
    const ScreenPoint& b = *v[(e + 1) % 3];
    const double ux = b.x - a.x, uy = b.y - a.y, rx = px - a.x, ry = py - a.y;
    const double side = ux * ry - uy * rx;
    // The edge vector moves by up to 2d and its start by up to d in each coordinate.
    const double slack = 2.0 * d * (std::fabs(rx) + std::fabs(ry) + std::fabs(ux) + std::fabs(uy)) + 4.0 * d * d;
    left |= side > slack;
    right |= side < -slack;
  }
  return left && right;
}

// Whether every pixel centre of the columns and rows given (low < i <= high, within the target) is
// surely outside the triangle. Only a handful are looked at: a larger triangle is taken to cover one.
bool MissesEveryCentre(const ScreenPoint* v[3], std::int32_t lowColumn, std::int32_t highColumn,
                       std::int32_t lowRow, std::int32_t highRow, const CoverageTarget& target) {
  const std::int32_t firstColumn = std::max(lowColumn + 1, 0), lastColumn = std::min(highColumn, target.width - 1);
  const std::int32_t firstRow = std::max(lowRow + 1, 0), lastRow = std::min(highRow, target.height - 1);
  if ((lastColumn - firstColumn + 1) * (lastRow - firstRow + 1) > 9) return false;
  const double d = std::max({v[0]->margin, v[1]->margin, v[2]->margin});
  for (std::int32_t row = firstRow; row <= lastRow; ++row)
    for (std::int32_t column = firstColumn; column <= lastColumn; ++column)
      if (!SurelyOutside(v, column + 0.5, row + 0.5, d)) return false;
  return true;
}

}  // namespace

std::size_t KeepCoveringTriangles(const float (&rows)[16], const PositionSource& positions, const std::uint8_t* indices,
                                  std::uint32_t indexSize, std::uint32_t count, const CoverageTarget& target,
                                  std::vector<std::uint8_t>& kept) {
  kept.clear();
  if (count == 0) return 0;
  std::uint32_t low = std::numeric_limits<std::uint32_t>::max(), high = 0;
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t index = IndexAt(indices, indexSize, k);
    low = std::min(low, index);
    high = std::max(high, index);
  }
  if (high - low >= (1u << 22)) {  // too sparse to be worth it
    kept.assign(indices, indices + std::size_t{count} * indexSize);
    return count;
  }
  // Reused from call to call: a frame sifts a few dozen lists.
  thread_local std::vector<ScreenPoint> points;
  points.resize(std::size_t{high} - low + 1);
  const Projection projection = MakeProjection(rows, target);
  for (std::uint32_t index = low; index <= high; ++index)
    points[index - low] = Project(projection, positions, positions.base + index);

  kept.resize(std::size_t{count} * indexSize);
  std::uint8_t* out = kept.data();
  const std::uint32_t triangleBytes = 3 * indexSize;
  for (std::uint32_t k = 0; k + 2 < count; k += 3) {
    const ScreenPoint& a = points[IndexAt(indices, indexSize, k) - low];
    const ScreenPoint& b = points[IndexAt(indices, indexSize, k + 1) - low];
    const ScreenPoint& c = points[IndexAt(indices, indexSize, k + 2) - low];
    bool keep = !a.known || !b.known || !c.known;
    if (!keep) {
      const std::int32_t lowColumn = std::min({a.lowColumn, b.lowColumn, c.lowColumn});
      const std::int32_t highColumn = std::max({a.highColumn, b.highColumn, c.highColumn});
      const std::int32_t lowRow = std::min({a.lowRow, b.lowRow, c.lowRow});
      const std::int32_t highRow = std::max({a.highRow, b.highRow, c.highRow});
      const ScreenPoint* v[3] = {&a, &b, &c};
      keep = HoldsCentre(lowColumn, highColumn, target.width) && HoldsCentre(lowRow, highRow, target.height) &&
             !SurelyCulled(a, b, c, target.culledWinding) &&
             !MissesEveryCentre(v, lowColumn, highColumn, lowRow, highRow, target);
    }
    if (keep) {
      std::memmove(out, indices + std::size_t{k} * indexSize, triangleBytes);
      out += triangleBytes;
    }
  }
  kept.resize(static_cast<std::size_t>(out - kept.data()));
  return kept.size() / indexSize;
}

}  // namespace kuvo::gl
