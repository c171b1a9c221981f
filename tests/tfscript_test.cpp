// The texture layer engine: worked edge cases of every operation, the floating-point error, and the fast
// operations held bit for bit to their plain definitions on random stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "app/modUtil.h"
#include "platform/Errors.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"
#include "tests/oracles/modTFScript_reference.h"

using namespace kuvo;

namespace {

float& Cell(int layer, int y, int x) { return LayerCells(layer)[y * LayerSize + x]; }
std::uint8_t* Pixel(int plane, int y, int x) { return PlanePixels(plane) + (y * LayerSize + x) * 4; }

void FillRandom(int layer, std::mt19937& rng, float lo = -2.0f, float hi = 2.0f) {
  std::uniform_real_distribution<float> value(lo, hi);
  for (int i = 0; i < LayerSize * LayerSize; ++i) LayerCells(layer)[i] = value(rng);
}

TEST(LayerStore, InitLayersAllocatesZeroedGridsAndSetsTheSizes) {
  InitLayers(16, 3, 2);
  EXPECT_EQ(LayerSize, 16);
  EXPECT_EQ(LayerMask, 15);
  EXPECT_EQ(LayerHalf, 8);
  ASSERT_EQ(FloatLayers.size(), 3u * 256);
  ASSERT_EQ(ColourPlanes.size(), 2u * 256 * 4);
  FillLayer(2, 5.0f);
  FillPlane(1, 0x123456);
  InitLayers(8, 0, 1);
  EXPECT_TRUE(FloatLayers.empty());
  ASSERT_EQ(ColourPlanes.size(), 8u * 8 * 4);
  for (std::uint8_t b : ColourPlanes) ASSERT_EQ(b, 0);
}

TEST(LayerStore, FillsReachEveryRowAndNeverWriteAlpha) {
  InitLayers(32, 1, 1);
  FillLayer(0, -1.5f);
  for (float v : FloatLayers) ASSERT_EQ(v, -1.5f);
  FillPlane(0, 0x00A1B2C3);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t* p = Pixel(0, y, x);
      ASSERT_EQ(p[0], 0xC3);
      ASSERT_EQ(p[1], 0xB2);
      ASSERT_EQ(p[2], 0xA1);
      ASSERT_EQ(p[3], 0);
    }
}

TEST(ByteHelpers, LerpByteRoundsHalvesToEvenAndClamps) {
  EXPECT_EQ(LerpByte(0, 255, 0.5f), 128);  // 127.5 goes to the even neighbour
  EXPECT_EQ(LerpByte(0, 255, 0.0f), 0);
  EXPECT_EQ(LerpByte(0, 255, 1.0f), 255);
  EXPECT_EQ(LerpByte(100, 50, 3.0f), 0);  // -50 clamped
  EXPECT_EQ(LerpByte(0, 255, 2.0f), 255);
  EXPECT_EQ(LerpByte(1, 2, 0.5f), 2);  // 1.5 -> 2
  EXPECT_EQ(LerpByte(2, 3, 0.5f), 2);  // 2.5 -> 2
  EXPECT_EQ(SaturatingAdd(200, 55), 255);
  EXPECT_EQ(SaturatingAdd(200, 56), 255);
  EXPECT_EQ(SaturatingAdd(100, 54), 154);
}

TEST(BoxBlur, WidthBelowHalfACellDoesNothingEvenToAnotherLayer) {
  InitLayers(64, 2, 0);
  std::mt19937 rng(1);
  FillRandom(0, rng);
  FillRandom(1, rng);
  std::vector<float> before = FloatLayers;
  BlurHorizontal(1, 0, 0.01f);  // 0.01 x 64 x 0.5 = 0.32 rounds to d = 0
  BlurVertical(1, 0, 0.015f);
  BlurHorizontal(0, 0, 0.01f);
  EXPECT_EQ(FloatLayers, before);
}

TEST(BoxBlur, RadiusOneSpreadsASpikeOverThreeCellsAcrossTheWrap) {
  InitLayers(16, 2, 0);
  Cell(0, 3, 0) = 1.0f;
  BlurHorizontal(1, 0, 0.125f);  // d = round(0.125 x 16 x 0.5) = 1
  const float third = static_cast<float>(1.0 / 3.0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool lit = y == 3 && (x == 15 || x == 0 || x == 1);
      ASSERT_EQ(Cell(1, y, x), lit ? third : 0.0f) << y << "," << x;
    }
  // The same along y, in place, across the top edge.
  FillLayer(0, 0.0f);
  Cell(0, 15, 6) = 1.0f;
  BlurVertical(0, 0, 0.125f);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool lit = x == 6 && (y == 14 || y == 15 || y == 0);
      ASSERT_EQ(Cell(0, y, x), lit ? third : 0.0f) << y << "," << x;
    }
}

