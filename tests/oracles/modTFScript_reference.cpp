// The layer engine's operations written the plain way: cell by cell, in the order their arithmetic is
// defined. Slow, but it is the definition the fast operations in modTFScript.cpp must reproduce bit for bit.
#include "tests/oracles/modTFScript_reference.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/modUtil.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"

namespace kuvo::reference {

using tfs::Checked;

namespace {

// Its own rounding and byte helpers, written another way than the fast engine's, so that a fault in either shows.
// Nearest with halves to even; beyond 2^31 cells or NaN the invalid flag is raised and 0 returned.
long RoundToLong(double v) {
  if (std::isnan(v) || v >= 2147483648.0 || v <= -2147483648.0) {
    std::feraiseexcept(FE_INVALID);
    return 0;
  }
  double whole = std::floor(v);
  const double rest = v - whole;  // exact below 2^52
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<long>(whole);
}

// An already rounded value clamped to a byte; NaN raises the invalid flag and gives 0.
std::uint8_t ClampRoundedByte(double r) {
  if (std::isnan(r)) {
    std::feraiseexcept(FE_INVALID);
    return 0;
  }
  return static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
}

std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, float t) {
  const double td = t;
  return ClampRoundedByte(std::nearbyint((1.0 - td) * a + td * b));
}

std::uint8_t SaturatingAdd(std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(std::min(a + b, 255)); }

int N() { return LayerSize; }
int Mask() { return LayerMask; }
float& At(float* layer, long y, long x) { return layer[(y & LayerMask) * LayerSize + (x & LayerMask)]; }
std::uint8_t* PixelAt(int plane, int y, int x) { return PlanePixels(plane) + (static_cast<std::size_t>(y) * LayerSize + x) * 4; }

// Neighbour operations compute into a private grid and copy it over the destination afterwards.
std::vector<float> NewGrid() { return std::vector<float>(tfs::CellCount(), 0.0f); }
void CopyOver(int dst, const std::vector<float>& grid) {
  std::memcpy(LayerCells(dst), grid.data(), grid.size() * sizeof(float));
}

std::uint8_t Channel(std::int32_t colour, int c) { return static_cast<std::uint8_t>((colour >> (8 * c)) & 0xFF); }

}  // namespace

void FillLayer(int layer, float value) {
  Checked("FillLayer", [&] {
    float* l = LayerCells(layer);
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) l[i] = value;
  });
}

void AddEllipse(int layer, float cx, float cy, float rx, float ry, float value) {
  Checked("AddEllipse", [&] {
    float* l = LayerCells(layer);
    long R = RoundToLong(static_cast<double>(ry) * N());
    long Cx = RoundToLong(static_cast<double>(cx) * N());
    long Cy = RoundToLong(static_cast<double>(cy) * N());
    float k = rx / ry;
    for (long dy = -R; dy <= R; ++dy) {
      long y = (Cy + dy) & Mask();
      long w = RoundToLong(static_cast<double>(k) * std::sqrt(static_cast<double>(R * R - dy * dy)));
      long wraps = (2 * w) / N();
      long left = (Cx - w) & Mask();
      long right = (Cx + w) & Mask();
      float inside = static_cast<float>(static_cast<double>(value) * static_cast<double>(wraps + 1));
      float outside = static_cast<float>(static_cast<double>(value) * static_cast<double>(wraps));
      for (long x = 0; x < N(); ++x) {
        bool in = left < right ? (left < x && x < right) : left > right ? (x > left || x < right) : false;
        At(l, y, x) += in ? inside : outside;
      }
    }
  });
}

void AddRect(int layer, float x, float y, float w, float h, float value) {
  Checked("AddRect", [&] {
    float* l = LayerCells(layer);
    long x0 = RoundToLong(static_cast<double>(x) * N());
    long y0 = RoundToLong(static_cast<double>(y) * N());
    long W = RoundToLong(static_cast<double>(w) * N());
    long H = RoundToLong(static_cast<double>(h) * N());
    for (long r = y0; r < y0 + H; ++r)
      for (long c = x0; c < x0 + W; ++c) At(l, r, c) += value;
  });
}

