// Sound: synthesis of the six effects, and their playback with voices for impacts.
#pragma once

namespace kuvo {

void InitSound();
void PlayStroke(float level);
void PlayDrop();
void PlayScore();
void PlayFoul();
void PlayClick(float level);
void PlayThud(float level);
void StepSound();
void ReleaseSound();

}  // namespace kuvo