TEST(Shapes, EllipseOfRadiusZeroChangesNothing) {
  InitLayers(64, 1, 0);
  std::mt19937 rng(2);
  FillRandom(0, rng, 0.5f, 1.0f);
  std::vector<float> before = FloatLayers;
  AddEllipse(0, 0.3f, 0.6f, 0.001f, 0.001f, 1.0f);  // R = round(0.064) = 0: one empty span
  EXPECT_EQ(FloatLayers, before);
}

TEST(Shapes, CircleRowsHoldTwoWMinusOneCellsAroundTheCentre) {
  InitLayers(64, 1, 0);
  AddEllipse(0, 0.5f, 0.5f, 0.25f, 0.25f, 2.0f);  // R = 16 cells, centre (32, 32)
  for (int y = 0; y < 64; ++y) {
    int dy = y - 32;
    int w = std::abs(dy) <= 16 ? static_cast<int>(std::nearbyint(std::sqrt(256.0 - dy * dy))) : 0;
    for (int x = 0; x < 64; ++x) {
      bool inside = std::abs(x - 32) < w;  // 2w - 1 cells, strictly between 32 - w and 32 + w
      ASSERT_EQ(Cell(0, y, x), inside ? 2.0f : 0.0f) << y << "," << x;
    }
  }
}

TEST(Shapes, WideEllipseWrapsEveryRowAndAddsPerWrap) {
  InitLayers(16, 1, 0);
  // R = 4, k = 3: the middle row's span is 2 x 12 = 24 cells: it covers the row once (wraps = 1)
  // and the cells strictly between 8 - 12 and 8 + 12 (that is, 12 < x or x < 4 after wrapping) again.
  AddEllipse(0, 0.5f, 0.5f, 0.75f, 0.25f, 1.0f);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(Cell(0, 8, x), (x > 12 || x < 4) ? 2.0f : 1.0f) << x;
}

TEST(Shapes, RectanglesWrapAndOverlapThemselves) {
  InitLayers(16, 1, 0);
  AddRect(0, 0.9f, 0.25f, 0.2f, 0.125f, 0.5f);  // columns 14, 15, 0; rows 4, 5
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool inside = (y == 4 || y == 5) && (x == 14 || x == 15 || x == 0);
      ASSERT_EQ(Cell(0, y, x), inside ? 0.5f : 0.0f) << y << "," << x;
    }
  InitLayers(8, 1, 0);
  AddRect(0, 0.0f, 0.875f, 1.5f, 0.25f, 1.0f);  // 12 columns over 8: columns 0-3 twice; rows 7 and 0
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(Cell(0, 7, x), x < 4 ? 2.0f : 1.0f);
    EXPECT_EQ(Cell(0, 0, x), x < 4 ? 2.0f : 1.0f);
    EXPECT_EQ(Cell(0, 3, x), 0.0f);
  }
}

TEST(CellOperations, NormalizeRangeMapsTheExtremesAndFlattensAConstant) {
  InitLayers(8, 2, 0);
  FillLayer(0, 0.7f);
  NormalizeRange(1, 0, 0.25f, 9.0f);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(LayerCells(1)[i], 0.25f);

  FillLayer(0, 1.0f);
  Cell(0, 0, 0) = -1.0f;  // the minimum in the very first cell
  Cell(0, 5, 2) = 3.0f;
  Cell(0, 7, 7) = 0.0f;
  NormalizeRange(0, 0, 0.0f, 1.0f);
  EXPECT_EQ(Cell(0, 0, 0), 0.0f);
  EXPECT_EQ(Cell(0, 1, 1), 0.5f);
  EXPECT_EQ(Cell(0, 5, 2), 1.0f);
  EXPECT_EQ(Cell(0, 7, 7), 0.25f);
}

TEST(CellOperations, ShiftMovesByTheFractionalPartOnly) {
  InitLayers(16, 2, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) Cell(0, y, x) = static_cast<float>(100 * y + x);
  ShiftLayer(1, 0, 1.25f, 0.0f);  // round(0.25 x 16) = 4 columns
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Cell(1, y, x), Cell(0, y, (x + 4) % 16));
  ShiftLayer(1, 0, 1.0f, -0.5f);  // frac(-0.5) = 0.5: 8 rows, no columns
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Cell(1, y, x), Cell(0, (y + 8) % 16, x));
  std::vector<float> source(LayerCells(0), LayerCells(0) + 256);
  ShiftLayer(0, 0, 0.0625f, 0.125f);  // in place: 1 column, 2 rows
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Cell(0, y, x), source[((y + 2) % 16) * 16 + (x + 1) % 16]);
}

