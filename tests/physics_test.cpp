// The 1 ms physics step: friction, rolling, collisions, cushions and the drop into a pocket.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/GameFixture.h"

using namespace kuvo;
using kuvo::testing::GameFixture;

namespace {

class PhysicsTest : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    ClearTable();
    BallsAtRest = false;  // a stroke is in progress
    StrokeContact = false;
  }
};

// The smallest separation along x whose float square is not below the contact distance squared.
float FirstSeparationWithoutContact() {
  float d = 0.065f;
  while (d * d < 0.004225f) d = std::nextafter(d, 1.0f);
  while (std::nextafter(d, 0.0f) * std::nextafter(d, 0.0f) >= 0.004225f) d = std::nextafter(d, 0.0f);
  return d;
}

}  // namespace

TEST_F(PhysicsTest, WorkedExampleAfterOneStep) {
  Place(0, 0.0f, 0.0f, {0.002f, 0, 0});
  StepPhysics();
  EXPECT_EQ(Balls[0].Position.x, 0.002f);
  EXPECT_FLOAT_EQ(Balls[0].RollVelocity.x, 0.00006f);
  EXPECT_FLOAT_EQ(Balls[0].Velocity.x, 0.0019939251f);
  EXPECT_EQ(Balls[0].Velocity.z, 0.0f);
}

TEST_F(PhysicsTest, StruckBallSettlesAtTenEleventhsOfItsSpeed) {
  Place(0, -0.8f, 0.0f, {0.002f, 0, 0});
  for (int step = 0; step < 500; ++step) StepPhysics();
  // The initial slip has decayed by 0.967 per step. 10 Velocity + RollVelocity loses ten times the
  // rolling resistance per step, so the rolling ball keeps 10/11 of what is left.
  // The resistance also keeps a small steady slip that friction balances.
  const double slip = -7.5e-8 / 0.033;
  EXPECT_NEAR(Balls[0].Velocity.x - Balls[0].RollVelocity.x, slip, 1e-9);
  EXPECT_NEAR(Balls[0].Velocity.x, (10 * (0.002 - 500 * 7.5e-8) + slip) / 11, 2e-8);  // float rounding over 500 steps
  EXPECT_EQ(Balls[0].Status, BallOnTable);
}

TEST_F(PhysicsTest, HeadOnCollisionExchangesVelocities) {
  Place(0, 0.0f, 0.0f, {0.001f, 0, 0});
  Balls[0].RollVelocity = {0.001f, 0, 0};
  Place(1, 0.064f, 0.0f);
  StepPhysics();
  EXPECT_TRUE(StrokeContact);
  EXPECT_EQ(Balls[0].Velocity.x, 0.0f);
  EXPECT_FLOAT_EQ(Balls[1].Velocity.x, 0.001f - 7.5e-8f);
  // Collisions change Velocity only: the stopped ball keeps its roll and is pulled forward again.
  EXPECT_EQ(Balls[0].RollVelocity.x, 0.001f);
  StepPhysics();
  EXPECT_GT(Balls[0].Velocity.x, 0.0f);

  // The same along z, the striking ball the later one: any component of any ball's motion counts.
  ClearTable();
  Place(7, 0.3f, 0.2f);
  Place(9, 0.3f, 0.264f, {0, 0, -0.001f});
  Balls[9].RollVelocity = Balls[9].Velocity;
  StepPhysics();
  EXPECT_EQ(Balls[9].Velocity.z, 0.0f);
  EXPECT_FLOAT_EQ(Balls[7].Velocity.z, -0.001f + 7.5e-8f);
}

TEST_F(PhysicsTest, ContactNeedsSquaredDistanceStrictlyBelowTheDiameterSquared) {
  // 0.065f squared rounds to exactly 0.004225f: balls 0.065f apart do not touch, the next float closer does.
  const float noContact = FirstSeparationWithoutContact();
  EXPECT_EQ(noContact, 0.065f);
  for (float separation : {noContact, std::nextafter(noContact, 0.0f)}) {
    ClearTable();
    StrokeContact = false;
    // Ball 1 moves by an exactly representable step onto the separation under test.
    const float step = 1.0f / 1024;
    Place(0, 0.0f, 0.0f);
    Place(1, separation + step, 0.0f, {-step, 0, 0});
    StepPhysics();
    ASSERT_EQ(Balls[1].Position.x, separation);
    EXPECT_EQ(StrokeContact, separation != noContact) << "separation " << separation;
  }
}

