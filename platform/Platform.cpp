// Storage of the chosen backends.
#include "platform/Platform.h"

namespace kuvo {

Platform Host;

}  // namespace kuvo
