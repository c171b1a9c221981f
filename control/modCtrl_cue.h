// The cue's steps inside UpdateControl and UpdateCamera; private to the control module.
#pragma once

namespace kuvo {

void CueRelax();
void CuePush(float dy);
void CueFollowAndStrike();
void SelectionKeys();
void ComputerTiming();
void UpdateCueMatrix();

}  // namespace kuvo
