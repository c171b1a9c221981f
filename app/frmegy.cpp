// The notice window: a picture the game paints with its own layer engine and text canvas, and an "X".
#include "app/frmegy.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/modUtil.h"
#include "platform/Platform.h"
#include "platform/TextCanvas.h"
#include "textures/modTFScript.h"

namespace kuvo {

Form frmegy;
Picture NoticePicture;

namespace {

constexpr int NoticeWidth = 685;
constexpr int NoticeHeight = 361;
constexpr int BandTop = 250;  // the text band at the bottom of the notice
// A text cell of the canvas font: ascent 30 and descent 11 pixels, rounded up.
constexpr int CanvasCellHeight = 42;

class frmegyHandlers : public FormEvents {
 public:
  void Click(int control) override {
    if (control == Command1) frmegy_Command1_Click();
  }
  // The close box unloads the notice as "X" does.
  void Close() override { frmegy.loaded = false; }
};

std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, float t) {
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    float ca = static_cast<float>((a >> shift) & 0xFF), cb = static_cast<float>((b >> shift) & 0xFF);
    auto c = static_cast<std::uint32_t>(std::lround(std::clamp(ca + (cb - ca) * t, 0.0f, 255.0f)));
    out |= c << shift;
  }
  return out;
}

// Sixteen ivory balls on noisy cloth, seen from above, light from the top left.
void PaintTable() {
  InitLayers(512, 3, 2);
  FractalNoise(0, 0.0f, 0.75f, 5.0f);
  NormalizeRange(0, 0, 0.0f, 1.0f);
  ColourMap(0, 0, 0x0A3A12, 0x2C7E34);
  FillLayer(1, 0.0f);
  constexpr float Radius = 0.022f;
  for (int row = 0; row < 5; ++row)
    for (int k = 0; k <= row; ++k)
      AddEllipse(1, 0.55f + 0.039f * static_cast<float>(row), 0.22f + 0.045f * (static_cast<float>(k) - 0.5f * static_cast<float>(row)),
                 Radius, Radius, 1.0f);
  AddEllipse(1, 0.25f, 0.22f, Radius, Radius, 1.0f);
  // Soft shadows down and to the right.
  ShiftLayer(2, 1, 1.0f - 6.0f / 512.0f, 1.0f - 6.0f / 512.0f);
  BlurHorizontal(2, 2, 0.012f);
  BlurVertical(2, 2, 0.012f);
  ScaleOffset(2, 2, 0.6f, 0.0f);
  FillPlane(1, 0x031005);
  BlendPlanes(0, 0, 1, 2);
  // Shading from the slope of the blurred balls.
  BlurHorizontal(2, 1, 0.008f);
  BlurVertical(2, 2, 0.008f);
  Emboss(2, 2, -0.004f, -0.004f);
  ScaleOffset(2, 2, 1.0f, 0.35f);
  ColourMap(1, 2, 0xB8A880, 0xFFFFF4);
  BlendPlanes(0, 0, 1, 1);
}

}  // namespace

bool NoticeDay(int dayOfMonth) { return dayOfMonth % 5 == 0; }

Picture SolidPicture(int width, int height, std::uint32_t rgb) {
  Picture p;
  p.width = width;
  p.height = height;
  p.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), rgb);
  return p;
}

void WriteText(Picture& picture, int x, int y, std::string_view text, std::uint32_t rgb, float scale) {
  TextCanvas* canvas = Host.text;
  if (!canvas || text.empty()) return;
  int sw = canvas->MeasureText(text), sh = CanvasCellHeight;
  canvas->SetSize(sw, sh);
  canvas->Fill(0);
  canvas->DrawText(0, 0, text, 0xFFFFFF);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh) * 4);
  canvas->ReadPixels(bytes.data(), bytes.size());
  canvas->SetSize(0, 0);
  int tw = static_cast<int>(std::ceil(static_cast<float>(sw) * scale));
  int th = static_cast<int>(std::ceil(static_cast<float>(sh) * scale));
  if (x < 0) x = (picture.width - tw) / 2;
  if (y < 0) y = (picture.height - th) / 2;
  for (int ty = 0; ty < th; ++ty) {
    int y0 = static_cast<int>(static_cast<float>(ty) / scale);
    int y1 = std::min(sh, std::max(y0 + 1, static_cast<int>(static_cast<float>(ty + 1) / scale)));
    for (int tx = 0; tx < tw; ++tx) {
      int px = x + tx, py = y + ty;
      if (px < 0 || py < 0 || px >= picture.width || py >= picture.height) continue;
      int x0 = static_cast<int>(static_cast<float>(tx) / scale);
      int x1 = std::min(sw, std::max(x0 + 1, static_cast<int>(static_cast<float>(tx + 1) / scale)));
      // The white glyphs' green byte is their coverage; a box filter averages it over the source cells.
      int sum = 0, count = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx, ++count) sum += bytes[(static_cast<std::size_t>(sy) * sw + sx) * 4 + 1];
      if (count == 0 || sum == 0) continue;
      float alpha = static_cast<float>(sum) / (255.0f * static_cast<float>(count));
      std::uint32_t& pixel = picture.pixels[static_cast<std::size_t>(py) * picture.width + px];
      pixel = Lerp(pixel, rgb, alpha);
    }
  }
}