TEST(CellOperations, HalveAndTileAveragesPairsIntoBothHalves) {
  InitLayers(8, 2, 0);
  for (int x = 0; x < 8; ++x) Cell(0, 2, x) = static_cast<float>(x * x);
  HalveAndTile(0, 0);
  const float expected[4] = {0.5f, 6.5f, 20.5f, 42.5f};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(Cell(0, 2, j), expected[j]);
    EXPECT_EQ(Cell(0, 2, 4 + j), expected[j]);
  }
}

TEST(CellOperations, RemoveColumnMeansLeavesEachColumnNearZeroMean) {
  InitLayers(32, 1, 0);
  std::mt19937 rng(3);
  FillRandom(0, rng, 5.0f, 9.0f);
  RemoveColumnMeans(0, 0);
  for (int x = 0; x < 32; ++x) {
    double sum = 0;
    for (int y = 0; y < 32; ++y) sum += Cell(0, y, x);
    EXPECT_NEAR(sum / 32, 0.0, 1e-5);
  }
}

// A 4 x 4 layer written row by row, the top row first.
void SetLayer(int layer, const float (&cells)[16]) { std::memcpy(LayerCells(layer), cells, sizeof cells); }

// The worked values are written to seven digits.
void ExpectLayer(int layer, const float (&expected)[16]) {
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(LayerCells(layer)[i], expected[i], 1e-6 * std::max(1.0f, std::fabs(expected[i])))
        << "row " << i / 4 << ", column " << i % 4;
}

// Every cell differs from its neighbours, so a wrong neighbour, sign or wrap shows.
constexpr float kSlopes[16] = {0, 1, 4, 2,  //
                               3, 0, 1, 5,  //
                               2, 6, 0, 1,  //
                               1, 2, 3, 0};

TEST(NeighbourOperations, EmbossOnAFourByFourLayerAgainstWorkedValues) {
  InitLayers(4, 3, 0);
  SetLayer(0, kSlopes);
  // kx x N = 0.25 x 4 = 1 and ky x N = -0.5 x 4 = -2:
  // dst = (right - left) x 1 + (below - above) x -2, neighbours wrapped.
  //   row 0, column 0: (1 - 2) x 1 + (3 - 1) x -2 = -1 - 4 = -5    (left and above wrap)
  //   row 0, column 3: (0 - 4) x 1 + (5 - 0) x -2 = -4 - 10 = -14  (right and above wrap)
  //   row 1, column 1: (1 - 3) x 1 + (6 - 1) x -2 = -2 - 10 = -12
  //   row 3, column 2: (0 - 2) x 1 + (4 - 0) x -2 = -2 - 8 = -10   (below wraps to row 0)
  const float embossed[16] = {-5, 8,   5,  -14,  //
                              -9, -12, 13, 4,    //
                              9,  -6,  -9, 12,   //
                              6,  12,  -10, -4};
  Emboss(1, 0, 0.25f, -0.5f);
  ExpectLayer(1, embossed);
  // In place the neighbours are still the source's.
  SetLayer(2, kSlopes);
  Emboss(2, 2, 0.25f, -0.5f);
  ExpectLayer(2, embossed);
}

TEST(NeighbourOperations, GradientMagnitudeOnAFourByFourLayerAgainstWorkedValues) {
  InitLayers(4, 2, 0);
  SetLayer(0, kSlopes);
  // gx = (right - left) x 4, gy = (below - above) x 4, dst = sqrt(gx^2 + gy^2):
  //   row 0, column 0: gx = (1 - 2) x 4 = -4,  gy = (3 - 1) x 4 = 8,    sqrt(16 + 64) = 8.944272
  //   row 0, column 3: gx = (0 - 4) x 4 = -16, gy = (5 - 0) x 4 = 20,   sqrt(256 + 400) = 25.612497
  //   row 2, column 1: gx = (0 - 2) x 4 = -8,  gy = (2 - 0) x 4 = 8,    sqrt(64 + 64) = 11.313708
  //   row 1, column 2: gx = (5 - 0) x 4 = 20,  gy = (0 - 4) x 4 = -16,  sqrt(400 + 256) = 25.612497
  //   row 3, column 1: gx = (3 - 1) x 4 = 8,   gy = (1 - 6) x 4 = -20,  sqrt(64 + 400) = 21.540659
  const float gradient[16] = {8.944272f,  17.888544f, 8.944272f,  25.612497f,  //
                              21.540659f, 21.540659f, 25.612497f, 8.944272f,   //
                              21.540659f, 11.313708f, 21.540659f, 21.540659f,  //
                              11.313708f, 21.540659f, 17.888544f, 8.944272f};
  GradientMagnitude(1, 0);
  ExpectLayer(1, gradient);
  GradientMagnitude(0, 0);
  ExpectLayer(0, gradient);
}

