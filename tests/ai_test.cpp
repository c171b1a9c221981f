// The computer player's search, its fallback and its aiming error.
#include <gtest/gtest.h>

#include <cmath>

#include "ai/modAI.h"
#include "app/modUtil.h"
#include "tests/GameFixture.h"

using namespace kuvo;
using kuvo::testing::GameFixture;

namespace {

class ComputerPlayerTest : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    ClearTable();
    OpeningStroke = false;
    Difficulty = 0.0f;
  }
  void TearDown() override {
    Difficulty = 0.035f;
    GameFixture::TearDown();
  }
};

float Angle(const Vector3& v) { return std::atan2(v.z, v.x); }

}  // namespace

TEST_F(ComputerPlayerTest, WorkedExampleWithTwoBalls) {
  Place(0, 0.866f, -0.366f);
  Place(15, 0.5f, 0.0f);
  ChooseComputerShot();
  EXPECT_EQ(SelectedBall, 15);
  // Object 0 into pocket 0, struck by ball 15 through the ghost point (0.820, -0.320).
  EXPECT_NEAR(ComputerShot.x, 0.7071f, 1e-3);
  EXPECT_NEAR(ComputerShot.z, -0.7071f, 1e-3);
  EXPECT_NEAR(ComputerShot.y, std::sqrt(0.594f) + 0.3f, 2e-3);
  EXPECT_NEAR(ComputerShot.y, 1.071f, 2e-3);
  // The stroke power is a quarter of that: the struck ball leaves at 0.00134 units per step.
  EXPECT_NEAR(ComputerShot.y * 0.25f * 0.005f, 0.00134f, 1e-5);
}

TEST_F(ComputerPlayerTest, AimingErrorStaysWithinTheDifficulty) {
  Place(0, 0.866f, -0.366f);
  Place(15, 0.5f, 0.0f);
  const float exact = Angle(Vector3{0.7071f, 0, -0.7071f});
  float largest = 0.0f;
  Difficulty = 0.11f;  // "Novice"
  for (int seed = 0; seed < 200; ++seed) {
    SeedNoise(static_cast<float>(seed) * 13.7f);
    ChooseComputerShot();
    largest = std::max(largest, std::fabs(Angle(ComputerShot) - exact));
    ASSERT_NEAR(ComputerShot.x * ComputerShot.x + ComputerShot.z * ComputerShot.z, 1.0f, 1e-5);
  }
  EXPECT_LT(largest, 0.11f / std::sqrt(2.0f) + 0.002f);
  EXPECT_GT(largest, 0.03f);  // the error is really applied
}

TEST_F(ComputerPlayerTest, FortyFiveDegreeLimitIsStrict) {
  // 1 + dot lies on a grid of 2^-24 there, and 0.293f is an odd multiple of 2^-25, so no position
  // gives exactly the limit: find the neighbouring positions just inside and just outside it.
  const Vector3& spot = PocketSpots[4];
  auto a1At = [&](float x, Vector3& object) {
    object = Vector3{x, 0, spot.z + std::sqrt(0.35f * 0.35f - x * x)};
    Vector3 offset{0, 0, 0}, u{0, 0, 0};
    Subtract2D(offset, object, spot);
    Normalize2D(u, offset);
    return Dot2D(u, PocketDirections[4]) + 1.0f;
  };
  Vector3 inside{0, 0, 0}, outside{0, 0, 0};
  float x = 0.24f;
  while (a1At(x, inside) < 0.293f) x = std::nextafter(x, 1.0f);
  ASSERT_GT(a1At(x, outside), 0.293f);
  while (!(a1At(x, inside) < 0.293f)) x = std::nextafter(x, 0.0f);

  // A striker on the pocket's axis through the ghost point, so only a1 decides.
  auto playWith = [&](const Vector3& object) {
    Vector3 offset{0, 0, 0}, u{0, 0, 0};
    Subtract2D(offset, object, spot);
    Normalize2D(u, offset);
    Place(3, object.x, object.z);
    Place(8, object.x + 0.065f * u.x, object.z + 0.065f * u.z + 0.4f);
    SelectedBall = 3;
    ChooseComputerShot();
    return SelectedBall;
  };
  EXPECT_EQ(playWith(inside), 8);
  EXPECT_NE(playWith(outside), 8);
}

