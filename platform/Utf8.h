// One reading of UTF-8 for everything that takes text apart: the name boxes count and cut by it, the
// text canvas draws by it.
//   Strict UTF-8: overlong forms (C0 80), surrogates (ED A0 80), code points past U+10FFFF and
//   sequences cut short are invalid. Each maximal invalid subpart (the longest start of a sequence that
//   could still have been valid, or one byte when none could) reads as one U+FFFD, as Unicode recommends.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kuvo {

constexpr char32_t ReplacementCharacter = 0xFFFD;

// The character of `text` starting at byte `i` (i < text.size()), moving `i` past it; U+FFFD for an
// invalid subpart, after which `i` stands on the byte that broke it.
char32_t NextCodePoint(std::string_view text, std::size_t& i);

// Characters in `text`; each invalid subpart counts as one.
int Utf8Length(std::string_view text);
// The first `characters` characters of `text`, bytes unchanged.
std::string Utf8Prefix(std::string_view text, int characters);
// `text` with each invalid subpart replaced by U+FFFD: valid UTF-8 of the same length in characters.
std::string ValidUtf8(std::string_view text);
// `cp` as UTF-8 (U+FFFD for a surrogate or anything past U+10FFFF).
std::string EncodeUtf8(char32_t cp);

}  // namespace kuvo
