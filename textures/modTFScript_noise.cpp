// The layer engine's fractal value noise: octaves of random lattices interpolated with squared-sine weights.
// The same bits as the plain definition, computed row by row: each row takes every octave in turn, and a
// second thread adds up rows while this one is still drawing the finest lattice.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "app/modUtil.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"

namespace kuvo {

using tfs::Checked;

namespace {

float Interpolate(float p, float q, float r, float s, float w0x, float w1x, float w0y, float w1y) {
  return p * w0x * w0y + w0y * (q * w1x) + w0x * r * w1y + w1y * (w1x * s);
}

struct Octave {
  int step = 0, points = 0;
  float* lattice = nullptr;  // points x points values, row by row
  std::vector<float> w0, w1;
  // The plain definition interpolates in place, lattice cell after lattice cell, and a cell's first write
  // is its own corner (weights w0[0], w1[0]). The last row of cells reads row 0's corners after that write:
  // this is row 0 as rewritten. The last column reads column 0 after its write, formed per row below.
  std::vector<float> firstRow;

  float At(int gy, int gx) const { return lattice[static_cast<std::size_t>(gy) * points + gx]; }

  void FormFirstRow() {
    const float a = w0[0], b = w1[0];
    const int below = 1 % points;
    for (int gx = 0; gx < points; ++gx) {
      const int gx1 = (gx + 1) % points;
      const float q = gx1 == 0 ? firstRow[0] : At(0, gx1);
      firstRow[gx] = Interpolate(At(0, gx), q, At(below, gx), At(below, gx1), a, b, a, b);
    }
  }

  // Column 0 of lattice row gy as rewritten: its own corners, with row 0 already rewritten.
  float FirstColumn(int gy) const {
    if (gy == 0) return firstRow[0];
    const int gy1 = (gy + 1) % points, next = 1 % points;
    const float r = gy1 == 0 ? firstRow[0] : At(gy1, 0);
    const float s = gy1 == 0 ? firstRow[next] : At(gy1, next);
    return Interpolate(At(gy, 0), At(gy, next), r, s, w0[0], w1[0], w0[0], w1[0]);
  }
};

// One thread's products of corner and column weight for the lattice row it last formed, per octave.
// Along a row they do not depend on the row within the lattice cell, so a row then costs four products
// and four sums per octave.
class RowAdder {
 public:
  RowAdder(const std::vector<Octave>& octaves, int n)
      : octaves_(octaves), n_(n), terms_(octaves.size() * 4 * n), right_(2 * n), formed_(octaves.size(), -1) {}

  void AddRow(float* row, int y) {
    for (int x = 0; x < n_; ++x) row[x] = 0.0f;
    for (std::size_t o = 0; o < octaves_.size(); ++o) {
      const Octave& k = octaves_[o];
      const int gy = y / k.step, ty = y - gy * k.step;
      float* pw = terms_.data() + o * 4 * n_;
      float* qw = pw + n_;
      float* rw = qw + n_;
      float* sw = rw + n_;
      if (formed_[o] != gy) {
        Form(k, gy, pw, qw, rw, sw);
        formed_[o] = gy;
      }
      const float w0y = k.w0[ty], w1y = k.w1[ty];
      for (int x = 0; x < n_; ++x) row[x] += pw[x] * w0y + w0y * qw[x] + rw[x] * w1y + w1y * sw[x];
    }
  }

 private:
  void Form(const Octave& k, int gy, float* pw, float* qw, float* rw, float* sw) {
    const int points = k.points, step = k.step;
    const int gy1 = (gy + 1) % points;
    const float* here = k.lattice + static_cast<std::size_t>(gy) * points;
    const float* below = gy1 == 0 ? k.firstRow.data() : k.lattice + static_cast<std::size_t>(gy1) * points;
    float* right = right_.data();       // q of each lattice cell: the next point along the row
    float* belowRight = right + n_;     // s: the next point along the row below
    for (int gx = 0; gx + 1 < points; ++gx) {
      right[gx] = here[gx + 1];
      belowRight[gx] = below[gx + 1];
    }
    right[points - 1] = k.FirstColumn(gy);
    belowRight[points - 1] = below[0];
    if (step >= 8) {
      for (int gx = 0; gx < points; ++gx) {
        const float p = here[gx], q = right[gx], r = below[gx], s = belowRight[gx];
        const int x0 = gx * step;
        for (int tx = 0; tx < step; ++tx) {
          pw[x0 + tx] = p * k.w0[tx];
          qw[x0 + tx] = q * k.w1[tx];
          rw[x0 + tx] = k.w0[tx] * r;
          sw[x0 + tx] = k.w1[tx] * s;
        }
      }
    } else {
      // Short cells: run along the row for each offset, so the finest octaves vectorise too.
      for (int tx = 0; tx < step; ++tx) {
        const float a = k.w0[tx], b = k.w1[tx];
        for (int gx = 0; gx < points; ++gx) {
          pw[gx * step + tx] = here[gx] * a;
          qw[gx * step + tx] = right[gx] * b;
          rw[gx * step + tx] = a * below[gx];
          sw[gx * step + tx] = b * belowRight[gx];
        }
      }
    }
  }