TEST_F(ComputerPlayerTest, SingleBallFallsBackToTheErrorAlone) {
  Place(4, 0.1f, 0.2f);
  SelectedBall = 15;  // off the table: the fallback repairs the selection
  Difficulty = 0.035f;
  SeedNoise(99.0f);
  ChooseComputerShot();
  EXPECT_EQ(SelectedBall, 4);
  EXPECT_FLOAT_EQ(ComputerShot.y, std::sqrt(2.0f) + 0.3f);
  SeedNoise(99.0f);
  float nx = (NextNoise() - 0.5f) * 0.035f;
  float nz = (NextNoise() - 0.5f) * 0.035f;
  float length = std::sqrt(nx * nx + nz * nz);
  EXPECT_NEAR(ComputerShot.x, nx / length, 1e-5);
  EXPECT_NEAR(ComputerShot.z, nz / length, 1e-5);
}

TEST_F(ComputerPlayerTest, BreakAlwaysStrikesBall15AtFullPower) {
  RackBalls();
  SelectedBall = 3;
  for (int k = 0; k < 20; ++k) {
    ChooseComputerShot();
    EXPECT_EQ(SelectedBall, 15);
    EXPECT_EQ(ComputerShot.y, 4.0f);
    EXPECT_LT(ComputerShot.x, -0.99f);
    EXPECT_LE(std::fabs(ComputerShot.z), 0.1f);
  }
}

TEST_F(ComputerPlayerTest, OnlyABallStrictlyBetweenBlocksThePath) {
  Place(0, 0.0f, 0.0f);
  Place(1, 0.3f, 0.064f);   // closer to the line than a diameter, between: blocks
  Place(2, -0.2f, 0.0f);    // behind the moving ball: never blocks
  Place(3, 0.7f, 0.0f);     // beyond the target point: never blocks
  float distance = -1.0f;
  EXPECT_FALSE(PathIsClear(Vector3{0.5f, 0, 0}, 0, -1, distance));
  EXPECT_FLOAT_EQ(distance, 0.5f);
  EXPECT_TRUE(PathIsClear(Vector3{0.5f, 0, 0}, 0, 1, distance));  // the excluded ball
  Balls[1].Position.z = 0.066f;  // now more than a diameter off the line
  EXPECT_TRUE(PathIsClear(Vector3{0.5f, 0, 0}, 0, -1, distance));
  Balls[1].Status = BallDropping;
  Balls[1].Position.z = 0.0f;
  EXPECT_TRUE(PathIsClear(Vector3{0.5f, 0, 0}, 0, -1, distance));  // only balls on the table block
}

namespace {

// The search written out again from its definition, on plain floats, for one combination.
struct Combination {
  float a1, d1, a2, d2, total;
  float ghostX, ghostZ;
};

Combination Score(float objectX, float objectZ, float spotX, float spotZ, float dirX, float dirZ, float strikerX,
                  float strikerZ) {
  Combination c{};
  float ux = objectX - spotX, uz = objectZ - spotZ;
  c.d1 = std::sqrt(ux * ux + uz * uz);
  ux *= 1.0f / c.d1;
  uz *= 1.0f / c.d1;
  c.a1 = ux * dirX + uz * dirZ + 1.0f;
  c.ghostX = objectX + 0.065f * ux;
  c.ghostZ = objectZ + 0.065f * uz;
  float vx = strikerX - c.ghostX, vz = strikerZ - c.ghostZ;
  c.d2 = std::sqrt(vx * vx + vz * vz);
  c.a2 = (vx * dirX + vz * dirZ) / c.d2 + 1.0f;
  c.total = 5.0f * c.a1 + c.d1 + c.d2 + 10.0f * c.a2;
  return c;
}

}  // namespace

