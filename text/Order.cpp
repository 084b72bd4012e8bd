#include "Order.h"

#include "Prepare.h"

#include <memory>
#include <string>

#include <unicode/ubidi.h>
#include <unicode/utf16.h>

namespace korvel::text {

namespace {

struct BidiCloser {
    void operator()(UBiDi* b) const { ubidi_close(b); }
};

// What the bidi algorithm sees: a value token stands as the digit "0".
struct Segment {
    std::u16string text;
    std::vector<std::size_t> origin; // line index of each unit of text
};

std::vector<Segment> segments(std::u16string_view line, std::vector<std::size_t>& fontTokens)
{
    std::vector<Segment> out(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isFontToken(line, i)) {
            fontTokens.push_back(i);
            out.emplace_back();
            ++i;
        } else if (isTokenStart(line, i)) {
            out.back().text.push_back(u'0');
            out.back().origin.push_back(i);
            ++i;
        } else {
            out.back().text.push_back(line[i]);
            out.back().origin.push_back(i);
        }
    }
    return out;
}

void orderSegment(const Segment& seg, std::u16string_view line, bool rtl, std::vector<VisualItem>& out)
{
    if (seg.text.empty())
        return;
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<UBiDi, BidiCloser> bidi(ubidi_openSized(int32_t(seg.text.size()), 0, &err));
    ubidi_setPara(bidi.get(), reinterpret_cast<const UChar*>(seg.text.data()), int32_t(seg.text.size()),
                  rtl ? 1 : 0, nullptr, &err);
    std::vector<int32_t> map(seg.text.size());
    ubidi_getVisualMap(bidi.get(), map.data(), &err);
    if (U_FAILURE(err)) { // not reached with valid arguments; keep the logical order
        for (std::size_t i = 0; i < seg.text.size(); ++i)
            map[i] = int32_t(i);
    }
    for (int32_t logical : map) {
        const auto k = std::size_t(logical);
        const char16_t c = seg.text[k];
        // A surrogate pair is one character, taken at its lead unit.
        if (U16_IS_TRAIL(c) && k > 0 && U16_IS_LEAD(seg.text[k - 1]))
            continue;
        const std::size_t at = seg.origin[k];
        char32_t cp = c;
        if (U16_IS_LEAD(c) && k + 1 < seg.text.size() && U16_IS_TRAIL(seg.text[k + 1]))
            cp = U16_GET_SUPPLEMENTARY(c, seg.text[k + 1]);
        if (isUnsent(cp))
            continue;
        const bool token = isTokenStart(line, at);
        const bool odd = U_SUCCESS(err) && (ubidi_getLevelAt(bidi.get(), logical) & 1);
        out.push_back({at, odd && !token && u_charMirror(UChar32(cp)) != UChar32(cp)});
    }
}

} // namespace

bool isTokenStart(std::u16string_view line, std::size_t at)
{
    return at + 1 < line.size() && line[at] == u'^' && !isLineBreak(line[at + 1]) && !isUnsent(line[at + 1]) &&
           !U16_IS_SURROGATE(line[at + 1]);
}

bool isFontToken(std::u16string_view line, std::size_t at)
{
    return isTokenStart(line, at) && line[at + 1] >= u'1' && line[at + 1] <= u'8';
}

bool isRightToLeft(std::u16string_view line, TextDirection direction)
{
    if (direction != TextDirection::Auto)
        return direction == TextDirection::Rtl;
    std::vector<std::size_t> fontTokens;
    std::u16string all;
    for (const Segment& s : segments(line, fontTokens))
        all += s.text;
    return ubidi_getBaseDirection(reinterpret_cast<const UChar*>(all.data()), int32_t(all.size())) == UBIDI_RTL;
}

std::vector<VisualItem> visualOrder(std::u16string_view line, bool rightToLeft)
{
    std::vector<std::size_t> fontTokens;
    const std::vector<Segment> segs = segments(line, fontTokens);
    std::vector<VisualItem> out;
    out.reserve(line.size());
    for (std::size_t s = 0; s < segs.size(); ++s) {
        if (s > 0)
            out.push_back({fontTokens[s - 1], false});
        orderSegment(segs[s], line, rightToLeft, out);
    }
    return out;
}

} // namespace korvel::text
