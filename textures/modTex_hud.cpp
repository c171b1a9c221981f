// The text line: the scoreboard, the result and the prompt drawn on the text canvas, read back and
// copied into HudTexture's top level.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "platform/Platform.h"
#include "platform/TextCanvas.h"
#include "textures/modTex.h"

namespace kuvo {

std::vector<std::int32_t> HudPixels;
bool HudBlink = false;

namespace {

// Text colours, 0x00BBGGRR.
constexpr std::uint32_t CurrentPlayerColour = 0x4040FF;  // light red
constexpr std::uint32_t OtherPlayerColour = 0x404020;    // dark blue-green
constexpr std::uint32_t ResultColour = 0x0000FF;         // red
constexpr std::uint32_t PromptColour = 0xFFFFFF;         // white

// Every text's cell starts 5 pixels above the strip, so the 35-pixel font's capitals fill its 32 rows.
constexpr int TextTop = -5;

constexpr std::size_t HudRowBytes = static_cast<std::size_t>(HudWidth) * 4;  // 2048
constexpr std::size_t HudBytes = HudRowBytes * HudHeight;                     // 65536

// HudPixels into the locked top level. A managed 512-pixel level has rows of exactly 2048 bytes, so
// the copy is one block; a backend with padded rows still gets every row in place.
void CopyToLocked(const GfxLockedRect& locked) {
  const auto* from = reinterpret_cast<const std::uint8_t*>(HudPixels.data());
  auto* to = static_cast<std::uint8_t*>(locked.pBits);
  if (locked.Pitch == static_cast<std::int32_t>(HudRowBytes)) {
    std::memcpy(to, from, HudBytes);
  } else {
    for (int y = 0; y < HudHeight; ++y)
      std::memcpy(to + static_cast<std::ptrdiff_t>(y) * locked.Pitch, from + y * HudRowBytes, HudRowBytes);
  }
}

void Upload() {
  GfxRect rect{0, 0, HudWidth, HudHeight};
  GfxLockedRect locked{};
  Check(HudSurface->LockRect(&locked, &rect, 0), "Surface::LockRect");
  if (!locked.pBits || locked.Pitch < static_cast<std::int32_t>(HudRowBytes)) {
    // Rows narrower than the line cannot hold it: writing would run past the level.
    HudSurface->UnlockRect();
    throw DeviceError("Surface::LockRect", D3DERR_INVALIDCALL);
  }
  CopyToLocked(locked);
  Check(HudSurface->UnlockRect(), "Surface::UnlockRect");
}

}  // namespace

std::string BasicNumber(std::int32_t value) {
  const std::string digits = std::to_string(std::abs(static_cast<long long>(value)));
  return (value < 0 ? "-" : " ") + digits + " ";
}

std::string ResultText() {
  return std::to_string(Scores[1]) + ":" + std::to_string(Scores[2]) + " - " + PlayerNames[CurrentPlayer] + " won!";
}

void RedrawHud(bool blink) {
  if (blink) HudBlink = !HudBlink;
  TextCanvas* canvas = Host.text;
  if (!canvas || !HudSurface || HudPixels.size() * 4 != HudBytes) return;  // the text line is not set up

  // The canvas is shared (the notice window draws its words on it too), so the line claims its size.
  if (canvas->Width() != HudWidth || canvas->Height() != HudHeight) canvas->SetSize(HudWidth, HudHeight);
  canvas->Fill(0);
  if (!blink) {
    for (int i = 1; i <= 2; ++i) {
      canvas->DrawText(256 * i - 254, TextTop, PlayerNames[i] + ":" + BasicNumber(Scores[i]),
                       i == CurrentPlayer ? CurrentPlayerColour : OtherPlayerColour);
    }
  } else {
    const bool result = HudBlink;
    const std::string text = result ? ResultText() : std::string("Press F5 or Esc");
    // Centred on its measured width. An odd width puts the centre on a half pixel; it rounds half to
    // even like every conversion in the game, keeping the glyphs on whole pixels and their stems sharp.
    const double x = (HudWidth - static_cast<double>(canvas->MeasureText(text))) * 0.5;
    canvas->DrawText(static_cast<int>(std::lrint(x)), TextTop, text, result ? ResultColour : PromptColour);
  }
  canvas->ReadPixels(HudPixels.data(), HudBytes);
  Upload();
}

}  // namespace kuvo
