// The computer player: a geometric search for a pottable shot, spoilt by an aiming error.
#pragma once

namespace kuvo {

// Scale of the aiming error: 0.11 "Novice", 0.035 "Average", 0.01 "Master!".
extern float Difficulty;

// Writes SelectedBall and ComputerShot for the computer's next stroke.
void ChooseComputerShot();

}  // namespace kuvo
