// The OpenGL device's sifting of triangles that cover no pixel centre (platform/gl/GlCoverage.h) and its
// reading of where a vertex shader's position comes from: plain data, no window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gl/GlCoverage.h"
#include "platform/gl/GlShaderTokens.h"
#include "tests/support/Assemble.h"
#include "textures/modShader.h"

using namespace kuvo::gl;
using kuvo::testing::Assemble;

namespace {

PositionTransform Find(const std::string& body) {
  std::vector<std::uint32_t> tokens = Assemble("vs_2_0\n" + body);
  EXPECT_FALSE(tokens.empty()) << body;
  return FindPositionTransform(tokens.data(), static_cast<std::uint32_t>(tokens.size()));
}

PositionTransform FindIn(const unsigned char* stream, std::size_t size) {
  return FindPositionTransform(reinterpret_cast<const std::uint32_t*>(stream), static_cast<std::uint32_t>(size / 4));
}

}  // namespace

TEST(PositionTransform, OnlyAWholeMatrixProductOfThePositionIsKnown) {
  PositionTransform reflect = FindIn(kuvo::ShaderReflectVS, kuvo::ShaderReflectVSSize);
  EXPECT_EQ(reflect.input, 0);
  EXPECT_EQ(reflect.constant, 0);
  PositionTransform lightMap = FindIn(kuvo::ShaderLightMapVS, kuvo::ShaderLightMapVSSize);
  EXPECT_TRUE(lightMap.Known());
  EXPECT_FALSE(FindIn(kuvo::ShaderScreenVS, kuvo::ShaderScreenVSSize).Known()) << "mov oPos, v0";

  const std::string decl = "dcl_position v0\ndcl_normal v1\n";
  PositionTransform shifted = Find(decl + "m4x4 oPos, v0, c4\n");
  EXPECT_EQ(shifted.input, 0);
  EXPECT_EQ(shifted.constant, 4);
  PositionTransform second = Find("dcl_normal v0\ndcl_position v1\nm4x4 oPos, v1, c0\n");
  EXPECT_EQ(second.input, 1);
  EXPECT_EQ(second.constant, 0);
  EXPECT_TRUE(Find(decl + "def c4, 1, 2, 3, 4\nm4x4 oPos, v0, c0\n").Known()) << "a constant past the four";
  EXPECT_TRUE(Find(decl + "m4x4 oPos, v0, c251\n").Known());

  const char* unknown[] = {
      "m4x4 oPos, v1, c0\n",                           // the normal, not the position
      "def c3, 1, 2, 3, 4\nm4x4 oPos, v0, c0\n",        // a row the shader defines itself
      "m4x4 oPos, v0, c0\nmov oPos.w, c9.x\n",          // written again
      "mov oPos, v0\n",                                 // not a product
      "m4x4 oPos, -v0, c0\n",                           // a modifier on the position
      "m4x4 oPos, v0.yxzw, c0\n",                       // swizzled
      "m4x4_sat oPos, v0, c0\n",                        // clamped
      "m4x4 oPos, v0, c252\n",                          // reaches the device's own constant
      "m4x4 r0, v0, c0\nmov oPos, r0\n",                // through a temporary
      "dp4 oPos.x, v0, c0\ndp4 oPos.y, v0, c1\ndp4 oPos.z, v0, c2\ndp4 oPos.w, v0, c3\n",
  };
  for (const char* body : unknown) EXPECT_FALSE(Find(decl + body).Known()) << body;
  EXPECT_FALSE(Find("dcl_normal v1\nm4x4 oPos, v1, c0\n").Known()) << "no position declared";
  EXPECT_FALSE(Find(decl + "m4x4 oPos, v0, c0\nrep i0\nadd r0, r0, c9\nendrep\n").Known()) << "flow control";
  std::vector<std::uint32_t> pixel = Assemble("ps_2_0\nmov oC0, c0\n");
  EXPECT_FALSE(FindPositionTransform(pixel.data(), static_cast<std::uint32_t>(pixel.size())).Known());
}

namespace {

// A 40 x 30 target with the pixel centres at (i + 0.5, j + 0.5). Positions are given in pixels and
// turned into clip space by rows that divide by w = 2: x_clip = (2 X / W - 1) w.
constexpr int kWidth = 40, kHeight = 30;

struct Sifter {
  float rows[16] = {};
  CoverageTarget target{kWidth, kHeight, 0.0f, 0.0f, 0};
  std::vector<float> positions;  // x, y, z per vertex
  std::vector<std::uint16_t> indices;

