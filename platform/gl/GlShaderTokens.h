// Direct3D 9 shader tokens rewritten, still as tokens, so that MojoShader's GLSL draws what Direct3D 9
// draws. No GL here: the rewrite is plain data in, data out.
#pragma once
#include <cstdint>
#include <vector>

namespace kuvo::gl {

// The vertex constant the device keeps for itself: (1 / width, -1 / height, 2, 0) of the back buffer, the
// first two a little short (GlDevice::SetFixUpConstant).
// Rewritten vertex shaders read it to move their positions; the game's constants end below it.
constexpr std::uint32_t kFixUpConstant = 255;

struct TokenRewrite {
  // No clip control: the vertex shader turns Direct3D's 0..w clip depth into GL's -w..w itself.
  bool remapDepth = false;
};

// The stream of `length` tokens (version to end token) rewritten:
// - `nrm` becomes dp3 / rsq / mul: MojoShader normalises all four components of the source, where
//   Direct3D divides all four by the length of x, y, z only.
// - A vertex shader writes its position into a spare temporary instead of oPos, and at its end moves
//   it half a pixel right and down by the fix-up constant (Direct3D 9 samples pixels at integer
//   coordinates, GL half a pixel further on), remaps depth if asked, and writes oPos.
// Empty if the stream is not shader model 2 or has no temporaries to spare.
std::vector<std::uint32_t> RewriteForGl(const std::uint32_t* tokens, std::uint32_t length, const TokenRewrite& rewrite);

// Where a vertex shader's position comes from when it is `m4x4 oPos, v<input>, c<constant>` and nothing
// else writes oPos: the declared position input times the four constants from `constant`.
struct PositionTransform {
  int input = -1;     // the input register declared as position 0
  int constant = -1;  // the first of the four constants, none of them defined by the shader
  bool Known() const { return input >= 0 && constant >= 0; }
};

// Looks through a shader model 2 vertex shader's tokens (version to end token) for that pattern.
PositionTransform FindPositionTransform(const std::uint32_t* tokens, std::uint32_t length);

}  // namespace kuvo::gl
