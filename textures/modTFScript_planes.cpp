// The layer engine's colour-plane operations: colour ramps, blends, saturating sums, fills and the normal map.
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

// Adding and removing 1.5 x 2^52 leaves the nearest integer, ties to even, for |v| < 2^51.
constexpr double kRoundDouble = 6755399441055744.0;
// The same for single precision, |v| < 2^22.
constexpr float kRoundFloat = 12582912.0f;

// round(v) clamped to 0 .. 255, as ClampRoundedByte(nearbyint(v)) gives it. Clamping to [-1, 256] first
// keeps the rounding trick in range without changing the result; a NaN fails the signalling comparison,
// which sets the invalid flag, and then gives 0 as the plain definition does.
inline std::uint8_t RoundClampByte(double v) {
  v = v >= -1.0 ? v : -1.0;
  v = v <= 256.0 ? v : 256.0;
  double r = (v + kRoundDouble) - kRoundDouble;
  r = r >= 0.0 ? r : 0.0;
  r = r <= 255.0 ? r : 255.0;
  return static_cast<std::uint8_t>(static_cast<int>(r));
}

inline int RoundClampByte(float v) {
  v = v >= -1.0f ? v : -1.0f;
  v = v <= 256.0f ? v : 256.0f;
  float r = (v + kRoundFloat) - kRoundFloat;
  r = r >= 0.0f ? r : 0.0f;
  r = r <= 255.0f ? r : 255.0f;
  return static_cast<int>(r);
}

#if defined(__SSE2__)
// Four pixels at a time, in the plain definition's double arithmetic. MAXPD gives its second operand
// for a NaN and sets the invalid flag, so the clamp keeps the scalar version's result and flag.
struct Lerp4 {
  __m128d tLow, tHigh, uLow, uHigh;

  explicit Lerp4(const float* t) {
    const __m128 t4 = _mm_loadu_ps(t);
    tLow = _mm_cvtps_pd(t4);
    tHigh = _mm_cvtps_pd(_mm_movehl_ps(t4, t4));
    const __m128d one = _mm_set1_pd(1.0);
    uLow = _mm_sub_pd(one, tLow);
    uHigh = _mm_sub_pd(one, tHigh);
  }

  static __m128i Round(__m128d v) {
    v = _mm_min_pd(_mm_max_pd(v, _mm_set1_pd(-1.0)), _mm_set1_pd(256.0));
    const __m128d magic = _mm_set1_pd(kRoundDouble);
    v = _mm_sub_pd(_mm_add_pd(v, magic), magic);
    v = _mm_min_pd(_mm_max_pd(v, _mm_setzero_pd()), _mm_set1_pd(255.0));
    return _mm_cvttpd_epi32(v);
  }

  // round((1 - t) a + t b) clamped, as four 32-bit lanes.
  __m128i Bytes(__m128d aLow, __m128d aHigh, __m128d bLow, __m128d bHigh) const {
    __m128i low = Round(_mm_add_pd(_mm_mul_pd(uLow, aLow), _mm_mul_pd(tLow, bLow)));
    __m128i high = Round(_mm_add_pd(_mm_mul_pd(uHigh, aHigh), _mm_mul_pd(tHigh, bHigh)));
    return _mm_unpacklo_epi64(low, high);
  }
};

// round(v) clamped to 0 .. 255 for four floats, as the scalar RoundClampByte(float) gives it.
inline __m128i RoundClamp4(__m128 v) {
  v = _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(-1.0f)), _mm_set1_ps(256.0f));
  const __m128 magic = _mm_set1_ps(kRoundFloat);
  v = _mm_sub_ps(_mm_add_ps(v, magic), magic);
  v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
  return _mm_cvttps_epi32(v);
}

inline __m128i Abs4(__m128i v) {
  __m128i sign = _mm_srai_epi32(v, 31);
  return _mm_sub_epi32(_mm_xor_si128(v, sign), sign);
}

// Channel c of four pixels as two pairs of doubles.
inline void ChannelPairs(__m128i pixels, int c, __m128d& low, __m128d& high) {
  __m128i bytes = _mm_and_si128(_mm_srl_epi32(pixels, _mm_cvtsi32_si128(8 * c)), _mm_set1_epi32(0xFF));
  low = _mm_cvtepi32_pd(bytes);
  high = _mm_cvtepi32_pd(_mm_shuffle_epi32(bytes, 0xEE));
}

// Colour bytes of four pixels into `at`, keeping its alpha bytes.
inline void StoreColour(std::uint8_t* at, __m128i c0, __m128i c1, __m128i c2) {
  __m128i colour = _mm_or_si128(c0, _mm_or_si128(_mm_slli_epi32(c1, 8), _mm_slli_epi32(c2, 16)));
  __m128i alpha = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
                                _mm_set1_epi32(static_cast<int>(0xFF000000u)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_or_si128(colour, alpha));
}
#endif

