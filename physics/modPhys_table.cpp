// The table as the physics sees it: the cushion outline and the drop into a pocket.
#include <cmath>

#include "control/modCtrl.h"
#include "physics/modPhys.h"
#include "sound/modDS.h"

namespace kuvo {

std::vector<Vector3> CushionPoints;
std::int32_t CushionPointCount = 0;

bool FindCushionContact(const Vector3& position, Vector3& outNormal) {
  (void)position;
  (void)outNormal;
  return false;
}

void StepPocketDrop(int index) { (void)index; }

}  // namespace kuvo