void FractalNoise(int layer, float base, float persistence, float seed) {
  Checked("FractalNoise", [&] {
    const int n = N();
    SeedNoise(seed);
    float* l = LayerCells(layer);
    std::fill(l, l + tfs::CellCount(), 0.0f);
    std::vector<float> T = NewGrid();
    int step = n / 2;
    float gain = 1.0f;
    float amplitude = static_cast<float>(static_cast<double>(base) + 0.01);
    std::vector<float> w0(step), w1(step);
    for (;;) {
      float A = gain * amplitude;
      for (int y = 0; y <= n - 1; y += step)
        for (int x = 0; x <= n - 1; x += step)
          T[y * n + x] = static_cast<float>((static_cast<double>(NextNoise()) - 0.5) * static_cast<double>(A));
      gain = gain * persistence;
      amplitude = static_cast<float>(std::pow(static_cast<double>(amplitude), 0.6));
      float c = static_cast<float>(1.570796 / step);
      for (int t = 0; t < step; ++t) {
        float s = std::sin(c * static_cast<float>(t));
        w1[t] = s * s;
        w0[t] = 1.0f - w1[t];
      }
      for (int gy = 0; gy < n; gy += step) {
        for (int gx = 0; gx < n; gx += step) {
          int gy1 = (gy + step) & Mask();
          int gx1 = (gx + step) & Mask();
          float p = T[gy * n + gx], q = T[gy * n + gx1], r = T[gy1 * n + gx], s = T[gy1 * n + gx1];
          for (int ty = 0; ty < step; ++ty)
            for (int tx = 0; tx < step; ++tx)
              T[((gy + ty) & Mask()) * n + ((gx + tx) & Mask())] =
                  p * w0[tx] * w0[ty] + w0[ty] * (q * w1[tx]) + w0[tx] * r * w1[ty] + w1[ty] * (w1[tx] * s);
        }
      }
      for (std::size_t i = 0; i < tfs::CellCount(); ++i) l[i] += T[i];
      if (step <= 1) break;
      step /= 2;
    }
  });
}

void HalveAndTile(int dst, int src) {
  Checked("HalveAndTile", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    for (int y = 0; y < N(); ++y) {
      for (int j = 0; j < LayerHalf; ++j) d[y * N() + j] = (s[y * N() + 2 * j] + s[y * N() + 2 * j + 1]) * 0.5f;
      for (int j = 0; j < LayerHalf; ++j) d[y * N() + LayerHalf + j] = d[y * N() + j];
    }
  });
}

void ShiftLayer(int dst, int src, float fx, float fy) {
  Checked("ShiftLayer", [&] {
    long dx = RoundToLong(static_cast<double>(fx - std::floor(fx)) * N());
    long dy = RoundToLong(static_cast<double>(fy - std::floor(fy)) * N());
    float* s = LayerCells(src);
    std::vector<float> T = NewGrid();
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x) T[y * N() + x] = At(s, y + dy, x + dx);
    CopyOver(dst, T);
  });
}

void AddLayers(int dst, int a, int b) {
  Checked("AddLayers", [&] {
    float* d = LayerCells(dst);
    const float* pa = LayerCells(a);
    const float* pb = LayerCells(b);
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) d[i] = pa[i] + pb[i];
  });
}

namespace {

long BlurRadius(float width) { return RoundToLong(static_cast<double>(width) * N() * 0.5); }

// The running box filter over one line of cells, `at(k)` reading the line's k-th cell (wrapped).
template <class Read, class Write>
void BlurLine(long d, float reciprocal, Read at, Write put) {
  float s = 0.0f;
  for (long k = 0; k <= 2 * d - 1; ++k) s += at(k);
  for (long x = 0; x < N(); ++x) {
    s = s + at(x + 2 * d);
    put(x + d, s * reciprocal);
    s = s - at(x);
  }
}

}  // namespace

void BlurHorizontal(int dst, int src, float width) {
  Checked("BlurHorizontal", [&] {
    long d = BlurRadius(width);
    if (d == 0) return;
    float reciprocal = static_cast<float>(1.0 / static_cast<double>(2 * d + 1));
    float* s = LayerCells(src);
    std::vector<float> T = NewGrid();
    for (int y = 0; y < N(); ++y)
      BlurLine(
          d, reciprocal, [&](long k) { return At(s, y, k); }, [&](long k, float v) { At(T.data(), y, k) = v; });
    CopyOver(dst, T);
  });
}

void BlurVertical(int dst, int src, float width) {
  Checked("BlurVertical", [&] {
    long d = BlurRadius(width);
    if (d == 0) return;
    float reciprocal = static_cast<float>(1.0 / static_cast<double>(2 * d + 1));
    float* s = LayerCells(src);
    std::vector<float> T = NewGrid();
    for (int x = 0; x < N(); ++x)
      BlurLine(
          d, reciprocal, [&](long k) { return At(s, k, x); }, [&](long k, float v) { At(T.data(), k, x) = v; });
    CopyOver(dst, T);
  });
}

void Emboss(int dst, int src, float kx, float ky) {
  Checked("Emboss", [&] {
    float KX = static_cast<float>(static_cast<double>(kx) * N());
    float KY = static_cast<float>(static_cast<double>(ky) * N());
    float* s = LayerCells(src);
    std::vector<float> T = NewGrid();
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x)
        T[y * N() + x] = (At(s, y, x + 1) - At(s, y, x - 1)) * KX + (At(s, y + 1, x) - At(s, y - 1, x)) * KY;
    CopyOver(dst, T);
  });
}