TEST_F(PhysicsTest, ThreeTouchingBallsResolvePairByPairInIndexOrder) {
  Place(0, 0.0f, 0.0f, {0.001f, 0, 0});
  Balls[0].RollVelocity = Balls[0].Velocity;
  Place(1, 0.0645f, 0.0f);
  Place(2, 0.129f, 0.0f);
  StepPhysics();
  // (0, 1) hands the velocity to ball 1, and (1, 2) passes it on within the same step.
  EXPECT_EQ(Balls[0].Velocity.x, 0.0f);
  EXPECT_EQ(Balls[1].Velocity.x, 0.0f);
  EXPECT_FLOAT_EQ(Balls[2].Velocity.x, 0.001f - 7.5e-8f);
}

TEST_F(PhysicsTest, StrokeTooWeakToMoveEndsInTheSameStep) {
  IsComputer[1] = false;
  CurrentPlayer = 1;
  Scores[1] = Scores[2] = 0;
  Place(4, 0.0f, 0.0f, {7e-8f, 0, 0});
  Place(9, 0.3f, 0.0f);
  SelectedBall = 4;
  StepPhysics();
  EXPECT_TRUE(BallsAtRest);
  // No contact: the struck ball is taken off and the opponent scores it.
  EXPECT_EQ(Balls[4].Status, BallOffTable);
  EXPECT_EQ(Scores[2], 1);
  EXPECT_EQ(CurrentPlayer, 2);
  EXPECT_EQ(SelectedBall, 9);
}

TEST_F(PhysicsTest, RestingBallsKeepDecayingRollWithoutEndingAStroke) {
  BallsAtRest = true;
  Place(3, 0.2f, 0.1f);
  Balls[3].RollVelocity = {0.0005f, 0, 0};
  for (int step = 0; step < 2000; ++step) StepPhysics();
  EXPECT_EQ(Balls[3].Status, BallOnTable);
  EXPECT_LT(std::fabs(Balls[3].RollVelocity.x), 0.0005f * 0.01f);
  EXPECT_TRUE(BallsAtRest);
}

// Inputs built to sit exactly on each comparison of the step, and one float past it.

// Speed exactly at the stop threshold stops (at most, not below), and the stroke ends in that step.
TEST_F(PhysicsTest, SpeedExactlyAtTheStopThresholdStopsTheBall) {
  const float threshold = 7.5e-8f;
  ASSERT_EQ(std::sqrt(threshold * threshold), threshold);  // the step's length of (threshold, 0, 0)
  for (float speed : {threshold, std::nextafter(threshold, 1.0f)}) {
    SCOPED_TRACE(::testing::Message() << "speed " << speed);
    ClearTable();
    BallsAtRest = false;
    Place(0, 0.2f, 0.1f, {speed, 0, 0});
    Balls[0].RollVelocity = Balls[0].Velocity;  // rolling: no slip, friction leaves the speed alone
    StepPhysics();
    const bool stops = speed == threshold;
    EXPECT_EQ(Balls[0].Velocity.x == 0.0f, stops);
    EXPECT_EQ(BallsAtRest, stops) << "the stroke ends in the step in which the last ball stops";
  }
}

// A ball sliding along a cushion it overlaps meets it at a normal speed of exactly 0: no bounce and no
// thud. The least speed into it gives both.
TEST_F(PhysicsTest, NoNormalSpeedIntoACushionIsNoImpact) {
  Vector3 n;
  ASSERT_TRUE(FindCushionContact(Vector3{0.5f, 0, 0.47f}, n));
  ASSERT_EQ(n.x, 0.0f);
  ASSERT_LT(n.z, 0.0f);
  for (float into : {0.0f, 1e-7f}) {
    SCOPED_TRACE(::testing::Message() << "speed into the cushion " << into);
    ClearTable();
    BallsAtRest = false;
    for (float& level : ThudLevels) level = -1.0f;  // any thud finds a voice
    Place(0, 0.5f - 0.001f, 0.47f - into, {0.001f, 0, into});
    Balls[0].RollVelocity = Balls[0].Velocity;
    const long plays = host.audio.Count(AudioOp::Play);
    StepPhysics();
    ASSERT_EQ(Balls[0].Position.x, 0.5f);
    EXPECT_EQ(host.audio.Count(AudioOp::Play) - plays, into > 0 ? 1 : 0);
    if (into > 0) {
      EXPECT_LT(Balls[0].Velocity.z, 0.0f) << "reversed";
    } else {
      EXPECT_EQ(Balls[0].Velocity.z, 0.0f);
      EXPECT_FLOAT_EQ(Balls[0].Velocity.x, 0.001f - 7.5e-8f);
      for (float level : ThudLevels) EXPECT_EQ(level, -1.0f);
    }
  }
}

