// The rules of the forms that do not depend on a backend: the edit limit in characters, the tab order
// and the twips-to-pixels layout.
#include "platform/Forms.h"

#include <algorithm>
#include <cstddef>

namespace kuvo {

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string LimitTextEdit(std::string_view before, std::string_view afterAsGiven, int maxLength, int* cursor) {
  // Invalid bytes become U+FFFD, one per invalid subpart, so the box holds what the text line will draw.
  const std::string validAfter = ValidUtf8(afterAsGiven);
  const std::string_view after = validAfter;
  // The common start and end of the two texts, on character boundaries, bound what the edit changed.
  std::size_t prefix = 0;
  std::size_t limit = std::min(before.size(), after.size());
  while (prefix < limit && before[prefix] == after[prefix]) ++prefix;
  while (prefix > 0 && prefix < after.size() && IsContinuation(after[prefix])) --prefix;
  std::size_t suffix = 0;
  while (suffix < limit - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) ++suffix;
  while (suffix > 0 && IsContinuation(after[after.size() - suffix])) --suffix;

  std::string_view kept = before.substr(0, prefix);
  std::string_view tail = before.substr(before.size() - suffix);
  std::string_view inserted = after.substr(prefix, after.size() - prefix - suffix);
  std::string result(kept);
  if (maxLength > 0) {
    int room = std::max(0, maxLength - Utf8Length(kept) - Utf8Length(tail));
    result += Utf8Prefix(inserted, room);
  } else {
    result += inserted;
  }
  if (cursor) *cursor = static_cast<int>(result.size());
  result += tail;
  return result;
}

int NextTabStop(const Form& form, int from, bool backwards) {
  int n = static_cast<int>(form.controls.size());
  if (n == 0) return -1;
  int i = from < 0 ? (backwards ? 0 : n - 1) : from;
  for (int step = 0; step < n; ++step) {
    i = backwards ? (i + n - 1) % n : (i + 1) % n;
    const Control& c = form.controls[static_cast<std::size_t>(i)];
    bool focusable = c.kind != ControlKind::Panel && c.kind != ControlKind::Image &&
                     !(c.kind == ControlKind::Label && !c.border);
    if (focusable && c.tabStop && ControlShown(form, i)) return i;
  }
  return -1;
}

PixelRect ControlPixels(const Form& form, int control) {
  const Control& c = form.controls.at(static_cast<std::size_t>(control));
  PixelRect r{c.left / TwipsPerPixel, c.top / TwipsPerPixel, c.width / TwipsPerPixel, c.height / TwipsPerPixel};
  if (c.container >= 0) {
    PixelRect p = ControlPixels(form, c.container);
    r.left += p.left;
    r.top += p.top;
  }
  return r;
}

bool ControlShown(const Form& form, int control) {
  for (int i = control; i >= 0; i = form.controls.at(static_cast<std::size_t>(i)).container)
    if (!form.controls[static_cast<std::size_t>(i)].visible) return false;
  return true;
}

}  // namespace kuvo
