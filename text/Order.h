#pragma once
// The order in which the printer draws one line: the Unicode Bidirectional
// Algorithm (ICU's ubidi) over the line, with the placeholder tokens kept whole.

#include "Direction.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace korvel::text {

// A token is "^" and the character after it (not a line break, a format
// character or half of a surrogate pair). "^1" .. "^8" pick a font; any
// other token is a value the printer fills in.
bool isFontToken(std::u16string_view line, std::size_t at);
bool isTokenStart(std::u16string_view line, std::size_t at);

// The line's base direction: forced, or that of its first strong letter with
// the tokens left out; left to right when it has none.
bool isRightToLeft(std::u16string_view line, TextDirection direction);

struct VisualItem {
    std::size_t at;    // index of the character (first unit of a pair or token) in the line
    bool mirrored;     // drawn as its mirror image (a bracket in a right-to-left run)
};

// The line's characters left to right as printed. A value token orders as a
// number and stays whole; a font token cuts the line into segments, each
// ordered on its own with the line's base direction, kept in logical order
// around the token. Format characters are left out.
std::vector<VisualItem> visualOrder(std::u16string_view line, bool rightToLeft);

} // namespace korvel::text