// The playing area's six limits are each "at most": a centre exactly on one stays on the table, one float
// beyond it drops in that step. Each position is reached by an exact move from one step away.
TEST_F(PhysicsTest, PlayingAreaLimitsIncludeTheirBoundary) {
  const float edge = 0.46875f;           // 15/32: 1.43f - edge and the sums below are exact
  const float across = 1.43f - edge;     // the other coordinate on a diagonal limit
  const float beyond = 0x1p-23f;         // one float of 1.43f past the diagonal
  const float step = 0x1p-10f;
  struct Case {
    const char* limit;
    float x, z, outX, outZ;  // on the limit, and just beyond it
  };
  const Case cases[] = {
      {"x + z", across, edge, across + beyond, edge},
      {"x - z", across, -edge, across + beyond, -edge},
      {"-x + z", -across, edge, -across - beyond, edge},
      {"-x - z", -across, -edge, -across - beyond, -edge},
      {"z <= 0.5", 0.0f, 0.5f, 0.0f, std::nextafter(0.5f, 1.0f)},
      {"z >= -0.5", 0.0f, -0.5f, 0.0f, std::nextafter(-0.5f, -1.0f)},
  };
  for (const Case& c : cases) {
    for (bool out : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.limit << (out ? ", beyond" : ", on it"));
      const float x = out ? c.outX : c.x, z = out ? c.outZ : c.z;
      const float vx = x > 0 ? step : (x < 0 ? -step : 0.0f), vz = z > 0 ? step : -step;
      ClearTable();
      BallsAtRest = false;
      Place(0, x - vx, z - vz, {vx, 0, vz});
      Balls[0].RollVelocity = Balls[0].Velocity;
      StepPhysics();
      EXPECT_EQ(Balls[0].Status, out ? BallDropping : BallOnTable);
      if (!out) {
        EXPECT_EQ(Balls[0].Position.x, x);
        EXPECT_EQ(Balls[0].Position.z, z);
      }
    }
  }
}

// Two overlapping balls moving alike close at exactly 0: that is separating, not a collision.
TEST_F(PhysicsTest, OverlappingBallsClosingAtExactlyZeroDoNotCollide) {
  for (float closing : {0.0f, 1e-6f}) {
    SCOPED_TRACE(::testing::Message() << "closing " << closing);
    ClearTable();
    BallsAtRest = false;
    StrokeContact = false;
    for (float& level : ClickLevels) level = -1.0f;
    Place(0, 0.0f, 0.0f, {closing, 0, 0.001f});
    Place(1, 0.05f, 0.0f, {0, 0, 0.001f});
    Balls[0].RollVelocity = Balls[0].Velocity;
    Balls[1].RollVelocity = Balls[1].Velocity;
    const long plays = host.audio.Count(AudioOp::Play);
    StepPhysics();
    EXPECT_EQ(StrokeContact, closing > 0);
    EXPECT_EQ(host.audio.Count(AudioOp::Play) - plays, closing > 0 ? 1 : 0);
    EXPECT_EQ(Balls[1].Velocity.x > 0.0f, closing > 0) << "the normal speed passed on";
  }
}

TEST_F(PhysicsTest, CushionContactIsStrictlyWithinTheRadius) {
  // The side pocket's notch wall at x = -0.0375 runs along z over exactly 0.0625, so its unit
  // direction is exact and the distance from it is plain float subtraction.
  const float x = -0.0375f + 0.0325f;
  ASSERT_EQ(x - -0.0375f, 0.0325f);
  Vector3 n{7, 7, 7};
  EXPECT_FALSE(FindCushionContact(Vector3{x, 0, -0.53f}, n));
  EXPECT_EQ(n.x, 7.0f);  // untouched without contact
  float closer = x;
  while (closer - -0.0375f == 0.0325f) closer = std::nextafter(closer, -1.0f);
  ASSERT_TRUE(FindCushionContact(Vector3{closer, 0, -0.53f}, n));
  EXPECT_EQ(n.x, 1.0f);  // away from the wall, into the notch
  EXPECT_EQ(n.z, 0.0f);

  // At a jaw point the corner itself pushes: the normal points from the point to the centre.
  ASSERT_TRUE(FindCushionContact(Vector3{0.96f, 0, 0.48f}, n));
  EXPECT_NEAR(n.x, 0.4472f, 1e-4);
  EXPECT_NEAR(n.z, -0.8944f, 1e-4);
}

