// A second, plain implementation of the 1 ms step, written straight from the rules of the game (the
// three phases, the 24-segment cushion test, the pocket drop, the impact levels and the voice choice)
// with none of the game's shortcuts. It runs beside StepPhysics from random states near cushions,
// pockets, other balls and at rest, and every ball's bits, the stroke's contact and count, the voice
// levels and every sound call must agree after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/testing/Headless.h"
#include "app/modMain.h"
#include "app/modUtil.h"
#include "sound/modDS.h"
#include "tests/GameFixture.h"

using namespace kuvo;

namespace {

// ---- The reference step ----

struct V3 {
  float x, y, z;
};
V3 Add(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Times(float s, V3 v) { return {s * v.x, s * v.y, s * v.z}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float LengthSq(V3 v) { return v.x * v.x + v.y * v.y + v.z * v.z; }
V3 Unit(V3 v) { return Times(static_cast<float>(1.0 / std::sqrt(static_cast<double>(LengthSq(v)))), v); }

struct RefBall {
  V3 p, v, r;
  int status;  // 0 on the table, 1 dropping, 2 off
};

// A sound call as the audio device sees it: buffer, then volume (Stop has none).
struct SoundCall {
  char op;  // 'S' stop, 'V' volume, 'P' play
  int buffer;
  long volume;
  bool operator==(const SoundCall&) const = default;
};

// The outline in units of 0.0125, point by point round the table.
constexpr int kOutline[24][2] = {{-76, 40}, {-80, 44}, {-84, 40}, {-80, 36}, {-80, -36}, {-84, -40},
                                 {-80, -44}, {-76, -40}, {-3, -40},  {-3, -45}, {3, -45},   {3, -40},
                                 {76, -40},  {80, -44},  {84, -40},  {80, -36}, {80, 36},   {84, 40},
                                 {80, 44},   {76, 40},   {3, 40},    {3, 45},   {-3, 45},   {-3, 40}};

V3 OutlinePoint(int k) {
  return {static_cast<float>(kOutline[k % 24][0] * 0.0125), 0.0f, static_cast<float>(kOutline[k % 24][1] * 0.0125)};
}

bool Cushion(V3 p, V3& n) {
  for (int k = 0; k < 24; ++k) {
    V3 a = OutlinePoint(k), b = OutlinePoint(k + 1);
    V3 e = Sub(b, p), seg = Sub(b, a), r = Sub(p, a);
    if (Dot(e, seg) < 0.0f) {
      if (LengthSq(e) < 0.00105625f) {
        n = Times(-1.0f, Unit(e));
        return true;
      }
    } else if (Dot(r, seg) < 0.0f) {
      if (LengthSq(r) < 0.00105625f) {
        n = Unit(r);
        return true;
      }
    } else {
      V3 u = Unit(seg);
      if (std::fabs(e.z * u.x - e.x * u.z) < 0.0325f) {
        n = {-u.z, 0.0f, u.x};
        return true;
      }
    }
  }
  return false;
}

long Volume(float level) {
  double v = std::nearbyint(1085.0 * std::log(9999.0 * level + 1.0) - 10000.0);
  return static_cast<long>(v > 0 ? 0 : v);
}

struct Reference {
  RefBall balls[16];
  bool contact = false;
  int pocketed = 0;
  bool atRest = false;
  bool strokeOver = false;
  int selected = 15;
  float clicks[4], thuds[4];
  int clickIds[4], thudIds[4], dropId = 0, scoreId = 0, foulId = 0;
  std::vector<SoundCall> calls;

  void Impact(float levels[4], const int ids[4], float level) {
    int best = -1;
    float lowest = level;
    for (int v = 0; v < 4; ++v)
      if (lowest > levels[v]) best = v, lowest = levels[v];
    if (best < 0) return;
    calls.push_back({'S', ids[best], 0});
    calls.push_back({'V', ids[best], Volume(level)});
    calls.push_back({'P', ids[best], 0});
    levels[best] = level;
  }

  void Drop(int i) {
    RefBall& b = balls[i];
    auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    int key = round(b.p.x) + 10 * round(b.p.z + 0.5) + 1;
    double tx = 0, tz = 0;
    if (key == 0) tx = -1.02, tz = -0.52;
    if (key == 1) tz = -0.537;
    if (key == 2) tx = 1.02, tz = -0.52;
    if (key == 10) tx = -1.02, tz = 0.52;
    if (key == 11) tz = 0.537;
    if (key == 12) tx = 1.02, tz = 0.52;
    b.p.x = static_cast<float>(0.99 * b.p.x + 0.01 * static_cast<float>(tx));
    b.p.z = static_cast<float>(0.99 * b.p.z + 0.01 * static_cast<float>(tz));
    b.p.y = b.p.y - 0.001f;
    if (b.p.y < -0.1f) {
      calls.push_back({'V', dropId, -1800});
      calls.push_back({'P', dropId, 0});
      ++pocketed;
      b.status = 2;
    }
  }

  void Step() {
    bool anyMotion = false;
    for (int i = 0; i < 16; ++i) {
      RefBall& b = balls[i];
      if (b.status == 1) {
        Drop(i);
        anyMotion = true;
      }
      if (b.status != 0) continue;
      b.p = Add(b.p, b.v);
      V3 slip = Sub(b.v, b.r);
      b.r = Add(b.r, Times(0.03f, slip));
      b.v = Sub(b.v, Times(0.003f, slip));
      float speed = std::sqrt(LengthSq(b.v));
      if (speed <= 7.5e-8f) {
        b.v = {0, 0, 0};
      } else {
        anyMotion = true;
        b.v = Times(static_cast<float>((speed - 7.5e-8) / speed), b.v);
        V3 n;
        if (Cushion(b.p, n)) {
          float vn = Dot(n, b.v);
          if (vn < 0.0f) {
            Impact(thuds, thudIds, -150.0f * vn);
            b.v = Sub(b.v, Times(1.5f * vn, n));
          }
        }
      }
      float x = b.p.x, z = b.p.z;
      if (x + z <= 1.43f && x - z <= 1.43f && -x + z <= 1.43f && -x - z <= 1.43f && z >= -0.5f && z <= 0.5f) {
        b.p.y = 0.0f;
      } else {
        Impact(thuds, thudIds, 100.0f * speed);
        b.status = 1;
        Drop(i);
        anyMotion = true;
      }
    }
    if (anyMotion) {
      for (int i = 0; i < 15; ++i) {
        for (int j = i + 1; j < 16; ++j) {
          if (balls[i].status != 0 || balls[j].status != 0) continue;
          V3 d = Sub(balls[i].p, balls[j].p);
          // Two centres at one point give no direction to push along: no collision.
          if (!(LengthSq(d) < 0.004225f) || LengthSq(d) == 0.0f) continue;
          V3 n = Unit(d);
          float s = Dot(n, Sub(balls[i].v, balls[j].v));
          if (s >= 0.0f) continue;
          contact = true;
          Impact(clicks, clickIds, -200.0f * s);
          balls[i].v = Sub(balls[i].v, Times(s, n));
          balls[j].v = Add(balls[j].v, Times(s, n));
        }
      }
    } else if (!atRest) {
      // The rules' sound: the score after contact and a pot, the buzzer after no contact.
      strokeOver = true;
      if (contact && pocketed > 0) calls.push_back({'V', scoreId, -2250}), calls.push_back({'P', scoreId, 0});
      if (!contact) calls.push_back({'V', foulId, -2000}), calls.push_back({'P', foulId, 0});
      // A foul that pots nothing takes the struck ball off.
      if (!contact && pocketed == 0) balls[selected].status = 2;
    }
    for (int v = 0; v < 4; ++v) {
      clicks[v] = static_cast<float>(clicks[v] - 0.001);
      thuds[v] = static_cast<float>(thuds[v] - 0.001);
    }
  }
};

// ---- Random states ----

// The real table, with every sound call logged.
class PhysicsReferenceTest : public kuvo::testing::GameFixture {
 protected:
  RecordingAudio audio{RecordingAudio::Mode::Log};

  void SetUp() override {
    Host.audio = &audio;
    GameFixture::SetUp();
  }

  Reference Mirror() {
    Reference ref;
    for (int i = 0; i < 16; ++i) {
      const BallState& b = Balls[i];
      ref.balls[i] = {{b.Position.x, b.Position.y, b.Position.z},
                      {b.Velocity.x, b.Velocity.y, b.Velocity.z},
                      {b.RollVelocity.x, b.RollVelocity.y, b.RollVelocity.z},
                      b.Status};
    }
    ref.contact = StrokeContact;
    ref.pocketed = PocketedCount;
    ref.atRest = BallsAtRest;
    ref.selected = SelectedBall;
    for (int v = 0; v < 4; ++v) {
      ref.clicks[v] = ClickLevels[v];
      ref.thuds[v] = ThudLevels[v];
      ref.clickIds[v] = audio.IdOf(ClickVoices[v]);
      ref.thudIds[v] = audio.IdOf(ThudVoices[v]);
    }
    ref.dropId = audio.IdOf(DropSound);
    ref.scoreId = audio.IdOf(ScoreSound);
    ref.foulId = audio.IdOf(FoulSound);
    return ref;
  }

  std::vector<SoundCall> TakeCalls() {
    std::vector<SoundCall> calls;
    for (const AudioCall& c : audio.Calls()) {
      if (c.op == AudioOp::Stop) calls.push_back({'S', c.object, 0});
      if (c.op == AudioOp::SetVolume) calls.push_back({'V', c.object, static_cast<long>(c.a)});
      if (c.op == AudioOp::Play) calls.push_back({'P', c.object, 0});
    }
    audio.ClearCalls();
    return calls;
  }

  static std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

  // Empty when the game and the reference agree on everything observable.
  std::string Compare(const Reference& ref, const std::vector<SoundCall>& calls) {
    std::ostringstream out;
    for (int i = 0; i < 16; ++i) {
      const BallState& b = Balls[i];
      const RefBall& r = ref.balls[i];
      const float got[9] = {b.Position.x, b.Position.y, b.Position.z, b.Velocity.x, b.Velocity.y,
                            b.Velocity.z, b.RollVelocity.x, b.RollVelocity.y, b.RollVelocity.z};
      const float want[9] = {r.p.x, r.p.y, r.p.z, r.v.x, r.v.y, r.v.z, r.r.x, r.r.y, r.r.z};
      for (int k = 0; k < 9; ++k)
        if (Bits(got[k]) != Bits(want[k]))
          out << "ball " << i << " field " << k << ": " << got[k] << " want " << want[k] << "\n";
      if (b.Status != r.status) out << "ball " << i << " status " << b.Status << " want " << r.status << "\n";
    }
    if (!ref.strokeOver) {
      if (StrokeContact != ref.contact) out << "StrokeContact " << StrokeContact << "\n";
      if (PocketedCount != ref.pocketed) out << "PocketedCount " << PocketedCount << " want " << ref.pocketed << "\n";
    }
    if (BallsAtRest != (ref.atRest || ref.strokeOver)) out << "BallsAtRest " << BallsAtRest << "\n";
    for (int v = 0; v < 4; ++v) {
      if (Bits(ClickLevels[v]) != Bits(ref.clicks[v])) out << "click level " << v << ": " << ClickLevels[v] << " want " << ref.clicks[v] << "\n";
      if (Bits(ThudLevels[v]) != Bits(ref.thuds[v])) out << "thud level " << v << ": " << ThudLevels[v] << " want " << ref.thuds[v] << "\n";
    }
    if (calls != ref.calls) out << "sound calls differ: " << calls.size() << " want " << ref.calls.size() << "\n";
    return out.str();
  }

  // Runs the game and the reference side by side for up to `steps` steps or until the stroke is over.
  // Returns the number of steps run.
  int Lockstep(int steps, const std::string& label) {
    Reference ref = Mirror();
    TakeCalls();
    for (int step = 1; step <= steps; ++step) {
      ref.calls.clear();
      StepPhysics();
      StepSound();
      ref.Step();
      std::string diff = Compare(ref, TakeCalls());
      if (!diff.empty()) {
        ADD_FAILURE() << label << ", step " << step << ":\n" << diff;
        return step;
      }
      if (ref.strokeOver) return step;
    }
    return steps;
  }
};

// Where a ball is put: the ways a step can go wrong are near the edges of its tests.
enum class Spot { Anywhere, NearCushion, NearPocket, NearBall, Dropping };

TEST_F(PhysicsReferenceTest, EveryStepMatchesThePlainStepBitForBit) {
  std::mt19937 rng(20240613);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  auto pick = [&](float lo, float hi) { return lo + (hi - lo) * unit(rng); };
  const float pocketSpots[6][2] = {{0.966f, -0.466f}, {-0.966f, -0.466f}, {-0.966f, 0.466f},
                                   {0.966f, 0.466f},  {0.0f, -0.5f},      {0.0f, 0.5f}};
  long totalSteps = 0;
  int strokesEnded = 0;
  for (int trial = 0; trial < 400 && !HasFailure(); ++trial) {
    for (BallState& b : Balls) b = BallState{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOffTable};
    const int count = 1 + static_cast<int>(unit(rng) * 15.99f);
    for (int i = 0; i < count; ++i) {
      BallState& b = Balls[(i * 7 + trial) % 16];
      const auto spot = static_cast<Spot>(static_cast<int>(unit(rng) * 4.99f));
      float x = pick(-0.95f, 0.95f), z = pick(-0.45f, 0.45f);
      if (spot == Spot::NearCushion) {
        if (unit(rng) < 0.5f) z = (unit(rng) < 0.5f ? -1.0f : 1.0f) * pick(0.46f, 0.4999f);
        else x = (unit(rng) < 0.5f ? -1.0f : 1.0f) * pick(0.96f, 0.9999f);
      } else if (spot == Spot::NearPocket) {
        const float* s = pocketSpots[static_cast<int>(unit(rng) * 5.99f)];
        x = s[0] + pick(-0.04f, 0.04f);
        z = std::clamp(s[1] + pick(-0.04f, 0.04f), -0.5f, 0.5f);
      } else if (spot == Spot::NearBall && i > 0) {
        const BallState& other = Balls[((i - 1) * 7 + trial) % 16];
        const float angle = pick(0.0f, 6.2831853f), distance = pick(0.0645f, 0.0655f);
        x = other.Position.x + distance * std::cos(angle);
        z = other.Position.z + distance * std::sin(angle);
      }
      b.Position = {x, 0.0f, z};
      b.Status = BallOnTable;
      if (spot == Spot::Dropping) {
        // Half-way keys, where rounding to even, away from zero and truncation all differ.
        const float halves[4] = {-1.5f, -0.5f, 0.5f, 1.5f};
        b.Position = {halves[static_cast<int>(unit(rng) * 3.99f)], -0.001f * pick(0.0f, 99.0f),
                      unit(rng) < 0.5f ? 0.0f : pick(-0.55f, 0.55f)};
        b.Status = BallDropping;
      }
      // Speeds from nothing to a hard stroke; rolls that match, lag, or have decayed to almost nothing.
      const float speed = unit(rng) < 0.25f ? 0.0f : std::pow(10.0f, pick(-7.5f, -2.4f));
      const float angle = pick(0.0f, 6.2831853f);
      b.Velocity = {speed * std::cos(angle), 0.0f, speed * std::sin(angle)};
      const float kind = unit(rng);
      if (kind < 0.3f) {
        b.RollVelocity = b.Velocity;
      } else if (kind < 0.6f) {
        const float roll = std::pow(10.0f, pick(-44.0f, -4.5f));
        b.RollVelocity = {roll * std::cos(angle + 1.0f), unit(rng) < 0.2f ? -roll : 0.0f, -roll * std::sin(angle)};
      }
    }
    // Some trials are a stroke to play out, others balls settling with nothing at stake.
    BallsAtRest = trial % 4 == 3;
    StrokeContact = false;
    PocketedCount = 0;
    for (int v = 0; v < 4; ++v) {
      ClickLevels[v] = pick(-1.0f, 0.6f);
      ThudLevels[v] = pick(-1.0f, 0.6f);
    }
    const bool stroke = !BallsAtRest;
    const int ran = Lockstep(stroke ? 20000 : 600, "trial " + std::to_string(trial));
    totalSteps += ran;
    if (stroke && ran < 20000) ++strokesEnded;
  }
  // The trials must reach the interesting paths, not just agree on empty tables.
  EXPECT_GT(totalSteps, 100000);
  EXPECT_GT(strokesEnded, 100);
  EXPECT_GT(audio.Count(AudioOp::Play), 1000);
}

// The cases the rules single out, each run against the reference.
TEST_F(PhysicsReferenceTest, EdgeCasesMatchThePlainStep) {
  auto clear = [] {
    for (BallState& b : Balls) b = BallState{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOffTable};
    BallsAtRest = false;
    StrokeContact = false;
    PocketedCount = 0;
  };
  auto place = [](int i, float x, float z, Vector3 v = {0, 0, 0}) {
    Balls[i] = BallState{{x, 0, z}, v, {0, 0, 0}, 0.0f, BallOnTable};
  };
  // Head-on at a closing speed of 1 unit per second: a click of level 0.2.
  clear();
  place(0, 0.0f, 0.0f, {0.001f, 0, 0});
  place(1, 0.066f, 0.0f);
  EXPECT_LT(Lockstep(20000, "head-on"), 20000);
  // Straight into the long cushion, and into a side pocket.
  clear();
  place(2, 0.3f, 0.4f, {0.0, 0, 0.002f});
  EXPECT_LT(Lockstep(20000, "cushion"), 20000);
  clear();
  place(3, 0.0f, 0.4f, {0.0, 0, 0.002f});
  EXPECT_LT(Lockstep(20000, "side pocket"), 20000);
  // A ball resting against a cushion and one moving away from it.
  clear();
  place(4, 0.5f, 0.5f - 0.03f);
  place(5, -0.5f, -0.5f + 0.03f, {0, 0, 0.0005f});
  EXPECT_LT(Lockstep(20000, "at a cushion"), 20000);
  // Three balls touching at once.
  clear();
  place(6, 0.0f, 0.0f, {0.002f, 0, 0});
  place(7, 0.0649f, 0.0f);
  place(8, 0.0649f, 0.0649f);
  EXPECT_LT(Lockstep(20000, "three balls"), 20000);
  // A long run across the table that grazes a still ball just inside a diameter, and one that passes it
  // just outside: the pairs are looked at only as the gap runs out, and must be looked at in time.
  for (float offset : {0.06499f, 0.06501f}) {
    clear();
    place(9, -0.9f, 0.0f, {0.0015f, 0, 0});
    Balls[9].RollVelocity = Balls[9].Velocity;
    place(10, 0.4f, offset);
    EXPECT_LT(Lockstep(20000, "graze at " + std::to_string(offset)), 20000);
  }
  // A ball lying against another, set rolling by its spin alone: it touches before it has moved.
  clear();
  place(11, 0.0f, 0.0f, {0.002f, 0, 0});
  place(12, 0.5f, 0.2f);
  Balls[12].RollVelocity = {0.001f, 0, 0};
  place(13, 0.5649f, 0.2f);
  EXPECT_LT(Lockstep(20000, "spin beside a touching ball"), 20000);
}

// Two centres at exactly one point have no direction between them: they do not collide, nothing turns
// into NaN, and the stroke ends.
TEST_F(PhysicsReferenceTest, TwoBallsAtOnePointDoNotCollide) {
  for (BallState& b : Balls) b = BallState{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOffTable};
  // After its first move ball 0 lies exactly on ball 1 (every value here is exact in binary).
  Balls[0] = BallState{{0.2421875f, 0, 0}, {0.0078125f, 0, 0}, {0.0078125f, 0, 0}, 0.0f, BallOnTable};
  Balls[1] = BallState{{0.25f, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0.0f, BallOnTable};
  BallsAtRest = false;
  StrokeContact = false;
  PocketedCount = 0;
  StepPhysics();
  ASSERT_EQ(Balls[0].Position.x, Balls[1].Position.x);
  EXPECT_FALSE(StrokeContact);
  int steps = 1;
  while (!BallsAtRest && steps < 100000) {
    StepPhysics();
    ++steps;
  }
  EXPECT_LT(steps, 100000) << "the stroke never ended";
  for (const BallState& b : Balls) {
    EXPECT_TRUE(std::isfinite(b.Position.x) && std::isfinite(b.Position.z));
    EXPECT_TRUE(std::isfinite(b.Velocity.x) && std::isfinite(b.Velocity.z));
  }
}

}  // namespace
