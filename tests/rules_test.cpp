// The rack and the end-of-stroke rules, played out on the real table.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/modMain.h"
#include "platform/testing/RecordingAudio.h"
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

namespace {

// The rules and the stroke on the real table, with the sound calls kept.
class RulesSoundTest : public GameFixture {
 protected:
  RecordingAudio heard{RecordingAudio::Mode::Log};

  void SetUp() override {
    GameFixture::SetUp();
    ReleaseSound();
    Host.audio = &heard;
    InitSound();
    host.window.SetGeometry({100, 50, 801, 600}, 800, 560);
    InitControl();
    UpdateControl();  // camera mode once: yaw 0, the aim terms exist
  }

  // Play calls on `buffer` so far, and the volume set just before the last of them.
  long Plays(const AudioBuffer* buffer) const {
    long n = 0;
    for (const AudioCall& c : heard.Calls()) n += c.op == AudioOp::Play && c.object == heard.IdOf(buffer);
    return n;
  }
  std::int64_t LastVolume(const AudioBuffer* buffer) const {
    std::int64_t volume = 1;
    for (const AudioCall& c : heard.Calls())
      if (c.op == AudioOp::SetVolume && c.object == heard.IdOf(buffer)) volume = c.a;
    return volume;
  }

  struct Heard {
    long scores, fouls;
    int atStep;  // the step in which the first of them was played, 0 if none
    int steps;   // the steps the stroke took to come to rest
  };
  // Plays the stroke out step by step, noting when the rules' sounds come.
  Heard PlayOutListening(int ball, Vector3 velocity) {
    SelectedBall = ball;
    Balls[ball].Velocity = velocity;
    BallsAtRest = false;
    OpeningStroke = false;
    const long scores = Plays(ScoreSound), fouls = Plays(FoulSound);
    Heard h{0, 0, 0, 0};
    for (int step = 1; step <= 200000 && !BallsAtRest; ++step) {
      StepPhysics();
      h.steps = step;
      h.scores = Plays(ScoreSound) - scores;
      h.fouls = Plays(FoulSound) - fouls;
      if (h.atStep == 0 && h.scores + h.fouls > 0) h.atStep = step;
    }
    return h;
  }
};

}  // namespace

TEST_F(RulesSoundTest, StrokeSoundIsPlayedInTheStepOfTheStrokeAtTheStrokesPower) {
  // A human pushes the mouse up until the cue passes the ball.
  RackBalls();
  KeyState(-1) = true;
  int strokeStep = 0;
  for (int step = 1; step <= 5000 && BallsAtRest; ++step) {
    ASSERT_EQ(Plays(StrokeSound), 0) << "step " << step;
    host.window.MoveMouse(0, -6);
    UpdateControl();
    strokeStep = step;
  }
  KeyState(-1) = false;
  ASSERT_FALSE(BallsAtRest);
  EXPECT_GT(strokeStep, 1);
  EXPECT_EQ(Plays(StrokeSound), 1);
  // Yaw 0 sends the ball towards -z at 0.005 x power per step.
  const float power = Balls[15].Velocity.z / -0.005f;
  EXPECT_GT(power, 0.05f);
  EXPECT_NEAR(LastVolume(StrokeSound), LevelToVolume(power), 1);
  EXPECT_LT(LastVolume(StrokeSound), LevelToVolume(2 * power));
  EXPECT_GT(LastVolume(StrokeSound), LevelToVolume(0.5f * power));
  // Nothing else is played by the stroke itself.
  EXPECT_EQ(heard.Count(AudioOp::Play), 1);

  // The computer's break: power 4 x 0.25 = 1, which is -7 hundredths of a decibel.
  IsComputer[1] = true;
  RackBalls();
  for (int step = 1; step <= 3000 && BallsAtRest; ++step) {
    ASSERT_EQ(Plays(StrokeSound), 1) << "step " << step;
    UpdateControl();
  }
  ASSERT_FALSE(BallsAtRest);
  EXPECT_EQ(Plays(StrokeSound), 2);
  EXPECT_EQ(LastVolume(StrokeSound), -7);
  IsComputer[1] = false;
}