TEST(CellOperations, SineBellSumAndScaleOnAFourByFourLayerAgainstWorkedValues) {
  InitLayers(4, 3, 0);
  const float angles[16] = {0.0f, 0.5235988f, 1.5707964f, -1.5707964f,  //
                            1.0f, 2.0f,       -0.25f,     3.0f,         //
                            0.5f, -1.0f,      -2.0f,      7.0f,         //
                            4.0f, 0.0f,       1.0f,       5.0f};
  SetLayer(0, angles);
  // sin in radians: sin(pi/6) = 0.5, sin(pi/2) = 1, sin 1 = 0.841471, sin 2 = 0.909297,
  // sin(-0.25) = -0.247404, sin 3 = 0.141120, sin 0.5 = 0.479426, sin 7 = 0.656987, sin 4 = -0.756802,
  // sin 5 = -0.958924.
  SineLayer(1, 0);
  ExpectLayer(1, {0.0f, 0.5f, 1.0f, -1.0f,                     //
                  0.841471f, 0.909297f, -0.247404f, 0.141120f,  //
                  0.479426f, -0.841471f, -0.909297f, 0.656987f,  //
                  -0.756802f, 0.0f, 0.841471f, -0.958924f});
  // 1 / (v^2 + 1): 0 -> 1, 1 and -1 -> 1/2, 2 and -2 -> 1/5, 3 -> 1/10, 0.5 -> 1/1.25 = 0.8,
  // 7 -> 1/50 = 0.02, 4 -> 1/17 = 0.0588235, 5 -> 1/26 = 0.0384615, -0.25 -> 1/1.0625 = 0.9411765,
  // pi/2 -> 1/3.4674013 = 0.2884004, pi/6 -> 1/1.2741557 = 0.7848334.
  BellLayer(2, 0);
  ExpectLayer(2, {1.0f, 0.7848334f, 0.2884004f, 0.2884004f,  //
                  0.5f, 0.2f, 0.9411765f, 0.1f,               //
                  0.8f, 0.5f, 0.2f, 0.02f,                    //
                  0.0588235f, 1.0f, 0.5f, 0.0384615f});
  // The sum of the two, cell by cell: sin v + 1 / (v^2 + 1).
  //   row 1: 0.841471 + 0.5 = 1.341471, 0.909297 + 0.2 = 1.109297, -0.247404 + 0.941177 = 0.693773,
  //          0.141120 + 0.1 = 0.241120
  AddLayers(0, 1, 2);
  ExpectLayer(0, {1.0f, 1.2848334f, 1.2884004f, -0.7115996f,    //
                  1.341471f, 1.109297f, 0.6937725f, 0.241120f,   //
                  1.279426f, -0.341471f, -0.709297f, 0.676987f,  //
                  -0.6979785f, 1.0f, 1.341471f, -0.9204625f});
  // dst = src x a + b with a = -0.5, b = 3: 1 -> 2.5, 0.5 -> 2.75, -1 -> 3.5, 0.2 -> 2.9.
  ScaleOffset(0, 2, -0.5f, 3.0f);
  ExpectLayer(0, {2.5f, 2.6075833f, 2.8557998f, 2.8557998f,  //
                  2.75f, 2.9f, 2.5294118f, 2.95f,             //
                  2.6f, 2.75f, 2.9f, 2.99f,                   //
                  2.9705882f, 2.5f, 2.75f, 2.9807692f});
}

