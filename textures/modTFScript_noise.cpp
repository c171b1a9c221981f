// The layer engine's fractal value noise: octaves of random lattices interpolated with squared-sine weights.
// The same bits as the plain definition, without its interpolation grid: each octave is added straight in.
#include <cmath>
#include <vector>

#include "app/modUtil.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"

namespace kuvo {

using tfs::Checked;
using tfs::ParallelFor;

namespace {

float Interpolate(float p, float q, float r, float s, float w0x, float w1x, float w0y, float w1y) {
  return p * w0x * w0y + w0y * (q * w1x) + w0x * r * w1y + w1y * (w1x * s);
}

}  // namespace

void FractalNoise(int layer, float base, float persistence, float seed) {
  Checked("FractalNoise", [&] {
    const int n = LayerSize;
    SeedNoise(seed);
    float* l = LayerCells(layer);
    std::fill(l, l + tfs::CellCount(), 0.0f);
    // The finest lattice has one point per cell, so the private grid holds every octave's lattice.
    float* lattice = tfs::PrivateGrid();
    int step = n / 2;
    float gain = 1.0f;
    float amplitude = static_cast<float>(static_cast<double>(base) + 0.01);
    std::vector<float> w0, w1, firstRow, firstColumn;
    for (;;) {
      const int points = n / step;
      const float A = gain * amplitude;
      // The draws stay in the plain order: row by row over the lattice.
      for (std::size_t i = 0; i < static_cast<std::size_t>(points) * points; ++i)
        lattice[i] = static_cast<float>((static_cast<double>(NextNoise()) - 0.5) * static_cast<double>(A));
      gain = gain * persistence;
      amplitude = static_cast<float>(std::pow(static_cast<double>(amplitude), 0.6));
      const float c = static_cast<float>(1.570796 / step);
      w0.resize(static_cast<std::size_t>(step));
      w1.resize(static_cast<std::size_t>(step));
      for (int t = 0; t < step; ++t) {
        float s = std::sin(c * static_cast<float>(t));
        w1[t] = s * s;
        w0[t] = 1.0f - w1[t];
      }

      // The plain definition interpolates in place, lattice cell after lattice cell, and a cell's first
      // write is its own corner (weights w0[0], w1[0]). Only the last column and the last row of cells read
      // corners after that write, those of column 0 and row 0, so those are replayed here in the same order.
      auto at = [&](int gy, int gx) { return lattice[static_cast<std::size_t>(gy) * points + gx]; };
      const float a = w0[0], b = w1[0];
      firstRow.resize(static_cast<std::size_t>(points));
      firstColumn.resize(static_cast<std::size_t>(points));
      for (int gx = 0; gx < points; ++gx) {
        const int gx1 = (gx + 1) % points;
        const float q = gx1 == 0 ? firstRow[0] : at(0, gx1);
        firstRow[gx] = Interpolate(at(0, gx), q, at(1 % points, gx), at(1 % points, gx1), a, b, a, b);
      }
      firstColumn[0] = firstRow[0];
      for (int gy = 1; gy < points; ++gy) {
        const int gy1 = (gy + 1) % points;
        const float r = gy1 == 0 ? firstRow[0] : at(gy1, 0);
        const float s = gy1 == 0 ? firstRow[1 % points] : at(gy1, 1 % points);
        firstColumn[gy] = Interpolate(at(gy, 0), at(gy, 1 % points), r, s, a, b, a, b);
      }

      // Along a row the products of a corner and its column weight do not depend on the row within the
      // lattice cell, so they are formed once per lattice row; a row then costs four products and four sums.
      ParallelFor(n, static_cast<std::size_t>(n), [&](int y0, int y1) {
        std::vector<float> terms(static_cast<std::size_t>(n) * 4);
        float* pw = terms.data();
        float* qw = pw + n;
        float* rw = qw + n;
        float* sw = rw + n;
        int formedFor = -1;
        for (int y = y0; y < y1; ++y) {
          const int gy = y / step, ty = y - gy * step;
          if (gy != formedFor) {
            const int gy1 = (gy + 1) % points;
            const float* below = gy1 == 0 ? firstRow.data() : lattice + static_cast<std::size_t>(gy1) * points;
            for (int gx = 0; gx < points; ++gx) {
              const int gx1 = (gx + 1) % points;
              const float p = at(gy, gx);
              const float q = gx1 == 0 ? firstColumn[gy] : at(gy, gx1);
              const float r = below[gx], s = below[gx1];
              const int x0 = gx * step;
              for (int tx = 0; tx < step; ++tx) {
                pw[x0 + tx] = p * w0[tx];
                qw[x0 + tx] = q * w1[tx];
                rw[x0 + tx] = w0[tx] * r;
                sw[x0 + tx] = w1[tx] * s;
              }
            }
            formedFor = gy;
          }
          const float w0y = w0[ty], w1y = w1[ty];
          float* row = l + static_cast<std::size_t>(y) * n;
          for (int x = 0; x < n; ++x) row[x] += pw[x] * w0y + w0y * qw[x] + rw[x] * w1y + w1y * sw[x];
        }
      });
      if (step <= 1) break;
      step /= 2;
    }
  });
}

}  // namespace kuvo
