// The notice window, shown modally before the menu on every fifth day of the month.
#pragma once
#include <cstdint>
#include <string_view>

#include "platform/Forms.h"

namespace kuvo {

extern Form frmegy;
enum frmegyControl : int { frmegyImage1, Command2, Command1, frmegyControlCount };
// The 685 x 361 picture of the notice, made when the notice loads.
extern Picture NoticePicture;

// The notice is due on the 5th, 10th, 15th, 20th, 25th and 30th.
bool NoticeDay(int dayOfMonth);
// Loads frmegy and shows it until "X" (or its close box) unloads it.
void ShowNotice();
void frmegy_Form_Load();
void frmegy_Command1_Click();

Picture MakeNoticePicture();

// Helpers for both windows' pictures.
Picture SolidPicture(int width, int height, std::uint32_t rgb);
// Draws `text` in the text canvas's font, scaled by `scale` (box-filtered), in colour 0x00RRGGBB over the
// picture; x or y of -1 centres the text that way. Without a text canvas nothing is drawn.
void WriteText(Picture& picture, int x, int y, std::string_view text, std::uint32_t rgb, float scale);

}  // namespace kuvo
