// The layer engine's neighbour operations: the two box blurs, emboss and gradient magnitude.
// Each gives its plain definition's bits while touching memory in rows and keeping only the rows it needs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kuvo {

using tfs::Checked;
using tfs::ParallelFor;

namespace {

std::size_t Row(long y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(LayerSize); }

long BlurRadius(float width) { return tfs::RoundToLong(static_cast<double>(width) * LayerSize * 0.5); }

// The running box filter of one block of `count` (at most kBlock) rows at once: one running sum per row,
// each summed in exactly the plain order, interleaved so the additions of different rows overlap.
constexpr int kBlock = 8;

void BlurRowBlock(const float* const* in, float* const* out, int count, long d, float reciprocal) {
  const long n = LayerSize, mask = LayerMask;
  float s[kBlock] = {};
  for (long k = 0; k <= 2 * d - 1; ++k)
    for (int r = 0; r < count; ++r) s[r] += in[r][k & mask];
  for (long x = 0; x < n; ++x) {
    const long add = (x + 2 * d) & mask, put = (x + d) & mask;
    for (int r = 0; r < count; ++r) {
      s[r] = s[r] + in[r][add];
      out[r][put] = s[r] * reciprocal;
      s[r] = s[r] - in[r][x];
    }
  }
}

// Runs rowFn(up, mid, down, out) for every row y with the original rows y - 1, y and y + 1 (wrapped),
// writing row y of dst. dst may be src: then each thread keeps a copy of the row above the one it writes
// and of the rows at its range's ends, taken before any thread starts writing.
template <class RowFn>
void StencilRows(const float* src, float* dst, RowFn rowFn) {
  const int n = LayerSize, mask = LayerMask;
  const std::size_t rowBytes = static_cast<std::size_t>(n) * sizeof(float);
  if (src != dst) {
    ParallelFor(n, static_cast<std::size_t>(n), [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y)
        rowFn(src + Row((y - 1) & mask), src + Row(y), src + Row((y + 1) & mask), dst + Row(y));
    });
    return;
  }
  const int split = tfs::SplitPoint(n, static_cast<std::size_t>(n));
  // Per range: the original row above its first row and the one below its last.
  std::vector<float> ends(static_cast<std::size_t>(n) * 4);
  auto endRow = [&](int range, int which) { return ends.data() + Row(range * 2 + which); };
  std::memcpy(endRow(0, 0), src + Row(mask), rowBytes);
  std::memcpy(endRow(0, 1), src + Row(split & mask), rowBytes);
  if (split < n) {
    std::memcpy(endRow(1, 0), src + Row(split - 1), rowBytes);
    std::memcpy(endRow(1, 1), src + Row(0), rowBytes);
  }
  ParallelFor(n, static_cast<std::size_t>(n), [&](int y0, int y1) {
    const int range = y0 == 0 ? 0 : 1;
    std::vector<float> rows(static_cast<std::size_t>(n) * 2);
    float* up = rows.data();
    float* mid = rows.data() + n;
    std::memcpy(up, endRow(range, 0), rowBytes);
    for (int y = y0; y < y1; ++y) {
      std::memcpy(mid, src + Row(y), rowBytes);
      const float* down = y == y1 - 1 ? endRow(range, 1) : src + Row(y + 1);
      rowFn(up, mid, down, dst + Row(y));
      std::swap(up, mid);
    }
  });
}

}  // namespace

void BlurHorizontal(int dst, int src, float width) {
  Checked("BlurHorizontal", [&] {
    const long d = BlurRadius(width);
    if (d == 0) return;
    const float reciprocal = static_cast<float>(1.0 / static_cast<double>(2 * d + 1));
    const int n = LayerSize;
    const float* s = LayerCells(src);
    float* t = LayerCells(dst);
    // Rows are independent: each block is filtered into a private buffer and then copied over its rows.
    ParallelFor(n, static_cast<std::size_t>(n), [&](int y0, int y1) {
      std::vector<float> buffer(static_cast<std::size_t>(n) * kBlock);
      for (int y = y0; y < y1; y += kBlock) {
        const int count = std::min(kBlock, y1 - y);
        const float* in[kBlock];
        float* out[kBlock];
        for (int r = 0; r < count; ++r) {
          in[r] = s + Row(y + r);
          out[r] = buffer.data() + Row(r);
        }
        BlurRowBlock(in, out, count, d, reciprocal);
        std::memcpy(t + Row(y), buffer.data(), Row(count) * sizeof(float));
      }
    });
  });
}

