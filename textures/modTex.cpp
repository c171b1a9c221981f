// The five texture recipes over the layer engine, the upload of a colour plane, and the text line's texture.
#include "textures/modTex.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "app/modMain.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/Platform.h"
#include "platform/TextCanvas.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"

namespace kuvo {

GfxTexture* LampReflectionTexture = nullptr;
GfxTexture* PanelLightTexture = nullptr;
GfxTexture* SurfaceTexture = nullptr;
GfxTexture* SurfaceBumpTexture = nullptr;
GfxTexture* ClothTexture = nullptr;
GfxTexture* WoodTexture = nullptr;
GfxTexture* WhiteTexture = nullptr;
GfxTexture* WoodLightTexture = nullptr;
GfxTexture* ClothLightTexture = nullptr;
GfxTexture* ShadowTexture = nullptr;
GfxTexture* HudTexture = nullptr;
GfxSurface* HudSurface = nullptr;

namespace {

// Every texture of the game: A8R8G8B8, managed, with the device generating the mipmap chain.
GfxTexture* CreateGameTexture(std::uint32_t width, std::uint32_t height) {
  GfxTexture* texture = nullptr;
  Check(Device->CreateTexture(width, height, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                              nullptr),
        "Device::CreateTexture");
  return texture;
}

template <class T>
void ReleaseHandle(T*& handle) {
  if (handle) handle->Release();
  handle = nullptr;
}

void Store(GfxTexture*& handle, GfxTexture* texture) {
  ReleaseHandle(handle);
  handle = texture;
}

// Blur both: horizontally then vertically, in place.
void BlurBoth(int layer, float width) {
  BlurHorizontal(layer, layer, width);
  BlurVertical(layer, layer, width);
}

}  // namespace

float ClothSeed() {
  // The standard 24-bit generator's first step from its start value 327680.
  std::uint64_t x = 327680;
  x = (x * 1140671485u + 12820163u) % (std::uint64_t{1} << 24);
  return static_cast<float>(x) / 16777216.0f;
}

GfxTexture* UploadPlane() {
  const int n = LayerSize;
  GfxTexture* texture = CreateGameTexture(static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n));
  GfxSurface* surface = nullptr;
  GfxLockedRect locked{};
  try {
    Check(texture->GetSurfaceLevel(0, &surface), "Texture::GetSurfaceLevel");
    GfxRect rect{0, 0, n, n};
    Check(surface->LockRect(&locked, &rect, 0), "Surface::LockRect");
    const std::uint8_t* plane = PlanePixels(0);
    const std::size_t rowBytes = static_cast<std::size_t>(n) * 4;
    if (locked.Pitch == static_cast<std::int32_t>(rowBytes)) {
      std::memcpy(locked.pBits, plane, rowBytes * static_cast<std::size_t>(n));
    } else {
      // A backend with padded rows still gets every row in place.
      for (int y = 0; y < n; ++y)
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch,
                    plane + y * rowBytes, rowBytes);
    }
    Check(surface->UnlockRect(), "Surface::UnlockRect");
  } catch (...) {
    // Nothing will hold these once the error ends start-up.
    ReleaseHandle(surface);
    texture->Release();
    throw;
  }
  surface->Release();
  return texture;
}

void MakeLampReflection() {
  InitLayers(256, 2, 1);
  // Three rings of panes, cut by bars along four angular bands either side of each axis.
  tfs::Checked("MakeLampReflection", [] {
    float* lamp = LayerCells(0);
    const float oneFifteenth = 1.0f / 15.0f, oneTenth = 0.1f, oneQuarter = 0.25f;
    for (int i = 0; i < 256; ++i) {
      for (int j = 0; j < 256; ++j) {
        float dx = static_cast<float>(j) - 127.5f;
        float dy = static_cast<float>(i) - 127.5f;
        float r = std::sqrt(dx * dx + dy * dy);
        float t = std::fabs(dx / dy);
        bool ring = std::lrint(r) % 30 >= 9 && r > 50.0f && r < 110.0f;
        bool bar =
            t >= oneFifteenth && t <= 15.0f && (t <= oneTenth || t >= oneQuarter) && (t <= 4.0f || t >= 10.0f);
        float& cell = lamp[i * 256 + j];
        if (ring && !bar) cell = 0.3f;
        cell += 6.0f / r;
      }
    }
  });
  BlurBoth(0, 0.01f);
  BlurHorizontal(1, 0, 0.07f);
  BlurVertical(1, 1, 0.07f);
  ScaleOffset(1, 1, 3.0f, 0.0f);
  AddLayers(0, 0, 1);
  ColourMap(0, 0, 0x000000, 0x406080);
  Store(LampReflectionTexture, UploadPlane());
}

void MakePanelLight() {
  InitLayers(256, 2, 1);
  AddEllipse(0, 0.73f, 0.14f, 5.14f, 1.7f, 0.1f);
  BlurBoth(0, 0.01f);
  GradientMagnitude(0, 0);
  ScaleOffset(0, 0, -0.0062f, 0.0f);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j)
      AddRect(0, static_cast<float>(0.32 + 0.3 * i), static_cast<float>(0.4 + 0.22 * j), 0.27f, 0.2f, 0.3f);
  BlurBoth(0, 0.02f);
  BlurHorizontal(1, 0, 0.17f);
  BlurVertical(1, 1, 0.17f);
  ScaleOffset(1, 1, 3.0f, 0.0f);
  AddLayers(0, 0, 1);
  ColourMap(0, 0, 0x000000, 0x8FBFFF);
  Store(PanelLightTexture, UploadPlane());
}

