#include "Prepare.h"

#include <unicode/uchar.h>

namespace korvel::text {

namespace {

bool isDropped(char16_t ch)
{
    return (ch >= 0x064B && ch <= 0x065F) || ch == 0x0670 || ch == 0x0640;
}

// Empty when ch stays itself.
std::u16string_view fold(char16_t ch)
{
    switch (ch) {
    case u'\u064A': // ي
    case u'\u0649': // ى
        return u"\u06CC";
    case u'\u0643': // ك
        return u"\u06A9";
    case u'\u0622': // آ
    case u'\u0623': // أ
    case u'\u0625': // إ
    case u'\u0671': // ٱ
        return u"\u0627";
    case u'\u0624': // ؤ
        return u"\u0648";
    case u'\u0629': // ة
    case u'\u06C0': // ۀ
        return u"\u0647";
    case u'\u060C': return u",";
    case u'\u061B': return u";";
    case u'\u061F': return u"?";
    case u'\u066A': return u"%";
    case u'\u066B': return u".";  // Arabic decimal separator
    case u'\u066C': return u",";  // Arabic thousands separator
    case u'\u00AB':
    case u'\u00BB':
    case u'\u201C':
    case u'\u201D':
        return u"\"";
    case u'\u2018':
    case u'\u2019':
        return u"'";
    case u'\u2013':
    case u'\u2014':
        return u"-";
    case u'\u2026': return u"...";
    case u'\u00D7': return u"x";
    case u'\u00A0': return u" ";
    default:
        return {};
    }
}

} // namespace

bool isUnsent(char32_t ch)
{
    return u_charType(static_cast<UChar32>(ch)) == U_FORMAT_CHAR;
}

bool isLineBreak(char16_t ch)
{
    return ch == u'\r' || ch == u'\n' || ch == 0x2028 || ch == 0x2029;
}

std::u16string foldForPrinter(std::u16string_view text, std::vector<std::size_t>* origin)
{
    std::u16string out;
    out.reserve(text.size());
    auto add = [&](std::u16string_view units, std::size_t from) {
        out += units;
        if (origin)
            origin->insert(origin->end(), units.size(), from);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        if (ch >= 0x06F0 && ch <= 0x06F9) {
            const char16_t d = static_cast<char16_t>(u'0' + (ch - 0x06F0));
            add({&d, 1}, i);
        } else if (ch >= 0x0660 && ch <= 0x0669) {
            const char16_t d = static_cast<char16_t>(u'0' + (ch - 0x0660));
            add({&d, 1}, i);
        } else if (isLineBreak(ch)) {
            add(u"\r\n", i);
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (isDropped(ch)) {
        } else if (const std::u16string_view f = fold(ch); !f.empty()) {
            add(f, i);
        } else {
            add({&ch, 1}, i);
        }
    }
    return out;
}

} // namespace korvel::text
