// The game's textures: the recipes, their upload, and the text line.
#pragma once

namespace kuvo {

void BuildTextures();
void ReleaseTextures();
// false: the scoreboard; true: the next of the two alternating game-over texts.
void RedrawHud(bool blink);

}  // namespace kuvo