TEST(Planes, ColourMapSaturatesPerChannel) {
  InitLayers(4, 1, 1);
  FillLayer(0, 6.0f);
  // 6 x 0x29 = 246, 6 x 0x2A = 252, 6 x 0x2B = 258: only the red byte, above 42, saturates.
  ColourMap(0, 0, 0x000000, 0x2B2A29);
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t* p = PlanePixels(0) + 4 * i;
    ASSERT_EQ(p[0], 246);
    ASSERT_EQ(p[1], 252);
    ASSERT_EQ(p[2], 255);
    ASSERT_EQ(p[3], 0);
  }
  FillLayer(0, -0.5f);
  ColourMap(0, 0, 0x102030, 0xFFFFFF);  // 1.5 a - 0.5 x 255 is below 0 for every channel
  for (int c = 0; c < 4; ++c) EXPECT_EQ(PlanePixels(0)[c], 0);
}

TEST(Planes, BlendAndAddPlanesWorkPerChannel) {
  InitLayers(4, 1, 3);
  FillPlane(0, 0x0000FF);
  FillPlane(1, 0xFF0000);
  FillLayer(0, 0.25f);
  BlendPlanes(2, 0, 1, 0);
  EXPECT_EQ(Pixel(2, 1, 1)[0], 191);  // 0.75 x 255 = 191.25
  EXPECT_EQ(Pixel(2, 1, 1)[1], 0);
  EXPECT_EQ(Pixel(2, 1, 1)[2], 64);  // 63.75
  AddPlanes(2, 2, 2);
  EXPECT_EQ(Pixel(2, 3, 0)[0], 255);
  EXPECT_EQ(Pixel(2, 3, 0)[2], 128);
  EXPECT_EQ(Pixel(2, 3, 0)[3], 0);
}

TEST(Planes, NormalMapOfEqualRowsIsNeutralInGreen) {
  InitLayers(16, 1, 1);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) Cell(0, y, x) = static_cast<float>(x < 8 ? x : 16 - x);  // rises then falls
  NormalMap(0, 0, 1.0f);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* p = Pixel(0, y, x);
      ASSERT_EQ(p[1], 128);  // 127.5 rounds to the even 128
      ASSERT_EQ(p[0], 223 - std::abs(p[2] - 128) / 4);
      if (x >= 1 && x <= 6) {
        ASSERT_LT(p[2], 128);  // where the layer rises with x
      }
      if (x >= 9 && x <= 14) {
        ASSERT_GT(p[2], 128);
      }
    }
  // The steepest slope (2 over two cells) maps to strength x 127.5 from neutral: 0 and 255.
  EXPECT_EQ(Pixel(0, 0, 3)[2], 0);
  EXPECT_EQ(Pixel(0, 0, 12)[2], 255);
}

TEST(Noise, FractalNoiseIsReproducibleAndStartsFromTheSeededGenerator) {
  InitLayers(64, 2, 0);
  FractalNoise(0, 0.3f, 0.5f, 3.0f);
  SeedNoise(99.0f);
  FractalNoise(1, 0.3f, 0.5f, 3.0f);
  EXPECT_EQ(std::memcmp(LayerCells(0), LayerCells(1), 64 * 64 * sizeof(float)), 0);

  // With persistence 0 every later octave is zero, so the lattice points keep the first octave's draws.
  FractalNoise(0, 0.3f, 0.0f, 3.0f);
  SeedNoise(3.0f);
  const double amplitude = static_cast<float>(static_cast<double>(0.3f) + 0.01);
  const float first = static_cast<float>((static_cast<double>(NextNoise()) - 0.5) * amplitude);
  const float second = static_cast<float>((static_cast<double>(NextNoise()) - 0.5) * amplitude);
  EXPECT_EQ(Cell(0, 0, 0), first);
  EXPECT_EQ(Cell(0, 0, 32), second);
}

TEST(Noise, FractalNoiseDrawsEveryLatticeOfEveryOctave) {
  // 4 + 16 + ... + 512^2 = 349524 draws for N = 512; the generator is left after the last one.
  InitLayers(512, 1, 0);
  FractalNoise(0, 0.3f, 0.4f, 5.0f);
  float after = NextNoise();
  SeedNoise(5.0f);
  for (int i = 0; i < 349524; ++i) NextNoise();
  EXPECT_EQ(after, NextNoise());
}