// The larger of m and every |row[x - 1] - row[x + 1]| and |up[x] - down[x]| (wrapped) of a row. MAXPS keeps
// its second operand for a NaN and sets the invalid flag, as the scalar comparison does; max is exact, so the
// lanes can be combined in any order.
float SteepestInRow(const float* up, const float* row, const float* down, int n, float m) {
  const int mask = n - 1;
  auto one = [&](int x) {
    m = std::max(m, std::fabs(row[(x - 1) & mask] - row[(x + 1) & mask]));
    m = std::max(m, std::fabs(up[x] - down[x]));
  };
  one(0);
  int x = 1;
#if defined(__SSE2__)
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 m4 = _mm_setzero_ps();
  for (; x + 4 <= n - 1; x += 4) {
    m4 = _mm_max_ps(_mm_and_ps(_mm_sub_ps(_mm_loadu_ps(row + x - 1), _mm_loadu_ps(row + x + 1)), magnitude), m4);
    m4 = _mm_max_ps(_mm_and_ps(_mm_sub_ps(_mm_loadu_ps(up + x), _mm_loadu_ps(down + x)), magnitude), m4);
  }
  float lanes[4];
  _mm_storeu_ps(lanes, m4);
  for (float v : lanes) m = std::max(m, v);
#endif
  for (; x < n; ++x) one(x);
  return m;
}

std::uint8_t Channel(std::int32_t colour, int c) { return static_cast<std::uint8_t>((colour >> (8 * c)) & 0xFF); }

std::size_t RowPixels() { return static_cast<std::size_t>(LayerSize); }

}  // namespace

std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, float t) {
  double td = t;
  return tfs::ClampRoundedByte(std::nearbyint((1.0 - td) * a + td * b));
}

std::uint8_t SaturatingAdd(std::uint8_t a, std::uint8_t b) {
  int sum = a + b;
  return static_cast<std::uint8_t>(sum > 255 ? 255 : sum);
}

void ColourMap(int plane, int layer, std::int32_t colourA, std::int32_t colourB) {
  Checked("ColourMap", [&] {
    const float* l = LayerCells(layer);
    std::uint8_t* p = PlanePixels(plane);
    const double a[3] = {double(Channel(colourA, 0)), double(Channel(colourA, 1)), double(Channel(colourA, 2))};
    const double b[3] = {double(Channel(colourB, 0)), double(Channel(colourB, 1)), double(Channel(colourB, 2))};
    ParallelFor(LayerSize, RowPixels(), [&](int y0, int y1) {
      std::size_t i = y0 * RowPixels();
      const std::size_t end = y1 * RowPixels();
#if defined(__SSE2__)
      for (; i + 4 <= end; i += 4) {
        Lerp4 lerp(l + i);
        __m128i c[3];
        for (int k = 0; k < 3; ++k) {
          const __m128d ak = _mm_set1_pd(a[k]), bk = _mm_set1_pd(b[k]);
          c[k] = lerp.Bytes(ak, ak, bk, bk);
        }
        StoreColour(p + 4 * i, c[0], c[1], c[2]);
      }
#endif
      for (; i < end; ++i) {
        double t = l[i];
        double u = 1.0 - t;
        for (int k = 0; k < 3; ++k) p[4 * i + k] = RoundClampByte(u * a[k] + t * b[k]);
      }
    });
  });
}

void BlendPlanes(int dst, int planeA, int planeB, int layer) {
  Checked("BlendPlanes", [&] {
    const float* l = LayerCells(layer);
    std::uint8_t* d = PlanePixels(dst);
    const std::uint8_t* pa = PlanePixels(planeA);
    const std::uint8_t* pb = PlanePixels(planeB);
    ParallelFor(LayerSize, RowPixels(), [&](int y0, int y1) {
      std::size_t i = y0 * RowPixels();
      const std::size_t end = y1 * RowPixels();
#if defined(__SSE2__)
      for (; i + 4 <= end; i += 4) {
        Lerp4 lerp(l + i);
        const __m128i fromA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 4 * i));
        const __m128i fromB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 4 * i));
        __m128i c[3];
        for (int k = 0; k < 3; ++k) {
          __m128d aLow, aHigh, bLow, bHigh;
          ChannelPairs(fromA, k, aLow, aHigh);
          ChannelPairs(fromB, k, bLow, bHigh);
          c[k] = lerp.Bytes(aLow, aHigh, bLow, bHigh);
        }
        StoreColour(d + 4 * i, c[0], c[1], c[2]);
      }
#endif
      for (; i < end; ++i) {
        double t = l[i];
        double u = 1.0 - t;
        // Read all six bytes first: dst may be planeA or planeB.
        double a[3] = {double(pa[4 * i]), double(pa[4 * i + 1]), double(pa[4 * i + 2])};
        double b[3] = {double(pb[4 * i]), double(pb[4 * i + 1]), double(pb[4 * i + 2])};
        for (int k = 0; k < 3; ++k) d[4 * i + k] = RoundClampByte(u * a[k] + t * b[k]);
      }
    });
  });
}

