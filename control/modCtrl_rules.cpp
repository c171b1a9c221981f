// The rack, the end-of-stroke rules and the scores.
#include "control/modCtrl.h"

namespace kuvo {

std::int32_t CurrentPlayer = 1;
std::string PlayerNames[3] = {"", "Player1", "Player2"};
bool IsComputer[3] = {false, false, true};
std::int32_t Scores[3];
bool StrokeContact = false;
std::int32_t PocketedCount = 0;

void RackBalls() {}
void EndOfStroke() {}

}  // namespace kuvo
