// Strict UTF-8 decoding, by the table of well-formed byte sequences in the Unicode standard.
#include "platform/Utf8.h"

namespace kuvo {

char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int continuation;
  char32_t cp;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    cp = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    cp = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return ReplacementCharacter;  // a stray continuation byte, C0, C1 or F5..FF: never a lead
  }
  for (int k = 0; k < continuation; ++k) {
    // The byte that breaks a sequence is not consumed: it may start the next character.
    if (i >= text.size()) return ReplacementCharacter;
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < low || byte > high) return ReplacementCharacter;
    low = 0x80;
    high = 0xBF;
    cp = (cp << 6) | (byte & 0x3Fu);
    ++i;
  }
  return cp;
}

int Utf8Length(std::string_view text) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) NextCodePoint(text, i);
  return count;
}

std::string Utf8Prefix(std::string_view text, int characters) {
  std::size_t i = 0;
  for (int c = 0; c < characters && i < text.size(); ++c) NextCodePoint(text, i);
  return std::string(text.substr(0, i));
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    const char32_t cp = NextCodePoint(text, i);
    // A decoded U+FFFD may also be a real one in the text; either way its bytes are EF BF BD.
    if (cp == ReplacementCharacter) valid += EncodeUtf8(cp);
    else valid.append(text.substr(start, i - start));
  }
  return valid;
}

std::string EncodeUtf8(char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = ReplacementCharacter;
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace kuvo