TEST(FloatingPointError, RaisedForAFlatNormalMapAndForOverflow) {
  InitLayers(8, 1, 1);
  FillLayer(0, 2.0f);
  EXPECT_THROW(NormalMap(0, 0, 1.0f), FloatingPointError);
  EXPECT_THROW(ScaleOffset(0, 0, 3e38f, 0.0f), FloatingPointError);
  FillLayer(0, std::numeric_limits<float>::quiet_NaN());
  EXPECT_THROW(ColourMap(0, 0, 0, 0xFFFFFF), FloatingPointError);
  EXPECT_THROW(AddEllipse(0, 0.5f, 0.5f, 0.1f, 0.0f, 1.0f), FloatingPointError);  // rx / 0
  // Sizes of more than 2^31 cells are refused as invalid before any cell is touched.
  FillLayer(0, 1.0f);
  EXPECT_THROW(AddRect(0, 0.0f, 0.0f, 1e20f, 0.5f, 1.0f), FloatingPointError);
  EXPECT_THROW(AddEllipse(0, 0.5f, 0.5f, 1.0f, 1e30f, 1.0f), FloatingPointError);
  EXPECT_THROW(BlurHorizontal(0, 0, std::numeric_limits<float>::infinity()), FloatingPointError);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(LayerCells(0)[i], 1.0f);
  // A fault left over from before an operation is not blamed on it.
  FillLayer(0, 1.0f);
  volatile float big = 3e38f;
  volatile float overflowed = big * big;
  (void)overflowed;
  EXPECT_NO_THROW(ScaleOffset(0, 0, 2.0f, 1.0f));
}

TEST(FloatingPointError, RaisedFromTheSecondThreadsHalf) {
  InitLayers(512, 1, 0);
  Cell(0, 500, 7) = 3e38f;  // only in the rows the second thread takes
  EXPECT_THROW(ScaleOffset(0, 0, 10.0f, 0.0f), FloatingPointError);
  Cell(0, 500, 7) = 3e38f;  // the failed operation left infinity there, which a gradient passes on quietly
  EXPECT_THROW(GradientMagnitude(0, 0), FloatingPointError);
}

// ---- The fast operations against their plain definitions ----

struct Snapshot {
  std::vector<float> layers;
  std::vector<std::uint8_t> planes;
  bool threw = false;
};

Snapshot Take(bool threw) { return Snapshot{FloatLayers, ColourPlanes, threw}; }

void Restore(const Snapshot& s) {
  FloatLayers = s.layers;
  ColourPlanes = s.planes;
}

Snapshot Run(const std::function<void()>& op) {
  bool threw = false;
  try {
    op();
  } catch (const FloatingPointError&) {
    threw = true;
  }
  return Take(threw);
}

void ExpectSameBits(const char* what, const std::function<void()>& fast, const std::function<void()>& plain) {
  Snapshot before = Take(false);
  SeedNoise(17.0f);
  Snapshot expected = Run(plain);
  float expectedNext = NextNoise();
  Restore(before);
  SeedNoise(17.0f);
  Snapshot got = Run(fast);
  EXPECT_EQ(got.threw, expected.threw) << what;
  EXPECT_EQ(NextNoise(), expectedNext) << what;
  if (expected.threw) return;
  ASSERT_EQ(got.layers.size(), expected.layers.size());
  EXPECT_EQ(std::memcmp(got.layers.data(), expected.layers.data(), got.layers.size() * sizeof(float)), 0)
      << what << " at N = " << LayerSize;
  EXPECT_EQ(got.planes, expected.planes) << what << " at N = " << LayerSize;
}

class FastMatchesPlain : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    savedThreshold_ = tfs::MinCellsToSplit;
    // Sizes below 64 are split over two threads too, so the split is checked on small grids.
    if (GetParam() <= 64) tfs::MinCellsToSplit = 0;
  }
  void TearDown() override { tfs::MinCellsToSplit = savedThreshold_; }

  std::size_t savedThreshold_ = 0;
};