Picture MakeNoticePicture() {
  PaintTable();
  Picture p = SolidPicture(NoticeWidth, NoticeHeight, 0);
  // One layer cell per 685/512 pixels, so the balls stay round.
  const float cellsPerPixel = static_cast<float>(LayerSize) / NoticeWidth;
  const std::uint8_t* plane = PlanePixels(0);
  for (int y = 0; y < NoticeHeight; ++y)
    for (int x = 0; x < NoticeWidth; ++x) {
      int cx = std::min(LayerSize - 1, static_cast<int>(static_cast<float>(x) * cellsPerPixel));
      int cy = std::min(LayerSize - 1, static_cast<int>(static_cast<float>(y) * cellsPerPixel));
      const std::uint8_t* c = plane + (static_cast<std::size_t>(cy) * LayerSize + cx) * 4;
      std::uint32_t rgb = (std::uint32_t{c[2]} << 16) | (std::uint32_t{c[1]} << 8) | c[0];
      if (y >= BandTop) rgb = Lerp(rgb, 0x000000, 0.7f);
      if (y == BandTop || y == BandTop + 1) rgb = 0xB08A3C;
      p.pixels[static_cast<std::size_t>(y) * NoticeWidth + x] = rgb;
    }
  // The layer engine drew from the game's generator; the game's own sequence starts from 0 at load,
  // as if no notice had been painted.
  SeedNoise(0.0f);
  WriteText(p, -1, 14, "A fifth-day notice", 0xE8C870, 1.0f);
  const char* lines[] = {"Cloth, balls and light on this card were grown",
                         "from noise by Kuvo's own layer engine:",
                         "no photographs, no files, nothing read.",
                         "Press X to rack up. Good shooting!"};
  int y = BandTop + 10;
  for (const char* line : lines) {
    WriteText(p, 24, y, line, 0xF0E6C8, 0.6f);
    y += 24;
  }
  return p;
}

void ShowNotice() {
  frmegy = Form{};
  frmegy.caption = "Kuvo notice";
  frmegy.controls.resize(frmegyControlCount);
  Control& image = frmegy.controls[frmegyImage1];
  image.name = "Image1";
  image.kind = ControlKind::Image;
  image.tabStop = false;
  Control& spare = frmegy.controls[Command2];  // first in the tab order, so "X" does not hold the focus
  spare.name = "Command2";
  spare.kind = ControlKind::Button;
  spare.left = 240;
  spare.width = 460;
  spare.height = 300;
  Control& close = frmegy.controls[Command1];
  close.name = "Command1";
  close.kind = ControlKind::Button;
  close.text = std::string(1, 'X');  // GCC 12 warns wrongly (-Wrestrict) on assigning the literal here
  close.left = 240;
  close.top = 80;
  close.width = 460;
  close.height = 300;
  frmegy.focus = Command2;
  frmegy_Form_Load();
  frmegyHandlers handlers;
  Host.forms->ShowModal(frmegy, handlers);
}

void frmegy_Form_Load() {
  NoticePicture = MakeNoticePicture();
  Control& image = frmegy.controls[frmegyImage1];
  image.picture = &NoticePicture;
  image.left = image.top = 0;
  image.width = NoticePicture.width * TwipsPerPixel;
  image.height = NoticePicture.height * TwipsPerPixel;
  frmegy.clientWidth = image.width;
  frmegy.clientHeight = image.height;
  frmegy.controls[Command2].top = frmegy.clientHeight + 1000;
}

void frmegy_Command1_Click() { frmegy.loaded = false; }

}  // namespace kuvo
