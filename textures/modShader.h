// The vertex declaration and the six shaders.
#pragma once

namespace kuvo {

void CreateShaders();
void ReleaseShaders();

}  // namespace kuvo
