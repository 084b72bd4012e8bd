#pragma once
// Turning the operator's text into what the printer's font can draw, and into
// the order the printer prints it (left to right, Persian stretches reversed).

#include <string>
#include <string_view>

namespace korvel::text {

// Stands for every invisible format character (ZWNJ and its kin): it breaks
// joining between the letters around it and is never sent.
inline constexpr char16_t kJoinBreak = u'\u200C';

bool isInvisibleFormat(char16_t ch);

// Folds letter variants onto the font's letters, Persian and Arabic-Indic
// digits and Persian punctuation onto ASCII, drops diacritics and tatweel, and
// turns invisible format characters into kJoinBreak.
std::u16string normalizeForPrinter(std::u16string_view text);

// Reverses each Persian stretch in place. A stretch starts and ends with a
// character above U+03E7; spaces and join breaks strictly inside it go with
// it. Everything else, edge spaces included, keeps its position.
std::u16string memoset(std::u16string_view text);

} // namespace korvel::text
