#include "Forms.h"

#include <algorithm>
#include <cstddef>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

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

namespace {

UJoiningType joiningType(char32_t c)
{
    return static_cast<UJoiningType>(u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_JOINING_TYPE));
}

char32_t codePointAt(std::u16string_view text, std::size_t i)
{
    const char16_t c = text[i];
    if (U16_IS_LEAD(c) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1]))
        return U16_GET_SUPPLEMENTARY(c, text[i + 1]);
    return c;
}

} // namespace

std::vector<Form> joiningForms(std::u16string_view text)
{
    std::vector<Form> forms(text.size(), Form::Isolated);
    std::vector<UJoiningType> types(text.size(), U_JT_TRANSPARENT);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (U16_IS_TRAIL(text[i]) && i > 0 && U16_IS_LEAD(text[i - 1]))
            continue; // the pair's type sits on its lead unit
        types[i] = joiningType(codePointAt(text, i));
    }
    // The nearest non-transparent neighbours in reading order.
    auto neighbour = [&](std::size_t i, int step) {
        for (std::ptrdiff_t j = std::ptrdiff_t(i) + step; j >= 0 && j < std::ptrdiff_t(text.size()); j += step) {
            if (U16_IS_TRAIL(text[j]) && j > 0 && U16_IS_LEAD(text[j - 1]))
                continue;
            if (types[j] != U_JT_TRANSPARENT)
                return types[j];
        }
        return U_JT_NON_JOINING;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const UJoiningType t = types[i];
        if (t != U_JT_DUAL_JOINING && t != U_JT_RIGHT_JOINING && t != U_JT_LEFT_JOINING)
            continue;
        const UJoiningType before = neighbour(i, -1);
        const UJoiningType after = neighbour(i, +1);
        const bool joinsBefore = (t == U_JT_DUAL_JOINING || t == U_JT_RIGHT_JOINING) &&
                                 (before == U_JT_DUAL_JOINING || before == U_JT_LEFT_JOINING || before == U_JT_JOIN_CAUSING);
        const bool joinsAfter = (t == U_JT_DUAL_JOINING || t == U_JT_LEFT_JOINING) &&
                                (after == U_JT_DUAL_JOINING || after == U_JT_RIGHT_JOINING || after == U_JT_JOIN_CAUSING);
        forms[i] = joinsBefore ? (joinsAfter ? Form::Medial : Form::Final) : (joinsAfter ? Form::Initial : Form::Isolated);
    }
    return forms;
}

bool hasLetterForm(char16_t ch)
{
    return find(kTwoFormLetters, ch) || find(kOneFormLetters, ch) || find(kFourFormLetters, ch);
}

std::optional<std::uint8_t> printerCode(char16_t ch, Form form)
{
    const bool joinsAfter = form == Form::Initial || form == Form::Medial;
    if (const auto* two = find(kTwoFormLetters, ch))
        return joinsAfter ? two->joining : two->end;
    if (const auto* one = find(kOneFormLetters, ch))
        return one->code;
    if (const auto* four = find(kFourFormLetters, ch)) {
        switch (form) {
        case Form::Isolated: return four->isolated;
        case Form::Final: return four->final;
        case Form::Initial: return four->initial;
        case Form::Medial: return four->medial;
        }
    }
    if (ch >= 0x01 && ch <= 0x7F)
        return static_cast<std::uint8_t>(ch);
    return std::nullopt;
}

std::vector<char16_t> lettersOfCode(std::uint8_t code)
{
    std::vector<char16_t> out;
    auto add = [&](char16_t letter) {
        if (std::find(out.begin(), out.end(), letter) == out.end())
            out.push_back(letter);
    };
    for (const auto& e : kTwoFormLetters)
        if (e.end == code || e.joining == code)
            add(e.letter);
    for (const auto& e : kOneFormLetters)
        if (e.code == code)
            add(e.letter);
    for (const auto& e : kFourFormLetters)
        if (e.isolated == code || e.final == code || e.medial == code || e.initial == code)
            add(e.letter);
    return out;
}

} // namespace korvel::text