  Sifter() {
    // Vertex (X, Y, 0) in pixels: clip x = 2 (2X/W - 1) = (4/W) X - 2 with w = 2.
    const float r[16] = {4.0f / kWidth, 0, 0, -2, 0, 4.0f / kHeight, 0, -2, 0, 0, 1, 0, 0, 0, 0, 2};
    std::memcpy(rows, r, sizeof rows);
  }
  void Triangle(float ax, float ay, float bx, float by, float cx, float cy) {
    for (float v : {ax, ay, 0.0f, bx, by, 0.0f, cx, cy, 0.0f}) positions.push_back(v);
    for (int k = 0; k < 3; ++k) indices.push_back(static_cast<std::uint16_t>(indices.size()));
  }
  // Which triangles are kept, by number.
  std::vector<int> Kept() {
    PositionSource source{reinterpret_cast<const std::uint8_t*>(positions.data()), positions.size() * 4, 12, 0, 3, 0};
    std::vector<std::uint8_t> kept;
    std::size_t n = KeepCoveringTriangles(rows, source, reinterpret_cast<const std::uint8_t*>(indices.data()), 2,
                                          static_cast<std::uint32_t>(indices.size()), target, kept);
    EXPECT_EQ(kept.size(), n * 2);
    std::vector<int> triangles;
    for (std::size_t k = 0; k + 5 < kept.size(); k += 6) {
      std::uint16_t first;
      std::memcpy(&first, kept.data() + k, 2);
      triangles.push_back(first / 3);
    }
    return triangles;
  }
};

// Whether a triangle in pixels covers a pixel centre strictly inside it.
bool CoversACentre(const double (&x)[3], const double (&y)[3]) {
  for (int j = 0; j < kHeight; ++j)
    for (int i = 0; i < kWidth; ++i) {
      const double px = i + 0.5, py = j + 0.5;
      int positive = 0, negative = 0;
      for (int e = 0; e < 3; ++e) {
        const int f = (e + 1) % 3;
        const double side = (x[f] - x[e]) * (py - y[e]) - (y[f] - y[e]) * (px - x[e]);
        positive += side > 1e-9;
        negative += side < -1e-9;
      }
      if (positive == 3 || negative == 3) return true;
    }
  return false;
}

}  // namespace

TEST(CoveringTriangles, EdgesWithinTheMarginOfACentreAreKeptAndFartherOnesDropped) {
  Sifter s;
  // Right edges 0.004 and 0.02 pixels short of the centre column x = 10.5; rows 5.5 inside both.
  s.Triangle(9.8f, 5.0f, 10.5f - 0.004f, 5.0f, 10.5f - 0.004f, 6.0f);  // 0: within 1/128 of the centre
  s.Triangle(9.8f, 5.0f, 10.5f - 0.02f, 5.0f, 10.5f - 0.02f, 6.0f);    // 1: clear of it
  s.Triangle(9.8f, 5.0f, 10.6f, 5.0f, 10.6f, 6.0f);                    // 2: over it
  s.Triangle(12.1f, 7.1f, 12.4f, 7.1f, 12.2f, 7.4f);                   // 3: between four centres
  // 4: a sliver whose rectangle holds the centre (14.5, 14.5) while the sliver passes 0.1 below it.
  s.Triangle(14.0f, 14.0f, 15.0f, 14.4f, 14.0f, 14.05f);
  EXPECT_EQ(s.Kept(), (std::vector<int>{0, 2}));
}

TEST(CoveringTriangles, TheMarginGrowsWithTheTermsThatCancel) {
  // x_clip = (4/W) X + z - (2 + 10^4) at z = 10^4: the same places, from sums of terms near 10^4 whose
  // float rounding reaches (10^4 + 10^4) x 2^-23 / w x W / 2, a hundredth of a pixel; the sifter's bound
  // is eight times that and more, about 0.19 of a pixel.
  Sifter s;
  s.rows[2] = 1.0f;
  s.rows[3] = -2.0f - 1e4f;
  s.Triangle(9.9f, 5.0f, 10.5f - 0.1f, 5.0f, 10.5f - 0.1f, 6.0f);  // 0
  s.Triangle(9.9f, 5.0f, 10.5f - 0.3f, 5.0f, 10.5f - 0.3f, 6.0f);  // 1
  for (std::size_t k = 2; k < s.positions.size(); k += 3) s.positions[k] = 1e4f;
  EXPECT_EQ(s.Kept(), (std::vector<int>{0}));
}

TEST(CoveringTriangles, OffTheTargetDroppedAndTheShiftMovesTheCentres) {
  Sifter s;
  s.Triangle(41.0f, 5.0f, 45.0f, 5.0f, 41.0f, 9.0f);   // 0: right of the target
  s.Triangle(38.0f, 5.0f, 45.0f, 5.0f, 38.0f, 9.0f);   // 1: over its last column
  s.Triangle(5.0f, -9.0f, 9.0f, -9.0f, 5.0f, -0.6f);   // 2: below its first row
  s.Triangle(3.2f, 3.2f, 3.45f, 3.2f, 3.2f, 3.45f);    // 3: a little short of (3.5, 3.5)
  EXPECT_EQ(s.Kept(), (std::vector<int>{1}));
  // The rewritten shader's shift of a fifth of a pixel each way (in clip units 2 / size) brings it over.
  s.target.shiftX = 0.4f / kWidth;
  s.target.shiftY = 0.4f / kHeight;
  EXPECT_EQ(s.Kept(), (std::vector<int>{1, 3}));
}

