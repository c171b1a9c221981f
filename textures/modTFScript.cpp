// The layer engine: the store and the operations as the recipes run them.
#include "textures/modTFScript.h"

#include <cmath>
#include <cstring>

#include "textures/modTFScript_detail.h"

namespace kuvo {

std::int32_t LayerSize = 0;
std::int32_t LayerMask = 0;
std::int32_t LayerHalf = 0;
std::vector<float> FloatLayers;
std::vector<std::uint8_t> ColourPlanes;

// Allocated on the first neighbour operation after InitLayers, so a store of planes only costs no grid.
static std::vector<float> Scratch;

float* LayerCells(int layer) { return FloatLayers.data() + static_cast<std::size_t>(layer) * tfs::CellCount(); }

std::uint8_t* PlanePixels(int plane) { return ColourPlanes.data() + static_cast<std::size_t>(plane) * tfs::CellCount() * 4; }

float* tfs::PrivateGrid() {
  if (Scratch.size() != CellCount()) Scratch.assign(CellCount(), 0.0f);
  return Scratch.data();
}

void InitLayers(int size, int layerCount, int planeCount) {
  // The old store goes first, so two stores never exist at once.
  std::vector<float>().swap(FloatLayers);
  std::vector<std::uint8_t>().swap(ColourPlanes);
  std::vector<float>().swap(Scratch);
  LayerSize = size;
  LayerMask = size - 1;
  LayerHalf = size / 2;
  std::size_t cells = tfs::CellCount();
  FloatLayers.assign(static_cast<std::size_t>(layerCount > 0 ? layerCount : 0) * cells, 0.0f);
  ColourPlanes.assign(static_cast<std::size_t>(planeCount > 0 ? planeCount : 0) * cells * 4, 0);
}

std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, float t) {
  double td = t;
  return tfs::ClampRoundedByte(std::nearbyint((1.0 - td) * a + td * b));
}

std::uint8_t SaturatingAdd(std::uint8_t a, std::uint8_t b) {
  int sum = a + b;
  return static_cast<std::uint8_t>(sum > 255 ? 255 : sum);
}

void FillLayer(int layer, float value) { reference::FillLayer(layer, value); }
void AddEllipse(int layer, float cx, float cy, float rx, float ry, float value) {
  reference::AddEllipse(layer, cx, cy, rx, ry, value);
}
void AddRect(int layer, float x, float y, float w, float h, float value) { reference::AddRect(layer, x, y, w, h, value); }
void FractalNoise(int layer, float base, float persistence, float seed) {
  reference::FractalNoise(layer, base, persistence, seed);
}
void HalveAndTile(int dst, int src) { reference::HalveAndTile(dst, src); }
void ShiftLayer(int dst, int src, float fx, float fy) { reference::ShiftLayer(dst, src, fx, fy); }
void AddLayers(int dst, int a, int b) { reference::AddLayers(dst, a, b); }
void BlurHorizontal(int dst, int src, float width) { reference::BlurHorizontal(dst, src, width); }
void BlurVertical(int dst, int src, float width) { reference::BlurVertical(dst, src, width); }
void Emboss(int dst, int src, float kx, float ky) { reference::Emboss(dst, src, kx, ky); }
void GradientMagnitude(int dst, int src) { reference::GradientMagnitude(dst, src); }
void ScaleOffset(int dst, int src, float a, float b) { reference::ScaleOffset(dst, src, a, b); }
void SineLayer(int dst, int src) { reference::SineLayer(dst, src); }
void BellLayer(int dst, int src) { reference::BellLayer(dst, src); }
void NormalizeRange(int dst, int src, float lo, float hi) { reference::NormalizeRange(dst, src, lo, hi); }
void RemoveColumnMeans(int dst, int src) { reference::RemoveColumnMeans(dst, src); }
void ColourMap(int plane, int layer, std::int32_t colourA, std::int32_t colourB) {
  reference::ColourMap(plane, layer, colourA, colourB);
}
void BlendPlanes(int dst, int planeA, int planeB, int layer) { reference::BlendPlanes(dst, planeA, planeB, layer); }
void AddPlanes(int dst, int planeA, int planeB) { reference::AddPlanes(dst, planeA, planeB); }
void FillPlane(int plane, std::int32_t colour) { reference::FillPlane(plane, colour); }
void NormalMap(int plane, int layer, float strength) { reference::NormalMap(plane, layer, strength); }

}  // namespace kuvo