void ExpectEveryOperationMatches(int n) {
  std::mt19937 rng(1000 + n);
  std::uniform_real_distribution<float> fraction(-1.5f, 2.5f);
  std::uniform_real_distribution<float> small(0.0f, 0.6f);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 3; ++round) {
    InitLayers(n, 3, 3);
    for (int l = 0; l < 3; ++l) FillRandom(l, rng);
    for (std::uint8_t& b : ColourPlanes) b = static_cast<std::uint8_t>(byte(rng));
    // A few exact zeros of both signs and repeated values, where orderings and signs could slip.
    LayerCells(0)[0] = -0.0f;
    LayerCells(0)[1] = 0.0f;
    LayerCells(1)[n] = LayerCells(1)[n + 1];

    const float a = fraction(rng), b = fraction(rng), c = fraction(rng), d = fraction(rng);
    const float w = small(rng), v = fraction(rng);
    ExpectSameBits("FillLayer", [&] { FillLayer(1, v); }, [&] { reference::FillLayer(1, v); });
    ExpectSameBits("AddEllipse", [&] { AddEllipse(0, a, b, c, w + 0.01f, v); },
                   [&] { reference::AddEllipse(0, a, b, c, w + 0.01f, v); });
    ExpectSameBits("AddEllipse huge", [&] { AddEllipse(1, a, b, 3.0f * c, 2.0f + 3.0f * w, v); },
                   [&] { reference::AddEllipse(1, a, b, 3.0f * c, 2.0f + 3.0f * w, v); });
    ExpectSameBits("AddRect", [&] { AddRect(2, a, b, 1.2f * w, 2.5f * w, v); },
                   [&] { reference::AddRect(2, a, b, 1.2f * w, 2.5f * w, v); });
    ExpectSameBits("FractalNoise", [&] { FractalNoise(1, w, 0.3f + w, a); },
                   [&] { reference::FractalNoise(1, w, 0.3f + w, a); });
    ExpectSameBits("HalveAndTile", [&] { HalveAndTile(1, 0); }, [&] { reference::HalveAndTile(1, 0); });
    ExpectSameBits("HalveAndTile in place", [&] { HalveAndTile(0, 0); }, [&] { reference::HalveAndTile(0, 0); });
    ExpectSameBits("ShiftLayer", [&] { ShiftLayer(2, 0, a, b); }, [&] { reference::ShiftLayer(2, 0, a, b); });
    ExpectSameBits("ShiftLayer in place", [&] { ShiftLayer(0, 0, c, d); }, [&] { reference::ShiftLayer(0, 0, c, d); });
    ExpectSameBits("AddLayers", [&] { AddLayers(2, 0, 1); }, [&] { reference::AddLayers(2, 0, 1); });
    for (float width : {w, 2.0f * w, 0.9f + w, 2.0f / static_cast<float>(n)}) {
      ExpectSameBits("BlurHorizontal", [&] { BlurHorizontal(1, 0, width); },
                     [&] { reference::BlurHorizontal(1, 0, width); });
      ExpectSameBits("BlurHorizontal in place", [&] { BlurHorizontal(0, 0, width); },
                     [&] { reference::BlurHorizontal(0, 0, width); });
      ExpectSameBits("BlurVertical", [&] { BlurVertical(1, 2, width); }, [&] { reference::BlurVertical(1, 2, width); });
      ExpectSameBits("BlurVertical in place", [&] { BlurVertical(2, 2, width); },
                     [&] { reference::BlurVertical(2, 2, width); });
    }
    ExpectSameBits("Emboss", [&] { Emboss(1, 0, a, b); }, [&] { reference::Emboss(1, 0, a, b); });
    ExpectSameBits("Emboss in place", [&] { Emboss(0, 0, c, d); }, [&] { reference::Emboss(0, 0, c, d); });
    ExpectSameBits("GradientMagnitude", [&] { GradientMagnitude(2, 1); }, [&] { reference::GradientMagnitude(2, 1); });
    ExpectSameBits("GradientMagnitude in place", [&] { GradientMagnitude(1, 1); },
                   [&] { reference::GradientMagnitude(1, 1); });
    ExpectSameBits("ScaleOffset", [&] { ScaleOffset(2, 1, a, b); }, [&] { reference::ScaleOffset(2, 1, a, b); });
    ExpectSameBits("SineLayer", [&] { SineLayer(2, 1); }, [&] { reference::SineLayer(2, 1); });
    ExpectSameBits("BellLayer", [&] { BellLayer(1, 1); }, [&] { reference::BellLayer(1, 1); });
    ExpectSameBits("NormalizeRange", [&] { NormalizeRange(0, 0, a, b); },
                   [&] { reference::NormalizeRange(0, 0, a, b); });
    ExpectSameBits("RemoveColumnMeans", [&] { RemoveColumnMeans(2, 0); }, [&] { reference::RemoveColumnMeans(2, 0); });
    // Ramps that reach past both ends of the byte range, so rounding and clamping are both exercised.
    ExpectSameBits("ColourMap", [&] { ColourMap(0, 2, 0x3080F0, 0xA01005); },
                   [&] { reference::ColourMap(0, 2, 0x3080F0, 0xA01005); });
    ExpectSameBits("BlendPlanes", [&] { BlendPlanes(1, 0, 2, 1); }, [&] { reference::BlendPlanes(1, 0, 2, 1); });
    ExpectSameBits("BlendPlanes in place", [&] { BlendPlanes(2, 2, 0, 0); },
                   [&] { reference::BlendPlanes(2, 2, 0, 0); });
    ExpectSameBits("AddPlanes", [&] { AddPlanes(2, 0, 1); }, [&] { reference::AddPlanes(2, 0, 1); });
    ExpectSameBits("FillPlane", [&] { FillPlane(1, 0x7F01FE); }, [&] { reference::FillPlane(1, 0x7F01FE); });
    ExpectSameBits("NormalMap", [&] { NormalMap(0, 1, 0.5f + w); }, [&] { reference::NormalMap(0, 1, 0.5f + w); });
    ExpectSameBits(
        "NormalMap flat",
        [&] {
          FillLayer(0, 1.0f);
          NormalMap(0, 0, 1.0f);
        },
        [&] {
          reference::FillLayer(0, 1.0f);
          reference::NormalMap(0, 0, 1.0f);
        });
  }
}