void GradientMagnitude(int dst, int src) {
  Checked("GradientMagnitude", [&] {
    float n = static_cast<float>(N());
    float* s = LayerCells(src);
    std::vector<float> T = NewGrid();
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x) {
        float gx = (At(s, y, x + 1) - At(s, y, x - 1)) * n;
        float gy = (At(s, y + 1, x) - At(s, y - 1, x)) * n;
        T[y * N() + x] = std::sqrt(gx * gx + gy * gy);
      }
    CopyOver(dst, T);
  });
}

void ScaleOffset(int dst, int src, float a, float b) {
  Checked("ScaleOffset", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) d[i] = s[i] * a + b;
  });
}

void SineLayer(int dst, int src) {
  Checked("SineLayer", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) d[i] = std::sin(s[i]);
  });
}

void BellLayer(int dst, int src) {
  Checked("BellLayer", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) d[i] = 1.0f / (s[i] * s[i] + 1.0f);
  });
}

void NormalizeRange(int dst, int src, float lo, float hi) {
  float scale = 0.0f, offset = 0.0f;
  Checked("NormalizeRange", [&] {
    const float* s = LayerCells(src);
    float mx = -3.4e38f, mn = 3.4e38f;
    for (std::size_t i = 0; i < tfs::CellCount(); ++i) {
      if (s[i] > mx) mx = s[i];
      if (s[i] < mn) mn = s[i];
    }
    float range = mx - mn;
    scale = range < 1e-35f ? 0.0f : (hi - lo) / range;
    offset = lo - mn * scale;
  });
  ScaleOffset(dst, src, scale, offset);
}

void RemoveColumnMeans(int dst, int src) {
  Checked("RemoveColumnMeans", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    for (int x = 0; x < N(); ++x) {
      float sum = 0.0f;
      for (int y = 0; y < N(); ++y) sum += s[y * N() + x];
      float m = sum / static_cast<float>(N());
      for (int y = 0; y < N(); ++y) d[y * N() + x] = s[y * N() + x] - m;
    }
  });
}

void ColourMap(int plane, int layer, std::int32_t colourA, std::int32_t colourB) {
  Checked("ColourMap", [&] {
    const float* l = LayerCells(layer);
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x)
        for (int c = 0; c < 3; ++c)
          PixelAt(plane, y, x)[c] = LerpByte(Channel(colourA, c), Channel(colourB, c), l[y * N() + x]);
  });
}

void BlendPlanes(int dst, int planeA, int planeB, int layer) {
  Checked("BlendPlanes", [&] {
    const float* l = LayerCells(layer);
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x)
        for (int c = 0; c < 3; ++c)
          PixelAt(dst, y, x)[c] = LerpByte(PixelAt(planeA, y, x)[c], PixelAt(planeB, y, x)[c], l[y * N() + x]);
  });
}

void AddPlanes(int dst, int planeA, int planeB) {
  Checked("AddPlanes", [&] {
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x)
        for (int c = 0; c < 3; ++c)
          PixelAt(dst, y, x)[c] = SaturatingAdd(PixelAt(planeA, y, x)[c], PixelAt(planeB, y, x)[c]);
  });
}

void FillPlane(int plane, std::int32_t colour) {
  Checked("FillPlane", [&] {
    for (int x = 0; x < N(); ++x)
      for (int c = 0; c < 3; ++c) PixelAt(plane, 0, x)[c] = Channel(colour, c);
    for (int y = 1; y < N(); ++y) std::memcpy(PixelAt(plane, y, 0), PixelAt(plane, 0, 0), static_cast<std::size_t>(N()) * 4);
  });
}

void NormalMap(int plane, int layer, float strength) {
  Checked("NormalMap", [&] {
    float* l = LayerCells(layer);
    float m = 0.0f;
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x) {
        m = std::max(m, std::fabs(At(l, y, x - 1) - At(l, y, x + 1)));
        m = std::max(m, std::fabs(At(l, y - 1, x) - At(l, y + 1, x)));
      }
    float s = strength * 127.5f / m;
    for (int y = 0; y < N(); ++y)
      for (int x = 0; x < N(); ++x) {
        int red = ClampRoundedByte(std::nearbyint(s * (At(l, y, x - 1) - At(l, y, x + 1)) + 127.5f));
        int green = ClampRoundedByte(std::nearbyint(s * (At(l, y - 1, x) - At(l, y + 1, x)) + 127.5f));
        std::uint8_t* p = PixelAt(plane, y, x);
        p[2] = static_cast<std::uint8_t>(red);
        p[1] = static_cast<std::uint8_t>(green);
        p[0] = static_cast<std::uint8_t>(223 - (std::abs(red - 128) + std::abs(green - 128)) / 4);
      }
  });
}

}  // namespace kuvo::reference
