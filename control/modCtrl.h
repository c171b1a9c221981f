// Game control and rules: keys and mouse, the orbiting camera, ball selection, the cue and
// the stroke, the computer's timing, the rack, the end-of-stroke rules and the scores.
#pragma once
#include <cstdint>
#include <string>

#include "physics/modMath.h"

namespace kuvo {

// ---- Input and camera ----

// Held keys and buttons: indices 0..255 are virtual-key codes, -1 left, -2 right, -3 middle button.
extern bool KeyStateStore[259];
inline bool& KeyState(int index) { return KeyStateStore[index + 3]; }

extern std::int32_t CursorHomeX, CursorHomeY;  // screen pixels; the cursor returns here after each read
extern float MouseScaleX, MouseScaleY;         // radians per pixel before zoom scaling
extern std::int32_t PitchSign;                 // +1 or -1, flipped by key I
extern float AspectRatio;
extern float FieldOfView;  // radians, 0.1..1.5; also scales mouse sensitivity
extern float CameraYaw;    // not wrapped
extern float CameraPitch;  // 0.15..1
extern float AimSin, AimCos;  // (AimSin, 0, AimCos) points from the look point towards the camera
extern float PitchSin, PitchCos;
extern float CueElevation, CueElevSin, CueElevCos;
extern Vector3 AimPoint;   // where the camera wants to look
extern Vector3 LookPoint;  // smoothed camera target
extern Vector3 CameraEye;
extern Matrix4 ViewMatrix;
extern Matrix4 ProjectionMatrix;

void InitControl();
void ReadMouse(float& dx, float& dy);
void UpdateControl();
void UpdateCamera();

// ---- Ball selection, cue and stroke ----

extern std::int32_t SelectedBall;
extern bool BallsAtRest;     // no stroke in progress
extern bool OpeningStroke;   // the first stroke of a game always strikes ball 15
extern float CueTarget;      // commanded cue displacement; 0 is the ball's surface
extern float CuePosition;    // smoothed displacement; a stroke happens when it passes 0
extern Vector3 ComputerShot;  // x, z: direction of travel; y: stroke power
extern std::int32_t ComputerDelay;  // steps until the computer pushes its cue
extern Vector3 ComputerCueEye, ComputerCueTarget, CueEye;
extern Matrix4 CueMatrix;

void SelectBall(std::int32_t forward, std::int32_t side);
void Strike(float power);

// ---- Rack, turns, scoring and the winner ----

extern std::int32_t CurrentPlayer;      // 1 or 2
extern std::string PlayerNames[3];      // 1..2
extern bool IsComputer[3];              // 1..2
extern std::int32_t Scores[3];          // 1..2
extern bool StrokeContact;              // a ball touched another during this stroke
extern std::int32_t PocketedCount;      // balls that finished dropping during this stroke

void RackBalls();
// Scores the stroke that has just come to rest, passes the turn or penalises a foul.
void EndOfStroke();

}  // namespace kuvo