// Four balls in a line along the long axis: each object ball has a pocket within 45 degrees and a
// clear path, but every possible striker stands across the pocket's axis (1 + dot is at least 0.34
// for each), so nothing can be potted.
TEST_F(ComputerPlayerTest, NothingPottableAimsTheSelectedBallAtTheHighestBallOnTheTable) {
  Place(2, -0.1f, 0.0f);
  Place(5, 0.1f, 0.0f);
  Place(9, -0.3f, 0.0f);
  Place(12, 0.3f, 0.0f);

  // The selection stays, and the target is ball 12, the highest index: the lowest (2) or the nearest
  // (9 from ball 2) would send ball 5 towards -x.
  SelectedBall = 5;
  ComputerShot = Vector3{0, 0, 0};
  ChooseComputerShot();
  EXPECT_EQ(SelectedBall, 5);
  EXPECT_EQ(ComputerShot.x, 1.0f);
  EXPECT_EQ(ComputerShot.z, 0.0f);
  EXPECT_EQ(ComputerShot.y, std::sqrt(2.0f) + 0.3f);

  // A selected ball that has left the table is repaired to the lowest ball still on it, which then
  // aims at ball 12 too.
  Balls[7].Status = BallOffTable;
  SelectedBall = 7;
  ComputerShot = Vector3{0, 0, 0};
  ChooseComputerShot();
  EXPECT_EQ(SelectedBall, 2);
  EXPECT_EQ(ComputerShot.x, 1.0f);
  EXPECT_EQ(ComputerShot.z, 0.0f);
  EXPECT_EQ(ComputerShot.y, std::sqrt(2.0f) + 0.3f);

  // The aiming error is drawn as for any stroke: x first, then z.
  Difficulty = 0.11f;
  SelectedBall = 5;
  SeedNoise(4321.0f);
  ChooseComputerShot();
  SeedNoise(4321.0f);
  const float ex = (NextNoise() - 0.5f) * 0.11f;
  const float ez = (NextNoise() - 0.5f) * 0.11f;
  const float length = std::sqrt((1.0f + ex) * (1.0f + ex) + ez * ez);
  EXPECT_NEAR(ComputerShot.x, (1.0f + ex) / length, 1e-6);
  EXPECT_NEAR(ComputerShot.z, ez / length, 1e-6);
  EXPECT_EQ(ComputerShot.y, std::sqrt(2.0f) + 0.3f);
}

// Object ball 1 into the far corner pocket 0, struck by ball 6 from off the pocket's axis: the only
// combination that passes every test (ball 11 blocks or stands outside every other one), with both angle
// terms well away from 0: 1 + dot = 0.199 for the object ball and 0.154 for the striker.
TEST_F(ComputerPlayerTest, OnlyShotOffBothAxesIsPlayedWithBothAngleTermsInItsPower) {
  Place(1, -0.39f, -0.27f);
  Place(6, -0.59f, -0.23f);
  Place(11, -0.89f, -0.24f);
  SelectedBall = 11;
  ChooseComputerShot();
  EXPECT_EQ(SelectedBall, 6);

  const float s = 0.70710678f;  // pocket 0 at (0.966, -0.466) opens towards (s, -s)
  const Combination c = Score(-0.39f, -0.27f, 0.966f, -0.466f, s, -s, -0.59f, -0.23f);
  EXPECT_NEAR(c.a1, 0.1990f, 1e-4);
  EXPECT_NEAR(c.a2, 0.1543f, 1e-4);
  // 5 x 0.1990 + 1.3701 + 0.1391 + 10 x 0.1543 = 4.0469; sqrt(4.0469) + 0.3 = 2.3117.
  EXPECT_NEAR(c.total, 4.0469f, 1e-3);
  EXPECT_NEAR(ComputerShot.y, std::sqrt(c.total) + 0.3f, 2e-5);
  EXPECT_NEAR(ComputerShot.y, 2.3117f, 1e-3);
  // Aimed at the ghost point (-0.4543, -0.2607) beside ball 1, on the side away from the pocket.
  const float gx = c.ghostX + 0.59f, gz = c.ghostZ + 0.23f;
  const float gl = std::sqrt(gx * gx + gz * gz);
  EXPECT_NEAR(ComputerShot.x, gx / gl, 1e-5);
  EXPECT_NEAR(ComputerShot.z, gz / gl, 1e-5);
  EXPECT_NEAR(c.ghostX, -0.4543f, 1e-4);
  EXPECT_NEAR(c.ghostZ, -0.2607f, 1e-4);
}
