// The texture layer engine: one store of N x N float layers and B, G, R, A colour planes,
// and the operations every texture of the game is computed with. Pure computation, no device.
#pragma once
#include <cstdint>
#include <vector>

namespace kuvo {

// The store, replaced by every InitLayers; the recipes of modTex read colour plane 0 for upload.
extern std::int32_t LayerSize;  // N, a power of two, at least 2
extern std::int32_t LayerMask;  // N - 1: AND with it is the wrap-around, for negative indices too
extern std::int32_t LayerHalf;  // N / 2
extern std::vector<float> FloatLayers;          // [layer][y][x], x fastest
extern std::vector<std::uint8_t> ColourPlanes;  // [plane][y][x][channel], channel 0 blue .. 3 alpha

// First cell of a layer and first byte of a plane in the store.
float* LayerCells(int layer);
std::uint8_t* PlanePixels(int plane);

// Every operation below raises FloatingPointError when it overflows, divides by zero or
// performs an invalid operation. Positions and sizes are fractions of N.
void InitLayers(int size, int layerCount, int planeCount);
void FillLayer(int layer, float value);
void AddEllipse(int layer, float cx, float cy, float rx, float ry, float value);
void AddRect(int layer, float x, float y, float w, float h, float value);
void FractalNoise(int layer, float base, float persistence, float seed);
void HalveAndTile(int dst, int src);
void ShiftLayer(int dst, int src, float fx, float fy);
void AddLayers(int dst, int a, int b);
void BlurHorizontal(int dst, int src, float width);
void BlurVertical(int dst, int src, float width);
void Emboss(int dst, int src, float kx, float ky);
void GradientMagnitude(int dst, int src);
void ScaleOffset(int dst, int src, float a, float b);
void SineLayer(int dst, int src);
void BellLayer(int dst, int src);
void NormalizeRange(int dst, int src, float lo, float hi);
void RemoveColumnMeans(int dst, int src);
// Colours are 0x00RRGGBB.
void ColourMap(int plane, int layer, std::int32_t colourA, std::int32_t colourB);
void BlendPlanes(int dst, int planeA, int planeB, int layer);
void AddPlanes(int dst, int planeA, int planeB);
void FillPlane(int plane, std::int32_t colour);
void NormalMap(int plane, int layer, float strength);

// round((1 - t) a + t b) in double, clamped to 0 .. 255.
std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, float t);
std::uint8_t SaturatingAdd(std::uint8_t a, std::uint8_t b);

}  // namespace kuvo