TEST_P(FastMatchesPlain, EveryOperationOnRandomStores) { ExpectEveryOperationMatches(GetParam()); }

// A system that refuses the helper thread: the split's ranges then run one after the other here.
class FastMatchesPlainWithoutHelper : public FastMatchesPlain {
 protected:
  void SetUp() override {
    FastMatchesPlain::SetUp();
    tfs::MinCellsToSplit = 0;
    tfs::RefuseHelperThreads = true;
  }
  void TearDown() override {
    tfs::RefuseHelperThreads = false;
    FastMatchesPlain::TearDown();
  }
};

TEST_P(FastMatchesPlainWithoutHelper, EveryOperationOnRandomStores) { ExpectEveryOperationMatches(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Sizes, FastMatchesPlain, ::testing::Values(2, 4, 8, 16, 64, 256, 512));
INSTANTIATE_TEST_SUITE_P(Sizes, FastMatchesPlainWithoutHelper, ::testing::Values(4, 16, 64));

// Positions, sizes, shifts and blur radii at exact half cells: at 2.5 halves to even give 2 where halves up
// give 3, at 3.5 they give 4 where truncation gives 3, so each rounding rule lands on other cells.
TEST(FastMatchesPlainValues, CellRoundingAtHalves) {
  const int n = 64;
  InitLayers(n, 3, 1);
  const float k = 1.0f / static_cast<float>(n);
  for (float half : {2.5f, 3.5f}) {
    SCOPED_TRACE(::testing::Message() << "at " << half << " cells");
    for (int l = 0; l < 3; ++l)
      for (int i = 0; i < n * n; ++i) LayerCells(l)[i] = static_cast<float>((i * 37 + l) % 101) / 50.0f;
    const float at = half * k, size = (half + 6.0f) * k;
    ExpectSameBits("AddRect", [&] { AddRect(0, at, at, size, size, 1.0f); },
                   [&] { reference::AddRect(0, at, at, size, size, 1.0f); });
    ExpectSameBits("AddEllipse", [&] { AddEllipse(1, at + 0.25f, at + 0.5f, size, size, 1.0f); },
                   [&] { reference::AddEllipse(1, at + 0.25f, at + 0.5f, size, size, 1.0f); });
    ExpectSameBits("ShiftLayer", [&] { ShiftLayer(2, 0, at, at + 0.5f); },
                   [&] { reference::ShiftLayer(2, 0, at, at + 0.5f); });
    ExpectSameBits("BlurHorizontal", [&] { BlurHorizontal(1, 0, 2.0f * at); },
                   [&] { reference::BlurHorizontal(1, 0, 2.0f * at); });
    ExpectSameBits("BlurVertical", [&] { BlurVertical(2, 1, 2.0f * at); },
                   [&] { reference::BlurVertical(2, 1, 2.0f * at); });
  }
}

TEST(FastMatchesPlainValues, ByteRoundingAtEveryHalf) {
  // Ramps of t landing exactly on .5 steps for every byte pair of a few colours.
  InitLayers(256, 1, 2);
  for (int i = 0; i < 256 * 256; ++i) LayerCells(0)[i] = static_cast<float>(i % 1021) / 510.0f - 0.5f;
  ExpectSameBits("ColourMap halves", [&] { ColourMap(0, 0, 0x00FF01, 0xFF00FE); },
                 [&] { reference::ColourMap(0, 0, 0x00FF01, 0xFF00FE); });
  for (int i = 0; i < 256 * 256 * 4; ++i) ColourPlanes[i] = static_cast<std::uint8_t>(i * 7);
  ExpectSameBits("BlendPlanes halves", [&] { BlendPlanes(1, 0, 1, 0); }, [&] { reference::BlendPlanes(1, 0, 1, 0); });
}

}  // namespace
