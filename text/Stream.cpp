#include "Stream.h"

#include "Forms.h"
#include "Order.h"
#include "Prepare.h"
#include "Preview.h"

#include <algorithm>
#include <cstdio>

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
    out.folded = foldForPrinter(editorText);
    const std::u16string_view text = out.folded;
    const std::vector<Form> forms = joiningForms(text);

    // Reported in the operator's reading order, surrogate pairs as one.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t cp = codePointAt(text, i);
        if (cp > 0xFFFF)
            ++i;
        if (!printable(cp) && text[i] != u'\r' && text[i] != u'\n')
            noteUnprintable(out.unprintable, cp);
    }

    auto emit = [&](std::size_t at, bool mirrored) {
        char32_t cp = codePointAt(text, at);
        if (mirrored)
            cp = char32_t(u_charMirror(UChar32(cp)));
        const auto code = cp <= 0xFFFF ? printerCode(char16_t(cp), forms[at]) : std::nullopt;
        out.codes.push_back(code ? static_cast<char>(*code) : kNoCode);
        if (!code)
            out.shown.push_back(kUnprintableMark);
        else if (*code <= 0x7F)
            out.shown.push_back(char16_t(cp));
        else
            out.shown.push_back(presentationForm(char16_t(cp), forms[at]));
        out.source.push_back(std::int32_t(at));
    };

    std::size_t lineStart = 0;
    while (true) {
        const std::size_t end = std::min(text.find(u"\r\n", lineStart), text.size());
        const std::u16string_view line = text.substr(lineStart, end - lineStart);
        const bool rtl = isRightToLeft(line, direction);
        out.lineRtl.push_back(rtl);
        for (const VisualItem& item : visualOrder(line, rtl)) {
            emit(lineStart + item.at, item.mirrored);
            if (isTokenStart(line, item.at))
                emit(lineStart + item.at + 1, false);
        }
        if (end == text.size())
            break;
        emit(end, false);
        emit(end + 1, false);
        lineStart = end + 2;
    }
    out.codes.push_back(' ');
    out.shown.push_back(u' ');
    out.source.push_back(-1);

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
