// The layer engine's operations written the plain way, cell by cell in the order their arithmetic is
// defined: the oracle the fast operations of textures/modTFScript.h must match bit for bit. Tests and
// benchmarks link it (kuvo_oracles); the game does not.
#pragma once
#include <cstdint>

namespace kuvo::reference {
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
void ColourMap(int plane, int layer, std::int32_t colourA, std::int32_t colourB);
void BlendPlanes(int dst, int planeA, int planeB, int layer);
void AddPlanes(int dst, int planeA, int planeB);
void FillPlane(int plane, std::int32_t colour);
void NormalMap(int plane, int layer, float strength);
}  // namespace kuvo::reference
