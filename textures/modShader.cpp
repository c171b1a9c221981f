// Shader and vertex declaration creation.
#include "textures/modShader.h"

namespace kuvo {

void CreateShaders() {}
void ReleaseShaders() {}

}  // namespace kuvo
