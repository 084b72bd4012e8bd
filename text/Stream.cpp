#include "Stream.h"

#include "Forms.h"
#include "Prepare.h"

#include <algorithm>
#include <cstdio>

namespace korvel::text {

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void noteUnprintable(std::vector<char32_t>& list, char32_t cp)
{
    if (std::find(list.begin(), list.end(), cp) == list.end())
        list.push_back(cp);
}

} // namespace

TextStream encodeTextStream(std::u16string_view editorText)
{
    TextStream out;
    const std::u16string normalized = normalizeForPrinter(editorText);
    std::u16string upload = memoset(normalized);
    upload.push_back(u' ');

    // Reported in the operator's reading order, surrogate pairs as one.
    for (std::size_t i = 0; i < normalized.size(); ++i) {
        const char16_t c = normalized[i];
        if (c == kJoinBreak || hasLetterForm(c) || (c >= 0x01 && c <= 0x7F))
            continue;
        if (isHighSurrogate(c) && i + 1 < normalized.size() && isLowSurrogate(normalized[i + 1])) {
            noteUnprintable(out.unprintable,
                            0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(normalized[i + 1]) - 0xDC00));
            ++i;
            continue;
        }
        noteUnprintable(out.unprintable, c);
    }

    // Persian stretches are reversed: the reading-order neighbour after the
    // character at i sits at i - 1, the one before it at i + 1.
    out.codes.reserve(upload.size());
    for (std::size_t i = 0; i < upload.size(); ++i) {
        const char16_t c = upload[i];
        if (c == kJoinBreak || (isLowSurrogate(c) && i > 0 && isHighSurrogate(upload[i - 1])))
            continue;
        const char16_t after = i > 0 ? upload[i - 1] : u'\0';
        const char16_t before = i + 1 < upload.size() ? upload[i + 1] : u'\0';
        const auto code = printerCode(c, before, after);
        out.codes.push_back(code ? static_cast<char>(*code) : kNoCode);
    }
    out.codeCount = out.codes.size();
    out.tooLong = out.codeCount > kMaxCodes;

    if (out.sendable()) {
        char field[8];
        std::snprintf(field, sizeof field, "%04zu", out.codeCount);
        out.bytes = field;
        out.bytes += out.codes;
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