TEST_F(PhysicsTest, CushionShortcutMatchesTheFullOutlineTest) {
  // The quick inside test must never hide a contact: every segment lies outside the cushion lines.
  for (std::int32_t k = 0; k < CushionPointCount; ++k) {
    const Vector3& a = CushionPoints[k];
    const Vector3& b = CushionPoints[(k + 1) % CushionPointCount];
    EXPECT_TRUE((std::fabs(a.x) >= 1.0f && std::fabs(b.x) >= 1.0f) ||
                (std::fabs(a.z) >= 0.5f && std::fabs(b.z) >= 0.5f))
        << "segment " << k;
  }
  Vector3 n;
  EXPECT_FALSE(FindCushionContact(Vector3{0.966f, 0, 0.0f}, n));
  EXPECT_TRUE(FindCushionContact(Vector3{0.968f, 0, 0.0f}, n));
  EXPECT_FALSE(FindCushionContact(Vector3{0.2f, 0, -0.466f}, n));
  EXPECT_TRUE(FindCushionContact(Vector3{0.2f, 0, -0.468f}, n));
}

TEST_F(PhysicsTest, CushionBounceHalvesTheNormalSpeedAndKeepsTheTangent) {
  Place(0, 0.3f, 0.4f, {0.0005f, 0, 0.002f});
  Balls[0].RollVelocity = Balls[0].Velocity;
  float lastVz = 0.002f;
  for (int step = 0; step < 200 && Balls[0].Velocity.z > 0; ++step) {
    lastVz = Balls[0].Velocity.z;
    StepPhysics();
  }
  ASSERT_LT(Balls[0].Velocity.z, 0.0f);
  EXPECT_NEAR(Balls[0].Velocity.z, -0.5f * lastVz, 2e-6);
  EXPECT_NEAR(Balls[0].Velocity.x, 0.0005f, 1e-6);
  EXPECT_EQ(Balls[0].Status, BallOnTable);
}

TEST_F(PhysicsTest, SidePocketAdmitsOnlyCentredBalls) {
  auto runAt = [&](float x) {
    ClearTable();
    BallsAtRest = false;
    Place(0, x, 0.3f, {0, 0, 0.002f});
    Balls[0].RollVelocity = Balls[0].Velocity;
    bool bounced = false;
    for (int step = 0; step < 400 && Balls[0].Status == BallOnTable; ++step) {
      StepPhysics();
      if (Balls[0].Velocity.z < 0.0f) bounced = true;
    }
    return std::make_pair(Balls[0].Status != BallOnTable, bounced);
  };
  for (float x : {0.0f, 0.005f, -0.005f}) {
    auto [dropped, bounced] = runAt(x);
    EXPECT_TRUE(dropped) << x;
    EXPECT_FALSE(bounced) << x;
  }
  for (float x : {0.02f, -0.025f}) {
    auto [dropped, bounced] = runAt(x);
    EXPECT_FALSE(dropped) << x;
    EXPECT_TRUE(bounced) << x;
  }
}

TEST_F(PhysicsTest, CornerDiagonalPassesTheJawsAndDropsAtTheCutLine) {
  Place(0, 0.7f, 0.2f, {0.001f, 0, 0.001f});
  Balls[0].RollVelocity = Balls[0].Velocity;
  int crossedAt = -1, countedAt = -1;
  for (int step = 0; step < 1000 && countedAt < 0; ++step) {
    Vector3 before = Balls[0].Position;
    Vector3 v = Balls[0].Velocity;
    StepPhysics();
    if (crossedAt < 0 && Balls[0].Status == BallDropping) {
      crossedAt = step;
      EXPECT_GT(before.x + v.x + before.z + v.z, 1.43f);
      EXPECT_LE(before.x + before.z, 1.43f);
    }
    if (crossedAt < 0) {
      EXPECT_FLOAT_EQ(Balls[0].Velocity.x, Balls[0].Velocity.z);  // never touched a jaw
    }
    if (PocketedCount == 1) countedAt = step;
  }
  ASSERT_GE(crossedAt, 0);
  // Counted at the end of its 100th step of dropping, the crossing step being the first.
  EXPECT_EQ(countedAt - crossedAt, 99);
  EXPECT_EQ(Balls[0].Status, BallOffTable);
  EXPECT_NEAR(Balls[0].Position.x, 1.02f, 0.03f);
  EXPECT_NEAR(Balls[0].Position.z, 0.52f, 0.03f);
}

