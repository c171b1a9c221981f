// The game's textures: the five recipes over the layer engine, their upload, and the text line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kuvo {

class GfxTexture;
class GfxSurface;

// Texture handles, owned by BuildTextures and ReleaseTextures; the draw passes bind them. Null until built.
extern GfxTexture* LampReflectionTexture;  // 256 x 256, mirrored in every shiny object
extern GfxTexture* PanelLightTexture;      // 256 x 256, light map of the wall panels
extern GfxTexture* SurfaceTexture;         // 512 x 512, surface detail of the reflective shaders
extern GfxTexture* SurfaceBumpTexture;     // 512 x 512, normal map perturbing the reflection lookup
extern GfxTexture* ClothTexture;           // 1024 x 1024, bed and cushions
extern GfxTexture* WoodTexture;            // 1024 x 1024, room floor
extern GfxTexture* WhiteTexture;           // 8 x 8, under the wall panels' light map
extern GfxTexture* WoodLightTexture;       // 256 x 256, light map of the floor
extern GfxTexture* ClothLightTexture;      // 256 x 256, light map of the bed
extern GfxTexture* ShadowTexture;          // 256 x 256, the soft ball shadow
extern GfxTexture* HudTexture;             // 512 x 32, the text line; RedrawHud fills it
extern GfxSurface* HudSurface;             // level 0 of HudTexture

// The text line, owned by BuildTextures' set-up and RedrawHud.
constexpr int HudWidth = 512, HudHeight = 32;
// The canvas read back: HudWidth x HudHeight pixels, top row first, bytes blue, green, red, 0.
extern std::vector<std::int32_t> HudPixels;
// Which game-over text comes next: flipped by every RedrawHud(true), never reset, not even by a new game.
extern bool HudBlink;

// Runs the five recipes in order, then sets up the text line: sizes Host.text's canvas, zeroes HudPixels
// and creates the empty text-line texture and its surface. Needs Device.
void BuildTextures();
// That last step of BuildTextures alone.
void SetUpHud();
// Releases the eleven textures (and the text line's surface), setting each handle to null.
void ReleaseTextures();
// false: the scoreboard; true: the next of the two alternating game-over texts. Draws on Host.text, reads
// it back into HudPixels and copies them into HudSurface; a failing call raises DeviceError. Before the
// text line is set up (no canvas, or textures not built) only HudBlink changes.
void RedrawHud(bool blink);
// A number as BASIC prints it: a space for a plus sign (else "-"), the digits, one trailing space.
std::string BasicNumber(std::int32_t value);
// The game-over result: "S1:S2 - <name of CurrentPlayer> won!".
std::string ResultText();

// The recipes, in the order BuildTextures runs them. Each starts with its own InitLayers.
void MakeLampReflection();
void MakePanelLight();
void MakeSurfaceTextures();
void MakeClothAndWood();
void MakeLightMaps();

// A new texture, LayerSize square with a generated mipmap chain, holding colour plane 0.
GfxTexture* UploadPlane();

// The seed of the cloth's noise: the first value of the standard 24-bit generator, 11837123 / 2^24.
float ClothSeed();

}  // namespace kuvo
