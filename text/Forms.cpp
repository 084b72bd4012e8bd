#include "Forms.h"

#include <algorithm>

namespace korvel::text {

const std::array<TwoFormLetter, 21> kTwoFormLetters{{
    {u'\u0628', 0xDB, 0xDC}, // ب
    {u'\u067E', 0xDF, 0xE0}, // پ
    {u'\u062A', 0xD9, 0xDA}, // ت
    {u'\u062B', 0xD7, 0xD8}, // ث
    {u'\u062C', 0xD5, 0xD4}, // ج
    {u'\u0686', 0xD6, 0x9D}, // چ
    {u'\u062D', 0xD3, 0xD2}, // ح
    {u'\u062E', 0xA0, 0xA1}, // خ
    {u'\u0633', 0xA7, 0xA8}, // س
    {u'\u0634', 0xA9, 0xAA}, // ش
    {u'\u0635', 0xAB, 0xAC}, // ص
    {u'\u0636', 0xAD, 0xAE}, // ض
    {u'\u0641', 0xB9, 0xBA}, // ف
    {u'\u0642', 0xBB, 0xBC}, // ق
    {u'\u06A9', 0xBD, 0xBE}, // ک
    {u'\u06AF', 0xBF, 0xC0}, // گ
    {u'\u0644', 0xC1, 0xC3}, // ل
    {u'\u0645', 0xC4, 0xC5}, // م
    {u'\u0646', 0xC6, 0xC7}, // ن
    {u'\u06CC', 0xCC, 0xCE}, // ی
    {u'\u0626', 0xDD, 0xDE}, // ئ
}};

const std::array<OneFormLetter, 9> kOneFormLetters{{
    {u'\u0627', 0x90}, // ا
    {u'\u062F', 0xA2}, // د
    {u'\u0630', 0xA3}, // ذ
    {u'\u0631', 0xA4}, // ر
    {u'\u0632', 0xA5}, // ز
    {u'\u0698', 0xA6}, // ژ
    {u'\u0637', 0xAF}, // ط
    {u'\u0638', 0xB0}, // ظ
    {u'\u0648', 0xC8}, // و
}};

const std::array<FourFormLetter, 3> kFourFormLetters{{
    {u'\u0639', 0xB1, 0xB2, 0xB3, 0xB4}, // ع
    {u'\u063A', 0xB5, 0xB6, 0xB7, 0xB8}, // غ
    {u'\u0647', 0xC8, 0xC9, 0xCA, 0xCB}, // ه
}};

namespace {

template <typename Table>
auto find(const Table& table, char16_t ch) -> const typename Table::value_type*
{
    auto it = std::find_if(table.begin(), table.end(), [ch](const auto& e) { return e.letter == ch; });
    return it == table.end() ? nullptr : &*it;
}

} // namespace

Joining joiningOf(char16_t ch)
{
    if (find(kTwoFormLetters, ch) || find(kFourFormLetters, ch))
        return Joining::Dual;
    if (const auto* one = find(kOneFormLetters, ch))
        return (one->letter == u'\u0637' || one->letter == u'\u0638') ? Joining::Dual : Joining::Right;
    return Joining::None;
}

bool hasLetterForm(char16_t ch)
{
    return find(kTwoFormLetters, ch) || find(kOneFormLetters, ch) || find(kFourFormLetters, ch);
}

std::optional<std::uint8_t> printerCode(char16_t ch, char16_t before, char16_t after)
{
    const bool dual = joiningOf(ch) == Joining::Dual;
    const bool joinsAfter = dual && joiningOf(after) != Joining::None;
    const bool joinsBefore = joiningOf(before) == Joining::Dual;

    if (const auto* two = find(kTwoFormLetters, ch))
        return joinsAfter ? two->joining : two->end;
    if (const auto* one = find(kOneFormLetters, ch))
        return one->code;
    if (const auto* four = find(kFourFormLetters, ch)) {
        if (joinsBefore && joinsAfter)
            return four->medial;
        if (joinsBefore)
            return four->final;
        if (joinsAfter)
            return four->initial;
        return four->isolated;
    }
    if (ch >= 0x01 && ch <= 0x7F)
        return static_cast<std::uint8_t>(ch);
    return std::nullopt;
}

} // namespace korvel::text