void MakeSurfaceTextures() {
  InitLayers(512, 2, 2);
  FractalNoise(0, 0.3f, 0.4f, 3.0f);
  NormalizeRange(0, 0, -4.0f, 4.0f);
  BellLayer(0, 0);
  BlurVertical(0, 0, 0.5f);
  NormalizeRange(0, 0, 0.0f, 20.0f);
  SineLayer(0, 0);
  Emboss(0, 0, 0.6f, -0.3f);
  GradientMagnitude(0, 0);
  RemoveColumnMeans(0, 0);
  NormalizeRange(0, 0, 0.0f, 3.0f);
  HalveAndTile(1, 0);
  ShiftLayer(1, 1, 0.29f, 0.47f);
  ColourMap(0, 0, 0x000000, 0x585048);
  ColourMap(1, 1, 0x060C06, 0x908858);
  AddPlanes(0, 0, 1);
  Store(SurfaceTexture, UploadPlane());
  NormalMap(0, 1, 0.75f);
  Store(SurfaceBumpTexture, UploadPlane());
}

void MakeClothAndWood() {
  InitLayers(1024, 2, 2);
  FractalNoise(1, 0.0f, 0.8f, ClothSeed());
  GradientMagnitude(1, 1);
  NormalizeRange(1, 1, 0.0f, 1.0f);
  ColourMap(0, 1, 0x206010, 0xAAFFAA);
  Store(ClothTexture, UploadPlane());
  AddEllipse(0, 0.6f, 0.7f, 2.3f, 6.3f, 1.0f);
  AddEllipse(0, 0.35f, 0.12f, 1.9f, 7.6f, 1.0f);
  for (int pass = 0; pass < 2; ++pass) {
    BlurHorizontal(0, 0, 0.06f);
    BlurVertical(0, 0, 0.02f);
  }
  GradientMagnitude(0, 0);
  GradientMagnitude(0, 0);
  NormalizeRange(0, 0, -0.2f, 1.2f);
  ColourMap(0, 0, 0x152000, 0xE07050);
  ColourMap(1, 1, 0x101040, 0x8F8F8F);
  BlendPlanes(0, 0, 1, 1);
  Store(WoodTexture, UploadPlane());
  InitLayers(8, 0, 1);
  FillPlane(0, 0xFFFFFF);
  Store(WhiteTexture, UploadPlane());
}

void MakeLightMaps() {
  InitLayers(256, 1, 1);
  AddEllipse(0, 0.5f, 0.5f, 0.1f, 0.1f, 1.0f);
  const float squares[4][2] = {{0.7f, 0.45f}, {0.2f, 0.45f}, {0.45f, 0.2f}, {0.45f, 0.7f}};
  for (const auto& s : squares) AddRect(0, s[0], s[1], 0.1f, 0.1f, 1.0f);
  BlurBoth(0, 0.3f);
  AddRect(0, 0.4f, 0.44f, 0.2f, 0.12f, -0.25f);
  BlurBoth(0, 0.02f);
  ColourMap(0, 0, 0x000000, 0xFFFFFF);
  Store(WoodLightTexture, UploadPlane());

  FillLayer(0, 0.0f);
  AddRect(0, 0.1f, 0.1f, 0.8f, 0.8f, 1.0f);
  for (int pass = 0; pass < 2; ++pass) BlurBoth(0, 0.2f);
  ColourMap(0, 0, 0x808080, 0xFFFFFF);
  Store(ClothLightTexture, UploadPlane());

  FillLayer(0, 0.0f);
  AddEllipse(0, 0.5f, 0.5f, 0.3f, 0.3f, 1.0f);
  for (int pass = 0; pass < 2; ++pass) BlurBoth(0, 0.2f);
  ColourMap(0, 0, 0x000000, 0xFFFFFF);
  Store(ShadowTexture, UploadPlane());
}

void BuildTextures() {
  MakeLampReflection();
  MakePanelLight();
  MakeSurfaceTextures();
  MakeClothAndWood();
  MakeLightMaps();
  SetUpHud();
}

// The text line's canvas, pixels, texture and surface; the texture stays empty until the first RedrawHud.
void SetUpHud() {
  if (Host.text) Host.text->SetSize(HudWidth, HudHeight);
  HudPixels.assign(static_cast<std::size_t>(HudWidth) * HudHeight, 0);
  ReleaseHandle(HudTexture);
  ReleaseHandle(HudSurface);
  HudTexture = CreateGameTexture(HudWidth, HudHeight);
  Check(HudTexture->GetSurfaceLevel(0, &HudSurface), "Texture::GetSurfaceLevel");
}

void ReleaseTextures() {
  GfxTexture** handles[] = {&LampReflectionTexture, &PanelLightTexture, &SurfaceTexture, &SurfaceBumpTexture,
                            &ClothTexture,          &WoodTexture,       &WhiteTexture,   &WoodLightTexture,
                            &ClothLightTexture,     &ShadowTexture,     &HudTexture};
  // The surface holds its texture alive, so it goes first.
  ReleaseHandle(HudSurface);
  for (GfxTexture** handle : handles) ReleaseHandle(*handle);
}

}  // namespace kuvo
