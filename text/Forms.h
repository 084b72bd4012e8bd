#pragma once
// The printer's built-in font: which code names which letter form, and the
// form a letter takes from the letters it joins.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvel::text {

// The form a letter takes from the letters it joins in reading order.
enum class Form : std::uint8_t { Isolated, Final, Initial, Medial };

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

// ئ keeps its place in the two-form table: isolated and final take the end
// code, initial and medial the joining code, as for the other two-form letters.
extern const std::array<TwoFormLetter, 21> kTwoFormLetters;
extern const std::array<OneFormLetter, 9> kOneFormLetters;
extern const std::array<FourFormLetter, 3> kFourFormLetters;

// The form of every code unit of text by Unicode joining (ArabicShaping):
// ZWNJ breaks joining, ZWJ joins, marks are transparent. Lines do not join.
// Characters that do not join come out Isolated.
std::vector<Form> joiningForms(std::u16string_view text);

// True when the font has a code for ch (one of the three tables).
bool hasLetterForm(char16_t ch);

// The printer code for a letter in a form; ASCII U+0001..U+007F is its own
// code; anything else the font lacks gives no code.
std::optional<std::uint8_t> printerCode(char16_t ch, Form form);

// The letters the tables give this code to (two for 0xC8: و and ه).
std::vector<char16_t> lettersOfCode(std::uint8_t code);

} // namespace korvel::text
