#include "Prepare.h"

#include <utility>

namespace korvel::text {

bool isInvisibleFormat(char16_t ch)
{
    return (ch >= 0x200B && ch <= 0x200F) || (ch >= 0x202A && ch <= 0x202E)
        || (ch >= 0x2066 && ch <= 0x2069) || ch == 0xFEFF;
}

namespace {

bool isDropped(char16_t ch)
{
    return (ch >= 0x064B && ch <= 0x065F) || ch == 0x0670 || ch == 0x0640;
}

char16_t fold(char16_t ch)
{
    if (ch >= 0x06F0 && ch <= 0x06F9)
        return static_cast<char16_t>(u'0' + (ch - 0x06F0));
    if (ch >= 0x0660 && ch <= 0x0669)
        return static_cast<char16_t>(u'0' + (ch - 0x0660));
    if (isInvisibleFormat(ch))
        return kJoinBreak;
    switch (ch) {
    case u'\u064A': // ي
    case u'\u0649': // ى
        return u'\u06CC';
    case u'\u0643': // ك
        return u'\u06A9';
    case u'\u0622': // آ
    case u'\u0623': // أ
    case u'\u0625': // إ
    case u'\u0671': // ٱ
        return u'\u0627';
    case u'\u0624': // ؤ
        return u'\u0648';
    case u'\u0629': // ة
    case u'\u06C0': // ۀ
        return u'\u0647';
    case u'\u060C':
        return u',';
    case u'\u061B':
        return u';';
    case u'\u061F':
        return u'?';
    case u'\u066A':
        return u'%';
    default:
        return ch;
    }
}

// U+03E7 itself counts as non-Persian: it is no letter the printer knows.
bool isStrong(char16_t ch) { return ch > 999 && !isInvisibleFormat(ch); }
bool isInner(char16_t ch) { return ch == u' ' || isInvisibleFormat(ch); }

} // namespace

std::u16string normalizeForPrinter(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char16_t ch : text)
        if (!isDropped(ch))
            out.push_back(fold(ch));
    return out;
}

std::u16string memoset(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (!isStrong(text[i])) {
            out.push_back(text[i++]);
            continue;
        }
        std::size_t last = i;
        for (std::size_t j = i + 1; j < text.size() && (isStrong(text[j]) || isInner(text[j])); ++j)
            if (isStrong(text[j]))
                last = j;
        const std::u16string_view stretch = text.substr(i, last - i + 1);
        const std::size_t from = out.size();
        out.append(stretch.rbegin(), stretch.rend());
        // A character outside the BMP stays one character.
        for (std::size_t k = from; k + 1 < out.size(); ++k)
            if (out[k] >= 0xDC00 && out[k] <= 0xDFFF && out[k + 1] >= 0xD800 && out[k + 1] <= 0xDBFF) {
                std::swap(out[k], out[k + 1]);
                ++k;
            }
        i = last + 1;
    }
    return out;
}

} // namespace korvel::text