  const std::vector<Octave>& octaves_;
  const int n_;
  std::vector<float> terms_, right_;
  std::vector<int> formed_;
};

}  // namespace

void FractalNoise(int layer, float base, float persistence, float seed) {
  Checked("FractalNoise", [&] {
    const int n = LayerSize;
    float* l = LayerCells(layer);

    // Every octave's lattice, coarse ones first, the finest (one point per cell) in the private grid.
    std::vector<Octave> octaves;
    std::size_t coarsePoints = 0;
    for (int step = n / 2; step >= 1; step /= 2) {
      Octave k;
      k.step = step;
      k.points = n / step;
      k.w0.resize(static_cast<std::size_t>(step));
      k.w1.resize(static_cast<std::size_t>(step));
      k.firstRow.resize(static_cast<std::size_t>(k.points));
      if (step > 1) coarsePoints += static_cast<std::size_t>(k.points) * k.points;
      octaves.push_back(std::move(k));
    }
    std::vector<float> coarse(coarsePoints);
    std::size_t offset = 0;
    for (Octave& k : octaves) {
      if (k.step > 1) {
        k.lattice = coarse.data() + offset;
        offset += static_cast<std::size_t>(k.points) * k.points;
      } else {
        k.lattice = tfs::PrivateGrid();
      }
    }
    Octave& finest = octaves.back();

    // Rows of the finest lattice drawn so far; row y of the layer needs rows y and y + 1 (row 0 for the
    // last) and every coarser octave, all drawn before the first finest row is published.
    std::atomic<int> finestRowsDrawn{0};
    std::atomic<int> nextRow{0};
    auto addRows = [&](RowAdder& adder) {
      for (int y = nextRow.fetch_add(1); y < n; y = nextRow.fetch_add(1)) {
        const int needed = y + 2 < n ? y + 2 : n;
        while (finestRowsDrawn.load(std::memory_order_acquire) < needed) std::this_thread::yield();
        adder.AddRow(l + static_cast<std::size_t>(y) * n, y);
      }
    };

    // A helper adds rows as the draws arrive; it is worth its start only for a large layer.
    const bool helped = tfs::SplitPoint(n, static_cast<std::size_t>(n)) < n;
    int helperFlags = 0;
    std::thread helper;
    if (helped) {
      try {
        helper = tfs::StartHelper([&] {
          std::feclearexcept(FE_ALL_EXCEPT);
          RowAdder adder(octaves, n);
          addRows(adder);
          helperFlags = std::fetestexcept(tfs::kFaultFlags);
        });
      } catch (const std::system_error&) {
        // Without a second thread the rows are all added below, after the draws.
      }
    }

    // The draws, in the plain order: octave by octave, row by row over each lattice.
    SeedNoise(seed);
    float gain = 1.0f;
    float amplitude = static_cast<float>(static_cast<double>(base) + 0.01);
    for (Octave& k : octaves) {
      const float A = gain * amplitude;
      gain = gain * persistence;
      amplitude = static_cast<float>(std::pow(static_cast<double>(amplitude), 0.6));
      const float c = static_cast<float>(1.570796 / k.step);
      for (int t = 0; t < k.step; ++t) {
        float s = std::sin(c * static_cast<float>(t));
        k.w1[t] = s * s;
        k.w0[t] = 1.0f - k.w1[t];
      }
      for (int gy = 0; gy < k.points; ++gy) {
        float* row = k.lattice + static_cast<std::size_t>(gy) * k.points;
        for (int gx = 0; gx < k.points; ++gx)
          row[gx] = static_cast<float>((static_cast<double>(NextNoise()) - 0.5) * static_cast<double>(A));
        if (gy == 1 % k.points) k.FormFirstRow();
        if (&k == &finest) finestRowsDrawn.store(gy + 1, std::memory_order_release);
      }
    }

    RowAdder adder(octaves, n);
    addRows(adder);
    if (helper.joinable()) helper.join();
    if (helperFlags) std::feraiseexcept(helperFlags);
  });
}

}  // namespace kuvo
