// The layer engine: the store, and the cell-wise and shape operations as the recipes run them.
// Each gives the same bits as its plain definition in tests/oracles/modTFScript_reference.cpp, only in a faster order.
#include "textures/modTFScript.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "textures/modTFScript_detail.h"

namespace kuvo {

std::int32_t LayerSize = 0;
std::int32_t LayerMask = 0;
std::int32_t LayerHalf = 0;
std::vector<float> FloatLayers;
std::vector<std::uint8_t> ColourPlanes;

// Allocated on the first operation that needs it after InitLayers, so a store that never needs it costs nothing.
static std::vector<float> Scratch;

std::size_t tfs::MinCellsToSplit = std::size_t{1} << 17;
bool tfs::RefuseHelperThreads = false;

bool tfs::HaveSecondCore() {
  static const bool twoCores = std::thread::hardware_concurrency() >= 2;
  return twoCores;
}

float* LayerCells(int layer) { return FloatLayers.data() + static_cast<std::size_t>(layer) * tfs::CellCount(); }

std::uint8_t* PlanePixels(int plane) {
  return ColourPlanes.data() + static_cast<std::size_t>(plane) * tfs::CellCount() * 4;
}

float* tfs::PrivateGrid() {
  if (Scratch.size() != CellCount()) Scratch.assign(CellCount(), 0.0f);
  return Scratch.data();
}

using tfs::Checked;
using tfs::ParallelFor;
using tfs::RoundToLong;

namespace {

std::size_t Row(int y) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(LayerSize); }

// fn(i) for every cell index, rows split over two threads when large.
template <class Fn>
void EachCell(Fn fn) {
  const std::size_t n = static_cast<std::size_t>(LayerSize);
  ParallelFor(LayerSize, n, [&](int y0, int y1) {
    for (std::size_t i = Row(y0); i < Row(y1); ++i) fn(i);
  });
}

void AddToRange(float* row, long begin, long end, float value) {
  for (long x = begin; x < end; ++x) row[x] += value;
}

}  // namespace

void InitLayers(int size, int layerCount, int planeCount) {
  // The old store goes first, so two stores never exist at once.
  std::vector<float>().swap(FloatLayers);
  std::vector<std::uint8_t>().swap(ColourPlanes);
  std::vector<float>().swap(Scratch);
  LayerSize = size;
  LayerMask = size - 1;
  LayerHalf = size / 2;
  std::size_t cells = tfs::CellCount();
  FloatLayers.assign(static_cast<std::size_t>(std::max(layerCount, 0)) * cells, 0.0f);
  ColourPlanes.assign(static_cast<std::size_t>(std::max(planeCount, 0)) * cells * 4, 0);
}

void FillLayer(int layer, float value) {
  Checked("FillLayer", [&] {
    float* l = LayerCells(layer);
    std::fill(l, l + tfs::CellCount(), value);
  });
}

void AddEllipse(int layer, float cx, float cy, float rx, float ry, float value) {
  Checked("AddEllipse", [&] {
    const long n = LayerSize, mask = LayerMask;
    const long R = RoundToLong(static_cast<double>(ry) * n);
    const long Cx = RoundToLong(static_cast<double>(cx) * n);
    const long Cy = RoundToLong(static_cast<double>(cy) * n);
    const float k = rx / ry;
    if (R < 0) return;
    float* l = LayerCells(layer);
    // Row by row instead of span by span: a row takes its spans in rising dy, as the plain order gives them,
    // and each span is a constant over the row plus a range, so the row stays in cache.
    const std::size_t spansPerRow = static_cast<std::size_t>((2 * R + 1) / n + 1);
    ParallelFor(LayerSize, spansPerRow * static_cast<std::size_t>(n), [&](int y0, int y1) {
      for (long y = y0; y < y1; ++y) {
        float* row = l + Row(static_cast<int>(y));
        for (long dy = -R + ((y - (Cy - R)) & mask); dy <= R; dy += n) {
          long w = RoundToLong(static_cast<double>(k) * std::sqrt(static_cast<double>(R * R - dy * dy)));
          long wraps = (2 * w) / n;
          long left = (Cx - w) & mask;
          long right = (Cx + w) & mask;
          float inside = static_cast<float>(static_cast<double>(value) * static_cast<double>(wraps + 1));
          float outside = static_cast<float>(static_cast<double>(value) * static_cast<double>(wraps));
          if (left < right) {
            AddToRange(row, 0, left + 1, outside);
            AddToRange(row, left + 1, right, inside);
            AddToRange(row, right, n, outside);
          } else if (left > right) {
            AddToRange(row, 0, right, inside);
            AddToRange(row, right, left + 1, outside);
            AddToRange(row, left + 1, n, inside);
          } else {
            AddToRange(row, 0, n, outside);
          }
        }
      }
    });
  });
}

