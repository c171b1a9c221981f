// Sound synthesis and playback.
#include "sound/modDS.h"

namespace kuvo {

void InitSound() {}
void PlayStroke(float) {}
void PlayDrop() {}
void PlayScore() {}
void PlayFoul() {}
void PlayClick(float) {}
void PlayThud(float) {}
void StepSound() {}
void ReleaseSound() {}

}  // namespace kuvo
