// The computer player.
#include "ai/modAI.h"

namespace kuvo {

float Difficulty = 0.035f;

void ChooseComputerShot() {}

}  // namespace kuvo
