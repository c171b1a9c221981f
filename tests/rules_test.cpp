// The rack and the end-of-stroke rules, played out on the real table.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/modMain.h"
#include "tests/GameFixture.h"

using namespace kuvo;
using kuvo::testing::GameFixture;

namespace {

class RulesTest : public GameFixture {};

int BallsOffTable() {
  int n = 0;
  for (const BallState& b : Balls) n += b.Status == BallOffTable;
  return n;
}

}  // namespace

TEST_F(RulesTest, RackPlacesATriangleAndBall15AndResetsTheGame) {
  Scores[1] = 5;
  CurrentPlayer = 2;
  GameOver = true;
  host.clock.Advance(37.0);
  RackBalls();
  EXPECT_EQ(Scores[1], 0);
  EXPECT_EQ(CurrentPlayer, 1);
  EXPECT_FALSE(GameOver);
  EXPECT_TRUE(BallsAtRest);
  EXPECT_TRUE(OpeningStroke);
  EXPECT_EQ(SelectedBall, 15);
  EXPECT_EQ(ComputerDelay, 2000);
  EXPECT_EQ(Balls[15].Position.x, 0.5f);
  for (int row = 0, n = 0; row <= 4; ++row) {
    for (int j = 0; j <= row; ++j, ++n) {
      EXPECT_NEAR(Balls[n].Position.x, -0.5 - 0.057 * row, 0.00015 + 1e-7) << n;
      EXPECT_NEAR(Balls[n].Position.z, 0.066 * j - 0.033 * row, 0.00015 + 1e-7) << n;
      EXPECT_EQ(Balls[n].Status, BallOnTable);
    }
  }
  EXPECT_EQ(AimPoint.x, 0.5f);  // the human's camera aims at ball 15
  EXPECT_DOUBLE_EQ(SimTime, 37.0);  // a fresh clock reading
}

TEST_F(RulesTest, TheSameTimeOfDayGivesTheSameRackAndAnotherGivesAnother) {
  RackBalls();
  Vector3 first = Balls[7].Position;
  RackBalls();
  EXPECT_EQ(Balls[7].Position.x, first.x);
  EXPECT_EQ(Balls[7].Position.z, first.z);
  host.clock.Advance(1.0);
  RackBalls();
  EXPECT_TRUE(Balls[7].Position.x != first.x || Balls[7].Position.z != first.z);
}

TEST_F(RulesTest, FoulIntoAPocketScoresForTheOpponent) {
  ClearTable();
  Place(3, 0.7f, 0.2f);
  Balls[3].RollVelocity = {0.001f, 0, 0.001f};
  Place(9, -0.5f, 0.0f);
  Place(12, -0.6f, 0.2f);
  ASSERT_GT(PlayOut(3, {0.001f, 0, 0.001f}), 0);
  EXPECT_EQ(Balls[3].Status, BallOffTable);
  EXPECT_EQ(Scores[1], 0);
  EXPECT_EQ(Scores[2], 1);
  EXPECT_EQ(CurrentPlayer, 2);
  EXPECT_EQ(SelectedBall, 9);
  EXPECT_EQ(PocketedCount, 0);
}

TEST_F(RulesTest, FoulOnTheTableRemovesTheStruckBall) {
  ClearTable();
  Place(3, 0.0f, 0.0f);
  Place(9, -0.5f, 0.3f);
  Place(12, -0.6f, -0.2f);
  ASSERT_GT(PlayOut(3, {0.0002f, 0, 0}), 0);
  EXPECT_EQ(Balls[3].Status, BallOffTable);
  EXPECT_EQ(Balls[9].Status, BallOnTable);
  EXPECT_EQ(Scores[2], 1);
  EXPECT_EQ(CurrentPlayer, 2);
  EXPECT_EQ(SelectedBall, 9);  // the lowest ball still on the table
  EXPECT_TRUE(BallsAtRest);
  EXPECT_EQ(ComputerDelay, 1000);
}

namespace {

// Three balls rolling into three corner pockets while the struck ball 5 knocks ball 6 along.
void SetUpThreeDropsWithContact() {
  GameFixture::ClearTable();
  const Vector3 diagonals[3] = {{0.001f, 0, 0.001f}, {-0.001f, 0, -0.001f}, {0.001f, 0, -0.001f}};
  const float starts[3][2] = {{0.7f, 0.2f}, {-0.7f, -0.2f}, {0.7f, -0.2f}};
  for (int k = 0; k < 3; ++k) {
    GameFixture::Place(k, starts[k][0], starts[k][1], diagonals[k]);
    Balls[k].RollVelocity = diagonals[k];
  }
  GameFixture::Place(5, -0.3f, 0.0f);
  GameFixture::Place(6, -0.23f, 0.0f);
}

}  // namespace

