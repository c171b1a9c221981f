// The run loop with its three modes, and the device and frame it drives.
#pragma once

namespace kuvo {

class Gfx;
class GfxDevice;

// Run state, owned by the run loop.
extern bool Running;   // cleared by Esc
extern bool Paused;    // the window is inactive; written only by SubclassWndProc
extern bool GameOver;  // set by the end-of-stroke rules, cleared by RackBalls
extern double SimTime;   // clock time up to which the simulation has run
extern double ClockNow;  // clock reading at the top of the current pass
// The window was closed, during the run or just before it: the run ends after the current pass,
// whatever its mode (SIGINT and SIGTERM too). RunGame clears it when the run ends.
extern bool CloseRequested;

// Builds everything, runs passes until Running goes false, then releases everything.
void RunGame();
// Its two ends, shared with the benchmarks that measure a frame of the real game.
void StartUp();
void ShutDown();
// One pass of normal play: the steps up to ClockNow, then the camera and the frame.
void PlayPass();

// The platform's graphics service and the one rendering device, both set by CreateDevice3D.
extern Gfx* Direct3D;
extern GfxDevice* Device;

void CreateDevice3D();
void RenderFrame();
void ReleaseDevice3D();
// Window activation, as the WM_ACTIVATE handling of the window procedure: inactive pauses the loop.
void SubclassWndProc(bool active);

}  // namespace kuvo