void BlurVertical(int dst, int src, float width) {
  Checked("BlurVertical", [&] {
    const long d = BlurRadius(width);
    if (d == 0) return;
    const float reciprocal = static_cast<float>(1.0 / static_cast<double>(2 * d + 1));
    const long n = LayerSize, mask = LayerMask;
    const float* s = LayerCells(src);
    float* target = LayerCells(dst);
    float* t = s == target ? tfs::PrivateGrid() : target;
    // Every column's running sum goes down the rows in the plain order; all columns of a half advance
    // together, one row at a time, so memory is read in rows.
    ParallelFor(LayerSize, static_cast<std::size_t>(n), [&](int x0, int x1) {
      const long width = x1 - x0;
      std::vector<float> sum(static_cast<std::size_t>(width), 0.0f);
      float* sm = sum.data();
      for (long k = 0; k <= 2 * d - 1; ++k) {
        const float* in = s + Row(k & mask) + x0;
        for (long x = 0; x < width; ++x) sm[x] += in[x];
      }
      for (long y = 0; y < n; ++y) {
        const float* add = s + Row((y + 2 * d) & mask) + x0;
        const float* sub = s + Row(y) + x0;
        float* out = t + Row((y + d) & mask) + x0;
        for (long x = 0; x < width; ++x) {
          sm[x] = sm[x] + add[x];
          out[x] = sm[x] * reciprocal;
          sm[x] = sm[x] - sub[x];
        }
      }
    });
    if (t != target) std::memcpy(target, t, tfs::CellCount() * sizeof(float));
  });
}

void Emboss(int dst, int src, float kx, float ky) {
  Checked("Emboss", [&] {
    const float KX = static_cast<float>(static_cast<double>(kx) * LayerSize);
    const float KY = static_cast<float>(static_cast<double>(ky) * LayerSize);
    const int n = LayerSize, last = LayerMask;
    StencilRows(LayerCells(src), LayerCells(dst), [=](const float* up, const float* mid, const float* down, float* out) {
      out[0] = (mid[1 & last] - mid[last]) * KX + (down[0] - up[0]) * KY;
      for (int x = 1; x < n - 1; ++x) out[x] = (mid[x + 1] - mid[x - 1]) * KX + (down[x] - up[x]) * KY;
      out[last] = (mid[0] - mid[(last - 1) & last]) * KX + (down[last] - up[last]) * KY;
    });
  });
}

namespace {

float Magnitude(float right, float left, float down, float up, float size) {
  float gx = (right - left) * size;
  float gy = (down - up) * size;
  return std::sqrt(gx * gx + gy * gy);
}

void GradientRow(const float* up, const float* mid, const float* down, float* out, int n, float size) {
  const int last = n - 1;
  out[0] = Magnitude(mid[1 & last], mid[last], down[0], up[0], size);
  int x = 1;
#if defined(__SSE2__)
  // The library square root may set errno, which keeps the compiler from vectorising it; the
  // instruction gives the same correctly rounded result.
  const __m128 scale = _mm_set1_ps(size);
  for (; x + 4 <= last; x += 4) {
    __m128 gx = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(mid + x + 1), _mm_loadu_ps(mid + x - 1)), scale);
    __m128 gy = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(down + x), _mm_loadu_ps(up + x)), scale);
    _mm_storeu_ps(out + x, _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(gx, gx), _mm_mul_ps(gy, gy))));
  }
#endif
  for (; x < last; ++x) out[x] = Magnitude(mid[x + 1], mid[x - 1], down[x], up[x], size);
  out[last] = Magnitude(mid[0], mid[(last - 1) & last], down[last], up[last], size);
}

}  // namespace

void GradientMagnitude(int dst, int src) {
  Checked("GradientMagnitude", [&] {
    const int n = LayerSize;
    const float size = static_cast<float>(n);
    StencilRows(LayerCells(src), LayerCells(dst), [=](const float* up, const float* mid, const float* down, float* out) {
      GradientRow(up, mid, down, out, n, size);
    });
  });
}

}  // namespace kuvo