void AddPlanes(int dst, int planeA, int planeB) {
  Checked("AddPlanes", [&] {
    // Word by word: the three colour bytes saturate, the destination's alpha byte stays.
    std::uint8_t* d = PlanePixels(dst);
    const std::uint8_t* pa = PlanePixels(planeA);
    const std::uint8_t* pb = PlanePixels(planeB);
    const std::size_t bytes = tfs::CellCount() * 4;
    for (std::size_t i = 0; i < bytes; i += 4) {
      std::uint8_t alpha = d[i + 3];
      for (int c = 0; c < 4; ++c) {
        unsigned sum = static_cast<unsigned>(pa[i + c]) + pb[i + c];
        d[i + c] = static_cast<std::uint8_t>(sum > 255 ? 255 : sum);
      }
      d[i + 3] = alpha;
    }
  });
}

void FillPlane(int plane, std::int32_t colour) {
  Checked("FillPlane", [&] {
    // Row 0 first, then doubling blocks of whole pixels, so alpha everywhere is row 0's.
    const std::size_t rowBytes = RowPixels() * 4;
    std::uint8_t* p = PlanePixels(plane);
    for (std::size_t x = 0; x < RowPixels(); ++x)
      for (int c = 0; c < 3; ++c) p[4 * x + c] = Channel(colour, c);
    for (std::size_t done = 1; done < RowPixels(); done *= 2) std::memcpy(p + done * rowBytes, p, done * rowBytes);
  });
}

void NormalMap(int plane, int layer, float strength) {
  Checked("NormalMap", [&] {
    const int n = LayerSize, mask = LayerMask;
    const float* l = LayerCells(layer);
    // The slope scale comes from the steepest difference; max is exact, so the split order does not matter.
    float halves[2] = {0.0f, 0.0f};
    ParallelFor(n, RowPixels(), [&](int y0, int y1) {
      float m = 0.0f;
      for (int y = y0; y < y1; ++y)
        m = SteepestInRow(l + static_cast<std::size_t>((y - 1) & mask) * n, l + static_cast<std::size_t>(y) * n,
                          l + static_cast<std::size_t>((y + 1) & mask) * n, n, m);
      halves[y0 == 0 ? 0 : 1] = m;
    });
    float m = std::max(halves[0], halves[1]);
    float s = strength * 127.5f / m;
    std::uint8_t* p = PlanePixels(plane);
    auto pixel = [&](const float* up, const float* row, const float* down, std::uint8_t* out, int x) {
      int red = RoundClampByte(s * (row[(x - 1) & mask] - row[(x + 1) & mask]) + 127.5f);
      int green = RoundClampByte(s * (up[x] - down[x]) + 127.5f);
      out[4 * x + 2] = static_cast<std::uint8_t>(red);
      out[4 * x + 1] = static_cast<std::uint8_t>(green);
      out[4 * x + 0] = static_cast<std::uint8_t>(223 - (std::abs(red - 128) + std::abs(green - 128)) / 4);
    };
    ParallelFor(n, RowPixels(), [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const float* up = l + static_cast<std::size_t>((y - 1) & mask) * n;
        const float* row = l + static_cast<std::size_t>(y) * n;
        const float* down = l + static_cast<std::size_t>((y + 1) & mask) * n;
        std::uint8_t* out = p + static_cast<std::size_t>(y) * n * 4;
        pixel(up, row, down, out, 0);
        int x = 1;
#if defined(__SSE2__)
        const __m128 scale = _mm_set1_ps(s), neutral = _mm_set1_ps(127.5f);
        const __m128i centre = _mm_set1_epi32(128);
        for (; x + 4 <= n - 1; x += 4) {
          __m128 across = _mm_sub_ps(_mm_loadu_ps(row + x - 1), _mm_loadu_ps(row + x + 1));
          __m128 along = _mm_sub_ps(_mm_loadu_ps(up + x), _mm_loadu_ps(down + x));
          __m128i red = RoundClamp4(_mm_add_ps(_mm_mul_ps(scale, across), neutral));
          __m128i green = RoundClamp4(_mm_add_ps(_mm_mul_ps(scale, along), neutral));
          __m128i tilt = _mm_add_epi32(Abs4(_mm_sub_epi32(red, centre)), Abs4(_mm_sub_epi32(green, centre)));
          __m128i blue = _mm_sub_epi32(_mm_set1_epi32(223), _mm_srli_epi32(tilt, 2));
          StoreColour(out + 4 * x, blue, green, red);
        }
#endif
        for (; x < n; ++x) pixel(up, row, down, out, x);
      }
    });
  });
}

}  // namespace kuvo
