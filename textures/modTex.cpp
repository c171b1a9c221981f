// Texture recipes and upload.
#include "textures/modTex.h"

namespace kuvo {

void BuildTextures() {}
void ReleaseTextures() {}
void RedrawHud(bool) {}

}  // namespace kuvo