TEST_F(RulesSoundTest, ScoreAndFoulSoundsComeOnlyWithTheDecisionAtRest) {
  // Contact and three balls potted: the scoring chime, once, in the step that finds the table still.
  SetUpThreeDropsWithContact();
  Heard h = PlayOutListening(5, {0.0003f, 0, 0});
  EXPECT_EQ(h.scores, 1);
  EXPECT_EQ(h.fouls, 0);
  EXPECT_EQ(h.atStep, h.steps);
  EXPECT_EQ(LastVolume(ScoreSound), -2250);

  // Contact without a pot: silence.
  ClearTable();
  Place(5, -0.3f, 0.0f);
  Place(6, -0.23f, 0.0f);
  h = PlayOutListening(5, {0.0003f, 0, 0});
  EXPECT_EQ(h.scores + h.fouls, 0);
  EXPECT_GT(h.steps, 100);

  // No contact, the struck ball pocketed: the opponent scores it, but the sound is the foul's.
  ClearTable();
  Place(3, 0.7f, 0.2f);
  Balls[3].RollVelocity = {0.001f, 0, 0.001f};
  Place(9, -0.5f, 0.0f);
  h = PlayOutListening(3, {0.001f, 0, 0.001f});
  ASSERT_EQ(Balls[3].Status, BallOffTable);
  EXPECT_EQ(h.scores, 0);
  EXPECT_EQ(h.fouls, 1);
  EXPECT_EQ(h.atStep, h.steps);
  EXPECT_EQ(LastVolume(FoulSound), -2000);

  // No contact, the struck ball still on the table: the foul, once, at rest.
  ClearTable();
  Place(3, 0.0f, 0.0f);
  Place(9, -0.5f, 0.3f);
  h = PlayOutListening(3, {0.0002f, 0, 0});
  EXPECT_EQ(h.scores, 0);
  EXPECT_EQ(h.fouls, 1);
  EXPECT_EQ(h.atStep, h.steps);
  EXPECT_GT(h.steps, 100);
}

// A game won on ball 3, then F5 from the game-over state: the new rack selects ball 15 and the camera's
// aim goes straight to it, while the look point glides there from ball 3 at 5 % per frame.
TEST_F(RulesSoundTest, F5AfterAGameWonOnAnotherBallPutsTheCameraOnBall15) {
  for (bool computerWon : {false, true}) {
    SCOPED_TRACE(computerWon ? "player 2, the computer, won" : "player 1 won");
    RackBalls();
    IsComputer[2] = computerWon;
    CurrentPlayer = computerWon ? 2 : 1;
    // The last stroke of the game: ball 3 struck, a ball potted after contact, the table now still.
    Balls[3].Position = Vector3{0.4f, 0.0f, -0.25f};
    Balls[15].Position = Vector3{-0.3f, 0.0f, 0.2f};  // away from its spot in the rack
    Balls[7].Status = BallOffTable;
    Scores[CurrentPlayer] = 7;
    SelectedBall = 3;
    AimPoint = Vector3{0, 0, 0};  // as the stroke left it
    BallsAtRest = false;
    OpeningStroke = false;
    StrokeContact = true;
    PocketedCount = 1;
    StepPhysics();
    ASSERT_TRUE(GameOver);
    ASSERT_EQ(SelectedBall, 3);
    // A human winner's camera aims at ball 3; the computer leaves the aim alone.
    EXPECT_EQ(AimPoint.x, computerWon ? 0.0f : 0.4f);
    EXPECT_EQ(AimPoint.z, computerWon ? 0.0f : -0.25f);
    LookPoint = Vector3{0.4f, 0.0f, -0.25f};  // the view settled on ball 3 before the game ended

    // The game-over pass reads F5: a new rack, player 1 (human) to play ball 15.
    KeyState(116) = true;
    UpdateControl();
    ASSERT_FALSE(GameOver);
    EXPECT_EQ(CurrentPlayer, 1);
    EXPECT_EQ(SelectedBall, 15);
    EXPECT_EQ(AimPoint.x, 0.5f);
    EXPECT_EQ(AimPoint.y, 0.0f);
    EXPECT_EQ(AimPoint.z, 0.0f);
    EXPECT_EQ(LookPoint.x, 0.4f);  // the camera itself waits for the next frame

    // The first frame of play: at rest, so 5 % of the way: 0.95 x 0.4 + 0.05 x 0.5 = 0.405 and
    // 0.95 x -0.25 + 0.05 x 0 = -0.2375.
    UpdateCamera();
    EXPECT_NEAR(LookPoint.x, 0.405f, 1e-6);
    EXPECT_NEAR(LookPoint.z, -0.2375f, 1e-6);
    EXPECT_NEAR(CameraEye.x, LookPoint.x + 2 * AimSin * PitchCos, 1e-6);
    EXPECT_NEAR(CameraEye.z, LookPoint.z + 2 * AimCos * PitchCos, 1e-6);
    // After 300 frames 0.95^300 = 2e-7 of the way is left.
    for (int frame = 1; frame < 300; ++frame) UpdateCamera();
    EXPECT_NEAR(LookPoint.x, 0.5f, 1e-6);
    EXPECT_NEAR(LookPoint.z, 0.0f, 1e-6);
  }
  IsComputer[2] = false;
}
