// The ten texture recipes and their upload on the recording graphics service: pinned bytes of every
// texture, the properties and spot values each picture is known by, the call sequence, and failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "app/modMain.h"
#include "app/modUtil.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/Platform.h"
#include "platform/testing/RecordingGfx.h"
#include "platform/testing/ScriptedWindow.h"
#include "tests/GfxTestSupport.h"
#include "textures/modTFScript.h"
#include "textures/modTFScript_detail.h"
#include "textures/modTex.h"

using namespace kuvo;

namespace {

class TexturesTest : public kuvo::testing::GfxFixture {
 protected:
  void TearDown() override {
    ReleaseTextures();
    GfxFixture::TearDown();
  }

  static RecordingTexture* Recorded(GfxTexture* texture) { return dynamic_cast<RecordingTexture*>(texture); }
  static const std::vector<std::uint8_t>& Bytes(GfxTexture* texture) { return Recorded(texture)->LevelBytes(0); }
  // Blue, green and red of a pixel as 0xRRGGBB, and its alpha byte apart.
  static std::uint32_t Colour(GfxTexture* texture, std::uint32_t x, std::uint32_t y) {
    return Recorded(texture)->Pixel(0, x, y) & 0xFFFFFFu;
  }
};

// FNV-1a over the bytes.
std::uint64_t Fingerprint(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

struct Pinned {
  const char* name;
  GfxTexture* const* handle;
  std::uint32_t size;
  std::uint64_t fingerprint;
};

// Computed with the plain, cell-by-cell definition of every layer operation; the fast operations must
// keep every byte.
const Pinned kPinned[] = {
    {"LampReflectionTexture", &LampReflectionTexture, 256, 0x9b1bc4b68797e982ull},
    {"PanelLightTexture", &PanelLightTexture, 256, 0xd8b10f5555c345b3ull},
    {"SurfaceTexture", &SurfaceTexture, 512, 0x589a31cecd99a31eull},
    {"SurfaceBumpTexture", &SurfaceBumpTexture, 512, 0x8b36011cee9cfc2dull},
    {"ClothTexture", &ClothTexture, 1024, 0x5d5324b75054ebd6ull},
    {"WoodTexture", &WoodTexture, 1024, 0x2968cc4d45b118d3ull},
    {"WhiteTexture", &WhiteTexture, 8, 0xac3deee29689bd25ull},
    {"WoodLightTexture", &WoodLightTexture, 256, 0x7f29b887bf823cb3ull},
    {"ClothLightTexture", &ClothLightTexture, 256, 0x7f9179b9424948bbull},
    {"ShadowTexture", &ShadowTexture, 256, 0xcbdc411aea9ff72cull},
};

TEST_F(TexturesTest, EveryTextureKeepsItsPinnedBytesAndFormat) {
  BuildTextures();
  for (const Pinned& p : kPinned) {
    SCOPED_TRACE(p.name);
    RecordingTexture* t = Recorded(*p.handle);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Width(), p.size);
    EXPECT_EQ(t->Height(), p.size);
    EXPECT_EQ(t->Usage(), D3DUSAGE_AUTOGENMIPMAP);
    EXPECT_EQ(t->Format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(t->Pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(t->Uploads(), 1);
    EXPECT_EQ(Fingerprint(t->LevelBytes(0)), p.fingerprint) << std::hex << Fingerprint(t->LevelBytes(0));
    for (std::size_t i = 3; i < t->LevelBytes(0).size(); i += 4) ASSERT_EQ(t->LevelBytes(0)[i], 0) << "alpha";
  }
  RecordingTexture* hud = Recorded(HudTexture);
  ASSERT_NE(hud, nullptr);
  EXPECT_EQ(hud->Width(), 512u);
  EXPECT_EQ(hud->Height(), 32u);
  EXPECT_EQ(hud->Usage(), D3DUSAGE_AUTOGENMIPMAP);
  EXPECT_EQ(hud->Uploads(), 0);
  auto* surface = dynamic_cast<RecordingSurface*>(HudSurface);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->Texture(), hud);
  EXPECT_EQ(surface->Level(), 0u);
  // The layer store keeps the last recipe's grids.
  EXPECT_EQ(LayerSize, 256);
}

TEST_F(TexturesTest, WithoutAHelperThreadEveryTextureKeepsItsPinnedBytes) {
  tfs::RefuseHelperThreads = true;
  BuildTextures();
  tfs::RefuseHelperThreads = false;
  for (const Pinned& p : kPinned)
    EXPECT_EQ(Fingerprint(Bytes(*p.handle)), p.fingerprint) << p.name << std::hex << " " << Fingerprint(Bytes(*p.handle));
}

TEST_F(TexturesTest, SpotValuesOfThePictures) {
  BuildTextures();
  for (std::uint32_t y = 0; y < 8; ++y)
    for (std::uint32_t x = 0; x < 8; ++x) ASSERT_EQ(Recorded(WhiteTexture)->Pixel(0, x, y), 0x00FFFFFFu);
  // The wrapped blurs keep the cloth's light map above mid grey even in its corners.
  EXPECT_EQ(Colour(ClothLightTexture, 128, 128), 0xFFFFFFu);
  for (std::uint32_t corner : {0u, 255u}) {
    EXPECT_EQ(Colour(ClothLightTexture, corner, corner), 0x898989u);
    EXPECT_EQ(Colour(ShadowTexture, corner, 255 - corner), 0u);
  }
  EXPECT_EQ(Colour(ShadowTexture, 128, 128), 0xFFFFFFu);
  // The floor's light map is dim: its glow peaks near byte 94, and the dark rectangle sits in the middle.
  std::uint32_t brightest = 0;
  for (std::uint32_t y = 0; y < 256; ++y)
    for (std::uint32_t x = 0; x < 256; ++x) brightest = std::max(brightest, Colour(WoodLightTexture, x, y) & 0xFF);
  EXPECT_NEAR(static_cast<int>(brightest), 94, 3);
  EXPECT_LT(Colour(WoodLightTexture, 128, 128) & 0xFF, brightest / 2);
  // The lamp saturates in its centre, blue first; the corners stay dark.
  EXPECT_EQ(Colour(LampReflectionTexture, 128, 128), 0xFFFFFFu);
  EXPECT_LT(Colour(LampReflectionTexture, 0, 0) & 0xFF, 0x30u);
  // Most of the bump map is the neutral blue-violet.
  int neutral = 0;
  for (std::uint32_t y = 0; y < 512; y += 4)
    for (std::uint32_t x = 0; x < 512; x += 4) {
      std::uint32_t c = Colour(SurfaceBumpTexture, x, y);
      int red = c >> 16, green = (c >> 8) & 0xFF, blue = c & 0xFF;
      if (std::abs(red - 128) <= 12 && std::abs(green - 128) <= 12 && blue >= 215) ++neutral;
    }
  EXPECT_GT(neutral, 128 * 128 / 2);
}

// The felt is one colour ramp over a slope field normalised to 0 .. 1: both ends of the ramp occur, and
// every pixel lies on it (red and blue follow from green, the channel with the most steps).
TEST_F(TexturesTest, ClothIsItsRampFromEndToEnd) {
  BuildTextures();
  bool darkest = false, lightest = false;
  for (std::uint32_t y = 0; y < 1024; ++y) {
    for (std::uint32_t x = 0; x < 1024; ++x) {
      const std::uint32_t c = Colour(ClothTexture, x, y);
      darkest |= c == 0x206010u;
      lightest |= c == 0xAAFFAAu;
      const double t = (static_cast<double>((c >> 8) & 0xFF) - 0x60) / (0xFF - 0x60);
      ASSERT_NEAR(static_cast<double>(c >> 16), 0x20 + t * (0xAA - 0x20), 1.0) << x << ", " << y;
      ASSERT_NEAR(static_cast<double>(c & 0xFF), 0x10 + t * (0xAA - 0x10), 1.0) << x << ", " << y;
    }
  }
  EXPECT_TRUE(darkest);
  EXPECT_TRUE(lightest);
}

// The floor is its grain ramp (0x152000 to 0xE07050 over -0.2 .. 1.2, clamped) pulled towards the speckle
// ramp (0x101040 to 0x8F8F8F) by the cloth's slope field t, which the cloth's green gives back. Where t is
// 1 the floor is the speckle's end; elsewhere the grain's position follows from green, and red and blue
// from it.
TEST_F(TexturesTest, WoodIsTheGrainBlendedTowardsTheSpeckleByTheClothsSlopes) {
  BuildTextures();
  auto clamp = [](double v) { return std::clamp(v, 0.0, 255.0); };
  double lowest = 9, highest = -9;
  int checked = 0;
  for (std::uint32_t y = 0; y < 1024; ++y) {
    for (std::uint32_t x = 0; x < 1024; ++x) {
      const std::uint32_t cloth = Colour(ClothTexture, x, y), wood = Colour(WoodTexture, x, y);
      const double red = wood >> 16, green = (wood >> 8) & 0xFF, blue = wood & 0xFF;
      if (cloth == 0xAAFFAAu) {
        EXPECT_EQ(wood, 0x8F8F8Fu) << x << ", " << y;
        continue;
      }
      const double t = (static_cast<double>((cloth >> 8) & 0xFF) - 0x60) / (0xFF - 0x60);
      if (t >= 0.5) continue;  // the grain's share is too small to read back
      const double speckleRed = 0x10 + t * 0x7F, speckleGreen = speckleRed, speckleBlue = 0x40 + t * 0x4F;
      const double grain = ((green - t * speckleGreen) / (1 - t) - 0x20) / 0x50;  // its green is never clamped
      lowest = std::min(lowest, grain);
      highest = std::max(highest, grain);
      ASSERT_NEAR(red, (1 - t) * clamp(0x15 + grain * 0xCB) + t * speckleRed, 4.0) << x << ", " << y;
      ASSERT_NEAR(blue, (1 - t) * clamp(grain * 0x50) + t * speckleBlue, 2.0) << x << ", " << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1024 * 1024 / 2);
  EXPECT_GT(lowest, -0.2 - 0.03);
  EXPECT_LT(highest, 1.2 + 0.03);
}

// The surface grain runs along y (a 257-cell vertical blur); its normal map comes from the halved, tiled
// copy, so it repeats every 256 columns, its blue follows from red and green, and its steepest slope
// lies 0.75 x 127.5 from the neutral 127.5, at byte 32 or 223.
TEST_F(TexturesTest, SurfaceGrainRunsAlongYAndItsNormalMapIsTheTiledCopysSlopes) {
  BuildTextures();
  double across = 0, along = 0;
  for (std::uint32_t y = 0; y < 512; ++y) {
    for (std::uint32_t x = 0; x < 512; ++x) {
      const int g = (Colour(SurfaceTexture, x, y) >> 8) & 0xFF;
      across += std::abs(g - static_cast<int>((Colour(SurfaceTexture, (x + 1) % 512, y) >> 8) & 0xFF));
      along += std::abs(g - static_cast<int>((Colour(SurfaceTexture, x, (y + 1) % 512) >> 8) & 0xFF));
    }
  }
  EXPECT_LT(4 * along, across);
  int lowest = 255, highest = 0;
  for (std::uint32_t y = 0; y < 512; ++y) {
    for (std::uint32_t x = 0; x < 512; ++x) {
      const std::uint32_t c = Colour(SurfaceBumpTexture, x, y);
      const int red = c >> 16, green = (c >> 8) & 0xFF, blue = c & 0xFF;
      ASSERT_EQ(blue, 223 - (std::abs(red - 128) + std::abs(green - 128)) / 4) << x << ", " << y;
      if (x < 256) {
        ASSERT_EQ(c, Colour(SurfaceBumpTexture, x + 256, y)) << x << ", " << y;
      }
      lowest = std::min({lowest, red, green});
      highest = std::max({highest, red, green});
    }
  }
  EXPECT_GE(lowest, 32);
  EXPECT_LE(highest, 223);
  EXPECT_TRUE(lowest == 32 || highest == 223) << lowest << " .. " << highest;
}

// The panel light's 3 x 3 panes of 69 x 51 cells, top-left columns 5, 82, 159 and rows 46, 102, 159, after a
// 7-cell box blur: along a line through pane centres each edge e ramps over e - 4 .. e + 3, so the red
// channel bends sharply at both ends of every ramp and nowhere else.
TEST_F(TexturesTest, PanelLightPanesSitAtTheirCellsAfterTheBlur) {
  BuildTextures();
  auto bends = [](std::initializer_list<int> starts, int size) {
    std::map<int, int> out;  // position -> sign of the bend
    for (int e : starts) {
      out[e - 4] = 1, out[e + 3] = -1;                // rising edge
      out[e + size - 4] = -1, out[e + size + 3] = 1;  // falling edge one pane later
    }
    return out;
  };
  const std::map<int, int> columns = bends({5, 82, 159}, 69), rows = bends({46, 102, 159}, 51);
  auto check = [](const std::map<int, int>& expected, auto red, const char* line) {
    for (int i = 1; i < 255; ++i) {
      const int bend = red(i + 1) - 2 * red(i) + red(i - 1);
      const auto it = expected.find(i);
      if (it == expected.end()) {
        EXPECT_LT(std::abs(bend), 5) << line << ": a bend at " << i;
      } else {
        EXPECT_GE(bend * it->second, 3) << line << ": no bend at " << i;
      }
    }
  };
  for (std::uint32_t y : {71u, 127u, 184u})
    check(columns, [&](int x) { return static_cast<int>(Colour(PanelLightTexture, x, y) >> 16); },
          ("row " + std::to_string(y)).c_str());
  for (std::uint32_t x : {39u, 116u, 193u})
    check(rows, [&](int y) { return static_cast<int>(Colour(PanelLightTexture, x, y) >> 16); },
          ("column " + std::to_string(x)).c_str());
}

TEST_F(TexturesTest, BuildingAgainGivesTheSameBytesWhateverTheGeneratorDid) {
  SeedNoise(12345.0f);
  BuildTextures();
  std::vector<std::vector<std::uint8_t>> first;
  for (const Pinned& p : kPinned) first.push_back(Bytes(*p.handle));
  // The generator continues from the cloth's last draw: 4 + 16 + ... + 1024^2 = 1398100 of them.
  const float next = NextNoise();
  SeedNoise(ClothSeed());
  for (int i = 0; i < 1398100; ++i) NextNoise();
  EXPECT_EQ(next, NextNoise());

  SeedNoise(0.25f);
  for (int i = 0; i < 1000; ++i) NextNoise();
  const long released = gfx.Count("Texture::Release");
  BuildTextures();
  for (std::size_t k = 0; k < std::size(kPinned); ++k) EXPECT_EQ(Bytes(*kPinned[k].handle), first[k]) << kPinned[k].name;
  // Rebuilding replaced the first set: each old texture and surface was released.
  EXPECT_EQ(gfx.Count("Texture::Release") - released, 11);
}

TEST_F(TexturesTest, ClothSeedIsTheFirstValueOfTheTwentyFourBitGenerator) {
  EXPECT_EQ(ClothSeed(), 11837123.0f / 16777216.0f);
  EXPECT_EQ(ClothSeed(), 0.7055475f);
}

TEST_F(TexturesTest, UploadPlaneCopiesPlaneZeroThroughOneLock) {
  InitLayers(8, 0, 1);
  FillPlane(0, 0xFFFFFF);
  GfxTexture* texture = UploadPlane();
  ASSERT_NE(Recorded(texture), nullptr);
  const std::vector<std::uint8_t>& bytes = Bytes(texture);
  ASSERT_EQ(bytes.size(), 8u * 8 * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], i % 4 == 3 ? 0x00 : 0xFF);

  ASSERT_EQ(gfx.Names(), (std::vector<std::string_view>{"Device::CreateTexture", "Texture::GetSurfaceLevel",
                                                         "Surface::LockRect", "Surface::UnlockRect",
                                                         "Surface::Release"}));
  const auto& calls = gfx.Calls();
  // 8 x 8, full chain, generated mipmaps, A8R8G8B8, managed, no shared handle.
  EXPECT_EQ(calls[0].args, (std::vector<double>{8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, 1, 0}));
  EXPECT_EQ(calls[1].args[1], 0);
  // The whole level as a rectangle, flags 0.
  EXPECT_EQ(std::vector<double>(calls[2].args.begin() + 1, calls[2].args.end()),
            (std::vector<double>{1, 0, 0, 8, 8, 0}));
  EXPECT_EQ(Recorded(texture)->References(), 1u);
  texture->Release();
}

TEST_F(TexturesTest, AFailedLockRaisesTheDeviceErrorAndLeavesNothingBehind) {
  InitLayers(8, 0, 1);
  gfx.FailCall("Surface::LockRect", 1, D3DERR_INVALIDCALL);
  try {
    UploadPlane();
    FAIL() << "no error";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Call(), "Surface::LockRect");
    EXPECT_EQ(e.Code(), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(gfx.Count("Surface::Release"), 1);
  EXPECT_EQ(gfx.Count("Texture::Release"), 1);
}

TEST_F(TexturesTest, AFailedCreationEndsTheBuildWithItsName) {
  gfx.FailCall("Device::CreateTexture", 3);  // the surface recipe's first texture
  try {
    BuildTextures();
    FAIL() << "no error";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.Call(), "Device::CreateTexture");
  }
  EXPECT_NE(LampReflectionTexture, nullptr);
  EXPECT_NE(PanelLightTexture, nullptr);
  EXPECT_EQ(SurfaceTexture, nullptr);
}

TEST_F(TexturesTest, ReleaseTexturesDropsAllElevenHandles) {
  BuildTextures();
  const long textures = gfx.Count("Texture::Release"), surfaces = gfx.Count("Surface::Release");
  ReleaseTextures();
  EXPECT_EQ(gfx.Count("Texture::Release") - textures, 11);
  EXPECT_EQ(gfx.Count("Surface::Release") - surfaces, 1);
  for (const Pinned& p : kPinned) EXPECT_EQ(*p.handle, nullptr) << p.name;
  EXPECT_EQ(HudTexture, nullptr);
  EXPECT_EQ(HudSurface, nullptr);
  ReleaseTextures();  // nothing left to release
  EXPECT_EQ(gfx.Count("Texture::Release") - textures, 11);
}

}  // namespace