void AddRect(int layer, float x, float y, float w, float h, float value) {
  Checked("AddRect", [&] {
    const long n = LayerSize, mask = LayerMask;
    const long x0 = RoundToLong(static_cast<double>(x) * n);
    const long y0 = RoundToLong(static_cast<double>(y) * n);
    const long W = RoundToLong(static_cast<double>(w) * n);
    const long H = RoundToLong(static_cast<double>(h) * n);
    float* l = LayerCells(layer);
    // Every add is the same value, so a cell that a wide rectangle covers twice gets the same bits
    // whichever lap comes first.
    for (long r = y0; r < y0 + H; ++r) {
      float* row = l + Row(static_cast<int>(r & mask));
      for (long c = x0; c < x0 + W;) {
        long start = c & mask;
        long length = std::min(n - start, x0 + W - c);
        AddToRange(row, start, start + length, value);
        c += length;
      }
    }
  });
}

void HalveAndTile(int dst, int src) {
  Checked("HalveAndTile", [&] {
    const int n = LayerSize, half = LayerHalf;
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    std::vector<float> halved(static_cast<std::size_t>(half));
    for (int y = 0; y < n; ++y) {
      const float* in = s + Row(y);
      for (int j = 0; j < half; ++j) halved[j] = (in[2 * j] + in[2 * j + 1]) * 0.5f;
      std::memcpy(d + Row(y), halved.data(), halved.size() * sizeof(float));
      std::memcpy(d + Row(y) + half, halved.data(), halved.size() * sizeof(float));
    }
  });
}

void ShiftLayer(int dst, int src, float fx, float fy) {
  Checked("ShiftLayer", [&] {
    const long n = LayerSize, mask = LayerMask;
    const long dx = RoundToLong(static_cast<double>(fx - std::floor(fx)) * n) & mask;
    const long dy = RoundToLong(static_cast<double>(fy - std::floor(fy)) * n) & mask;
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    if (d == s) {
      float* copy = tfs::PrivateGrid();
      std::memcpy(copy, s, tfs::CellCount() * sizeof(float));
      s = copy;
    }
    for (long y = 0; y < n; ++y) {
      const float* in = s + Row(static_cast<int>((y + dy) & mask));
      float* out = d + Row(static_cast<int>(y));
      std::memcpy(out, in + dx, static_cast<std::size_t>(n - dx) * sizeof(float));
      std::memcpy(out + (n - dx), in, static_cast<std::size_t>(dx) * sizeof(float));
    }
  });
}

void AddLayers(int dst, int a, int b) {
  Checked("AddLayers", [&] {
    float* d = LayerCells(dst);
    const float* pa = LayerCells(a);
    const float* pb = LayerCells(b);
    EachCell([&](std::size_t i) { d[i] = pa[i] + pb[i]; });
  });
}

void ScaleOffset(int dst, int src, float a, float b) {
  Checked("ScaleOffset", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    EachCell([&](std::size_t i) { d[i] = s[i] * a + b; });
  });
}

void SineLayer(int dst, int src) {
  Checked("SineLayer", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    EachCell([&](std::size_t i) { d[i] = std::sin(s[i]); });
  });
}

void BellLayer(int dst, int src) {
  Checked("BellLayer", [&] {
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    EachCell([&](std::size_t i) { d[i] = 1.0f / (s[i] * s[i] + 1.0f); });
  });
}

void NormalizeRange(int dst, int src, float lo, float hi) {
  float scale = 0.0f, offset = 0.0f;
  Checked("NormalizeRange", [&] {
    const float* s = LayerCells(src);
    // Minimum and maximum are exact, so the halves can be scanned apart and combined.
    float highs[2] = {-3.4e38f, -3.4e38f}, lows[2] = {3.4e38f, 3.4e38f};
    ParallelFor(LayerSize, static_cast<std::size_t>(LayerSize), [&](int y0, int y1) {
      float mx = -3.4e38f, mn = 3.4e38f;
      for (std::size_t i = Row(y0); i < Row(y1); ++i) {
        mx = s[i] > mx ? s[i] : mx;
        mn = s[i] < mn ? s[i] : mn;
      }
      highs[y0 == 0 ? 0 : 1] = mx;
      lows[y0 == 0 ? 0 : 1] = mn;
    });
    float mx = std::max(highs[0], highs[1]);
    float mn = std::min(lows[0], lows[1]);
    float range = mx - mn;
    scale = range < 1e-35f ? 0.0f : (hi - lo) / range;
    offset = lo - mn * scale;
  });
  ScaleOffset(dst, src, scale, offset);
}

void RemoveColumnMeans(int dst, int src) {
  Checked("RemoveColumnMeans", [&] {
    const int n = LayerSize;
    float* d = LayerCells(dst);
    const float* s = LayerCells(src);
    // All columns advance together row by row; each column's sum still runs from row 0 down.
    ParallelFor(n, static_cast<std::size_t>(n), [&](int x0, int x1) {
      std::vector<float> mean(static_cast<std::size_t>(x1 - x0), 0.0f);
      for (int y = 0; y < n; ++y) {
        const float* in = s + Row(y) + x0;
        for (int x = 0; x < x1 - x0; ++x) mean[x] += in[x];
      }
      for (float& m : mean) m = m / static_cast<float>(n);
      for (int y = 0; y < n; ++y) {
        const float* in = s + Row(y) + x0;
        float* out = d + Row(y) + x0;
        for (int x = 0; x < x1 - x0; ++x) out[x] = in[x] - mean[x];
      }
    });
  });
}

}  // namespace kuvo