TEST_F(RulesTest, ContactAndThreeBallsPottedKeepTheTurn) {
  SetUpThreeDropsWithContact();
  ASSERT_GT(PlayOut(5, {0.0003f, 0, 0}), 0);
  EXPECT_EQ(Scores[1], 3);
  EXPECT_EQ(Scores[2], 0);
  EXPECT_EQ(CurrentPlayer, 1);
  EXPECT_FALSE(GameOver);
  EXPECT_EQ(Balls[5].Status, BallOnTable);
  EXPECT_EQ(Balls[6].Status, BallOnTable);
}

TEST_F(RulesTest, ContactWithoutAPotPassesTheTurn) {
  ClearTable();
  Place(5, -0.3f, 0.0f);
  Place(6, -0.23f, 0.0f);
  ASSERT_GT(PlayOut(5, {0.0003f, 0, 0}), 0);
  EXPECT_EQ(Scores[1] + Scores[2], 0);
  EXPECT_EQ(CurrentPlayer, 2);
}

TEST_F(RulesTest, WinningStrokeCountsEveryBallAndLeavesTheWinnerToPlay) {
  SetUpThreeDropsWithContact();
  Balls[2].Status = BallOffTable;  // two balls drop this time
  Scores[1] = 7;
  ASSERT_GT(PlayOut(5, {0.0003f, 0, 0}), 0);
  EXPECT_EQ(Scores[1], 9);
  EXPECT_TRUE(GameOver);
  EXPECT_EQ(CurrentPlayer, 1);

  // A foul that lifts the opponent past 7 ends the game with the opponent to play: the winner.
  RackBalls();
  ClearTable();
  Place(3, 0.0f, 0.0f);
  Place(9, -0.5f, 0.3f);
  Scores[2] = 7;
  ASSERT_GT(PlayOut(3, {0.0002f, 0, 0}), 0);
  EXPECT_EQ(Scores[2], 8);
  EXPECT_TRUE(GameOver);
  EXPECT_EQ(CurrentPlayer, 2);
}

TEST_F(RulesTest, RandomStrokesKeepBallsOnTheTableAndEveryPointIsABallOff) {
  std::mt19937 random(20261208);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int strokes = 0;
  for (int game = 0; game < 12; ++game) {
    host.clock.Advance(1000.0 * unit(random));  // a new time of day seeds a new rack
    RackBalls();
    for (int stroke = 0; stroke < 40 && !GameOver; ++stroke, ++strokes) {
      int ball = SelectedBall;
      float angle = 6.2831853f * unit(random);
      float power = 0.05f + 3.95f * unit(random);
      float speed = power * 0.005f;
      ASSERT_GT(PlayOut(ball, {speed * std::cos(angle), 0, speed * std::sin(angle)}), 0);
      for (int i = 0; i < BallCount; ++i) {
        if (Balls[i].Status != BallOnTable) continue;
        ASSERT_LE(std::fabs(Balls[i].Position.x), 1.0f) << "game " << game << " stroke " << stroke << " ball " << i;
        ASSERT_LE(std::fabs(Balls[i].Position.z), 0.5f) << "game " << game << " stroke " << stroke << " ball " << i;
        ASSERT_EQ(Balls[i].Position.y, 0.0f);
      }
      ASSERT_EQ(Scores[1] + Scores[2], BallsOffTable());
      ASSERT_LE(Scores[1] + Scores[2], 16);
      ASSERT_EQ(PocketedCount, 0);
      ASSERT_EQ(Balls[SelectedBall].Status, BallOnTable);
      // Pick a random ball on the table for the next stroke.
      int pick = static_cast<int>(unit(random) * 16) % 16;
      while (Balls[pick].Status != BallOnTable) pick = (pick + 1) % 16;
      SelectedBall = pick;
    }
    if (GameOver) {
      EXPECT_GT(Scores[CurrentPlayer], 7);
      EXPECT_LE(Scores[3 - CurrentPlayer], 8);
    }
  }
  EXPECT_GT(strokes, 100);
}