TEST_F(PhysicsTest, DropGlidesTowardsThePocketsTarget) {
  Place(0, 0.98f, -0.48f);
  Balls[0].Status = BallDropping;
  StepPocketDrop(0);
  EXPECT_FLOAT_EQ(Balls[0].Position.x, 0.99f * 0.98f + 0.01f * 1.02f);
  EXPECT_FLOAT_EQ(Balls[0].Position.z, 0.99f * -0.48f + 0.01f * -0.52f);
  EXPECT_FLOAT_EQ(Balls[0].Position.y, -0.001f);

  // A key that names no pocket glides to the centre.
  Place(1, 3.0f, 0.0f);
  Balls[1].Status = BallDropping;
  StepPocketDrop(1);
  EXPECT_FLOAT_EQ(Balls[1].Position.x, 2.97f);
  EXPECT_EQ(Balls[1].Position.z, 0.0f);
}

TEST_F(PhysicsTest, StillBallsDecayTheirRollBitForBitLikePlainFloatArithmetic) {
  // Rolls from the largest a still ball can hold down through the subnormals, both signs; about y a zero of
  // either sign.
  std::vector<float> rolls = {0.0f, -0.0f, 1e-5f, -1e-5f, 0x1p-100f, 0x1p-126f, 0x1p-149f, 17 * 0x1p-149f, 0x1p-145f};
  std::uint32_t state = 12345;
  for (int k = 0; k < 20000; ++k) {
    state = state * 1664525u + 1013904223u;
    float magnitude = std::ldexp(1.0f + static_cast<float>(state >> 9) * 0x1p-23f, -static_cast<int>(17 + state % 133));
    rolls.push_back((state & 1) ? magnitude : -magnitude);
  }
  BallsAtRest = true;
  for (std::size_t first = 0; first < rolls.size(); first += BallCount) {
    for (int i = 0; i < BallCount; ++i) {
      float r = rolls[(first + i) % rolls.size()];
      Place(i, -0.8f + 0.1f * static_cast<float>(i), 0.0f);
      Balls[i].RollVelocity = {r, i % 2 ? -0.0f : 0.0f, -r};
    }
    StepPhysics();
    for (int i = 0; i < BallCount; ++i) {
      volatile float r = rolls[(first + i) % rolls.size()];
      volatile float v = 0.0f, y = i % 2 ? -0.0f : 0.0f;
      float expected = r + 0.03f * (v - r);
      float expectedNegated = -r + 0.03f * (v - -r);
      float expectedY = y + 0.03f * (v - y);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(Balls[i].RollVelocity.y), std::bit_cast<std::uint32_t>(expectedY))
          << "roll " << r;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(Balls[i].RollVelocity.x), std::bit_cast<std::uint32_t>(expected))
          << "roll " << r;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(Balls[i].RollVelocity.z), std::bit_cast<std::uint32_t>(expectedNegated))
          << "roll " << -r;
      ASSERT_EQ(VecLengthSq(Balls[i].Velocity), 0.0f);
    }
  }
  EXPECT_TRUE(BallsAtRest);
}

// The step may skip a still ball it has seen unchanged; a ball whose step changed it, or a settled
// ball someone has since changed, must be stepped in full.
TEST_F(PhysicsTest, StillBallIsSteppedAgainUnlessItsStepChangedNothing) {
  BallsAtRest = true;
  Place(3, 0.2f, 0.1f);
  Balls[3].RollVelocity = {5e-6f, 0, 0};  // little enough for the ball to stay still
  BallState before[BallCount];
  std::memcpy(before, Balls, sizeof Balls);
  auto decayed = [](float r) {
    volatile float v = 0.0f;
    return r + 0.03f * (v - r);
  };
  StepPhysics();
  ASSERT_EQ(VecLengthSq(Balls[3].Velocity), 0.0f);
  EXPECT_EQ(Balls[3].RollVelocity.x, decayed(5e-6f));
  StepPhysics();
  EXPECT_EQ(Balls[3].RollVelocity.x, decayed(decayed(5e-6f)));
  std::memcpy(Balls, before, sizeof Balls);  // the same state again, as a test or a replay sets it
  StepPhysics();
  EXPECT_EQ(Balls[3].RollVelocity.x, decayed(5e-6f));

  for (int step = 0; step < 5000; ++step) StepPhysics();  // settled: the step now changes nothing
  std::memcpy(before, Balls, sizeof Balls);
  StepPhysics();
  EXPECT_EQ(std::memcmp(before, Balls, sizeof Balls), 0);
  Balls[3].RollVelocity.x = 4e-6f;  // a roll given to the settled ball
  StepPhysics();
  EXPECT_EQ(Balls[3].RollVelocity.x, decayed(4e-6f));
  Balls[3].Position.x = 1.5f;  // and the ball put beyond a pocket mouth: it drops
  StepPhysics();
  EXPECT_EQ(Balls[3].Status, BallDropping);
}
