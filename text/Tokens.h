#pragma once
// Placeholder tokens ("^" and one character) that the printer fills in, and
// their insertion at the editor's caret.

#include <array>
#include <string>
#include <string_view>

namespace korvel::text {

struct Edited {
    std::u16string text;
    int caret; // nothing selected
};

// Inserts token at selectionStart (a code-unit index into text, which holds
// CR LF line breaks, so a break counts as two). A selection is not replaced:
// it follows the token. The caret lands right behind the token.
Edited insertToken(const std::u16string& text, int selectionStart, std::u16string_view token);

// "^1" .. "^8" for the position of TrackBar2 (held within 1..8).
std::u16string fontToken(int trackBarPosition);

struct TokenPicture {
    std::string_view control;  // picture name
    std::u16string_view token; // empty for Image8: use fontToken()
    std::u16string_view hint;
    std::string_view label;    // label over the picture; empty when none
    bool labelShowsHint;
};

// Left to right as on the token bar.
extern const std::array<TokenPicture, 9> kTokenPictures;

// The picture's token, or empty for an unknown name.
std::u16string tokenFor(std::string_view control, int trackBarPosition);

} // namespace korvel::text
