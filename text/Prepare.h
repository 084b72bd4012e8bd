#pragma once
// Turning the operator's text into characters the printer's font can draw.

#include <string>
#include <string_view>
#include <vector>

namespace korvel::text {

// Folds letter variants onto the font's letters, digits and typographic
// punctuation onto ASCII, drops diacritics and tatweel, and writes every line
// break (CR LF, CR, LF, U+2028, U+2029) as CR LF. Format characters (ZWNJ,
// ZWJ, direction marks) stay: they shape and order the text, and are never sent.
// With `origin`, each unit of the result gets the index of the character of
// `text` it came from.
std::u16string foldForPrinter(std::u16string_view text, std::vector<std::size_t>* origin = nullptr);

// CR, LF, U+2028 and U+2029 end a line (CR LF together end one).
bool isLineBreak(char16_t ch);

// True for a character that takes part in shaping and ordering but is not sent.
bool isUnsent(char32_t ch);

} // namespace korvel::text