TEST(CoveringTriangles, FacesAreDroppedOnlyWhenSurelyCulled) {
  Sifter s;
  s.Triangle(5.0f, 5.0f, 15.0f, 5.0f, 5.0f, 15.0f);  // 0: counter-clockwise in GL's window (y up)
  s.Triangle(5.0f, 5.0f, 5.0f, 15.0f, 15.0f, 5.0f);  // 1: clockwise
  // 2: nearly flat along the centres' row: over two centres or not, wound either way, none of it sure.
  s.Triangle(20.0f, 20.5f, 22.0f, 20.5f + 1e-5f, 21.0f, 20.5f);
  EXPECT_EQ(s.Kept(), (std::vector<int>{0, 1, 2}));
  s.target.culledWinding = -1;
  EXPECT_EQ(s.Kept(), (std::vector<int>{0, 2}));
  s.target.culledWinding = 1;
  EXPECT_EQ(s.Kept(), (std::vector<int>{1, 2}));
}

TEST(CoveringTriangles, UnknownVerticesKeepTheirTrianglesAndTheOrderStays) {
  Sifter s;
  s.Triangle(1.1f, 1.1f, 1.3f, 1.1f, 1.1f, 1.3f);  // 0: covers nothing
  s.Triangle(2.0f, 2.0f, 9.0f, 2.0f, 2.0f, 9.0f);  // 1: covers several
  s.Triangle(4.1f, 1.1f, 4.3f, 1.1f, 4.1f, 1.3f);  // 2: covers nothing, but one vertex is behind the eye
  s.Triangle(6.1f, 1.1f, 6.3f, 1.1f, 6.1f, 1.3f);  // 3: covers nothing, but one vertex is past the data
  s.positions[2 * 9 + 2] = -5.0f;                  // z of triangle 2's first vertex
  s.rows[14] = 1.0f;                               // w = 2 + z: -3 for that vertex, 2 for the others
  s.indices[3 * 3 + 2] = 200;
  EXPECT_EQ(s.Kept(), (std::vector<int>{1, 2, 3}));
}

TEST(CoveringTriangles, EveryTriangleThatCoversACentreIsKept) {
  // Random triangles through a random perspective: none that covers a centre may go, and most of
  // those smaller than a pixel that cover none do.
  std::uint32_t state = 99;
  auto uniform = [&](double lo, double hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<double>(state >> 8) / 16777216.0;
  };
  int covering = 0, dropped = 0, small = 0;
  for (int round = 0; round < 40; ++round) {
    Sifter s;
    for (float& r : s.rows) r = static_cast<float>(uniform(-1.0, 1.0));
    s.rows[15] = 4.0f;  // w stays well in front for these positions
    s.target.shiftX = 0.49f / kWidth;
    s.target.shiftY = -0.49f / kHeight;
    // Where each vertex lands, worked out here in double as the device's GL would in float.
    std::vector<std::array<double, 6>> screen;
    for (int t = 0; t < 200; ++t) {
      for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c) s.positions.push_back(static_cast<float>(uniform(-0.3, 0.3)));
      for (int k = 0; k < 3; ++k) s.indices.push_back(static_cast<std::uint16_t>(s.indices.size()));
    }
    for (int t = 0; t < 200; ++t) {
      std::array<double, 6> p{};
      for (int k = 0; k < 3; ++k) {
        const float* v = &s.positions[(3 * t + k) * 3];
        double out[4];
        for (int r = 0; r < 4; ++r)
          out[r] = s.rows[4 * r] * double{v[0]} + s.rows[4 * r + 1] * double{v[1]} + s.rows[4 * r + 2] * double{v[2]} +
                   s.rows[4 * r + 3];
        p[2 * k] = (out[0] / out[3] + s.target.shiftX + 1.0) * kWidth / 2.0;
        p[2 * k + 1] = (out[1] / out[3] + s.target.shiftY + 1.0) * kHeight / 2.0;
      }
      screen.push_back(p);
    }
    std::vector<int> kept = s.Kept();
    std::vector<bool> isKept(200, false);
    for (int t : kept) isKept[static_cast<std::size_t>(t)] = true;
    for (int t = 0; t < 200; ++t) {
      const auto& p = screen[static_cast<std::size_t>(t)];
      const double x[3] = {p[0], p[2], p[4]}, y[3] = {p[1], p[3], p[5]};
      const bool covers = CoversACentre(x, y);
      covering += covers;
      if (covers) {
        EXPECT_TRUE(isKept[static_cast<std::size_t>(t)]) << "round " << round << " triangle " << t;
      }
      const double w = std::max({x[0], x[1], x[2]}) - std::min({x[0], x[1], x[2]});
      const double h = std::max({y[0], y[1], y[2]}) - std::min({y[0], y[1], y[2]});
      if (!covers && w < 1.0 && h < 1.0) {
        ++small;
        dropped += !isKept[static_cast<std::size_t>(t)];
      }
    }
  }
  EXPECT_GT(covering, 500) << "the cases cover centres";
  EXPECT_GT(small, 500);
  EXPECT_GT(dropped, small * 3 / 4) << "most small ones covering nothing go";
}
