#pragma once
// The printer's built-in font: which code names which letter form, and the
// choice of form from the neighbours a letter joins in reading order.

#include <array>
#include <cstdint>
#include <optional>

namespace korvel::text {

// How a letter joins its neighbours (Unicode Joining_Type, reduced to the
// three classes the printer's letters fall into).
enum class Joining : std::uint8_t { None, Right, Dual };

struct TwoFormLetter {
    char16_t letter;
    std::uint8_t end;      // joins nothing after it (isolated or final look)
    std::uint8_t joining;  // joins the letter after it
};

struct OneFormLetter {
    char16_t letter;
    std::uint8_t code;
};

struct FourFormLetter {
    char16_t letter;
    std::uint8_t isolated;
    std::uint8_t final;
    std::uint8_t medial;
    std::uint8_t initial;
};

// ئ keeps its place in the two-form table: it takes the joining form exactly
// when a two-form letter would.
extern const std::array<TwoFormLetter, 21> kTwoFormLetters;
extern const std::array<OneFormLetter, 9> kOneFormLetters;
extern const std::array<FourFormLetter, 3> kFourFormLetters;

Joining joiningOf(char16_t ch);

// True when the font has a code for ch (one of the three tables).
bool hasLetterForm(char16_t ch);

// The printer code for ch. `before` and `after` are its neighbours in reading
// order (u'\0' for the start or the end of the text). ASCII U+0001..U+007F is
// its own code; anything else the font lacks gives no code.
std::optional<std::uint8_t> printerCode(char16_t ch, char16_t before, char16_t after);

} // namespace korvel::text
