#include "Stream.h"

#include "Forms.h"
#include "Order.h"
#include "Prepare.h"
#include "Preview.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace korvel::text {

namespace {

void noteUnprintable(std::vector<char32_t>& list, char32_t cp)
{
    if (std::find(list.begin(), list.end(), cp) == list.end())
        list.push_back(cp);
}

char32_t codePointAt(std::u16string_view text, std::size_t i)
{
    if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1]))
        return U16_GET_SUPPLEMENTARY(text[i], text[i + 1]);
    return text[i];
}

bool printable(char32_t cp)
{
    return (cp >= 0x01 && cp <= 0x7F) || (cp <= 0xFFFF && hasLetterForm(char16_t(cp))) || isUnsent(cp);
}

std::string withLengthField(std::string codes)
{
    char field[24];
    std::snprintf(field, sizeof field, "%04zu", codes.size());
    return field + codes;
}

} // namespace

TextStream encodeTextStream(std::u16string_view editorText, TextDirection direction)
{
    TextStream out;
    out.text = editorText;
    const std::u16string_view text = out.text;

    // Reported in the operator's reading order, surrogate pairs as one.
    const std::u16string folded = foldForPrinter(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const char32_t cp = codePointAt(folded, i);
        if (cp > 0xFFFF)
            ++i;
        if (!printable(cp) && folded[i] != u'\r' && folded[i] != u'\n')
            noteUnprintable(out.unprintable, cp);
    }

    auto push = [&](char code, char16_t shown, std::size_t at) {
        out.codes.push_back(code);
        out.shown.push_back(shown);
        out.source.push_back(std::int32_t(at));
    };

    std::size_t lineStart = 0;
    while (true) {
        std::size_t end = lineStart;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        const std::u16string_view line = text.substr(lineStart, end - lineStart);
        std::vector<std::size_t> origin;
        const std::u16string shaped = foldForPrinter(line, &origin);
        const std::vector<Form> forms = joiningForms(shaped);
        // The folded units each character of the line became.
        std::vector<std::pair<std::size_t, std::size_t>> units(line.size(), {0, 0});
        for (std::size_t k = 0; k < origin.size(); ++k) {
            auto& r = units[origin[k]];
            if (r.first == r.second)
                r.first = k;
            r.second = k + 1;
        }
        auto emit = [&](std::size_t at, bool mirrored) {
            for (std::size_t k = units[at].first; k < units[at].second; ++k) {
                char32_t cp = codePointAt(shaped, k);
                if (cp > 0xFFFF)
                    ++k;
                if (isUnsent(cp))
                    continue;
                if (mirrored)
                    cp = char32_t(u_charMirror(UChar32(cp)));
                const auto code = cp <= 0xFFFF ? printerCode(char16_t(cp), forms[k]) : std::nullopt;
                if (!code)
                    push(kNoCode, kUnprintableMark, lineStart + at);
                else if (*code <= 0x7F)
                    push(static_cast<char>(*code), char16_t(cp), lineStart + at);
                else
                    push(static_cast<char>(*code), presentationForm(char16_t(cp), forms[k]), lineStart + at);
            }
        };

        const bool rtl = isRightToLeft(line, direction);
        out.lineRtl.push_back(rtl);
        for (const VisualItem& item : visualOrder(line, rtl)) {
            emit(item.at, item.mirrored);
            if (isTokenStart(line, item.at))
                emit(item.at + 1, false);
        }
        if (end == text.size())
            break;
        push('\r', u'\r', end);
        push('\n', u'\n', end);
        lineStart = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
    }
    push(' ', u' ', 0);
    out.source.back() = -1;

    out.codeCount = out.codes.size();
    out.tooLong = out.codeCount > kMaxCodes;
    if (out.sendable())
        out.bytes = withLengthField(out.codes);
    return out;
}

std::string rawStream(std::string_view codes)
{
    return withLengthField(std::string(codes) + ' ');
}

std::string fontChartCodes()
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int code = 0x80; code <= 0xFF; ++code) {
        if (code != 0x80)
            out += (code % 8 == 0) ? "\r\n" : " ";
        out += digits[code >> 4];
        out += digits[code & 0x0F];
        out += '=';
        out += static_cast<char>(code);
    }
    return out;
}

std::string toHex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

} // namespace korvel::text
