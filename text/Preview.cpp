#include "Preview.h"

#include "Forms.h"

#include <array>
#include <cstdint>
#include <vector>

namespace korvel::text {

namespace {

// First presentation form (isolated) of each letter; the block then runs
// final, initial, medial for dual-joining letters.
struct Presentation {
    char16_t letter;
    char16_t isolated;
};

constexpr std::array<Presentation, 33> kPresentation{{
    {u'\u0627', 0xFE8D}, {u'\u0628', 0xFE8F}, {u'\u067E', 0xFB56}, {u'\u062A', 0xFE95},
    {u'\u062B', 0xFE99}, {u'\u062C', 0xFE9D}, {u'\u0686', 0xFB7A}, {u'\u062D', 0xFEA1},
    {u'\u062E', 0xFEA5}, {u'\u062F', 0xFEA9}, {u'\u0630', 0xFEAB}, {u'\u0631', 0xFEAD},
    {u'\u0632', 0xFEAF}, {u'\u0698', 0xFB8A}, {u'\u0633', 0xFEB1}, {u'\u0634', 0xFEB5},
    {u'\u0635', 0xFEB9}, {u'\u0636', 0xFEBD}, {u'\u0637', 0xFEC1}, {u'\u0638', 0xFEC5},
    {u'\u0639', 0xFEC9}, {u'\u063A', 0xFECD}, {u'\u0641', 0xFED1}, {u'\u0642', 0xFED5},
    {u'\u06A9', 0xFB8E}, {u'\u06AF', 0xFB92}, {u'\u0644', 0xFEDD}, {u'\u0645', 0xFEE1},
    {u'\u0646', 0xFEE5}, {u'\u0648', 0xFEED}, {u'\u0647', 0xFEE9}, {u'\u06CC', 0xFBFC},
    {u'\u0626', 0xFE89},
}};

enum class Kind : std::uint8_t {
    Other,       // ASCII or unknown
    End,         // two-form, not joining the letter after it
    Joining,     // two-form, joining the letter after it
    Single,      // one-form
    Isolated,
    Final,
    Medial,
    Initial,
};

struct Decoded {
    char16_t letter = 0;
    Kind kind = Kind::Other;
};

std::array<Decoded, 256> buildDecoder()
{
    std::array<Decoded, 256> d{};
    for (const auto& e : kTwoFormLetters) {
        d[e.end] = {e.letter, Kind::End};
        d[e.joining] = {e.letter, Kind::Joining};
    }
    for (const auto& e : kFourFormLetters) {
        d[e.isolated] = {e.letter, Kind::Isolated};
        d[e.final] = {e.letter, Kind::Final};
        d[e.medial] = {e.letter, Kind::Medial};
        d[e.initial] = {e.letter, Kind::Initial};
    }
    // One-form last: 0xC8 is shared with the isolated ه and reads as و.
    for (const auto& e : kOneFormLetters)
        d[e.code] = {e.letter, Kind::Single};
    return d;
}

const std::array<Decoded, 256>& decoder()
{
    static const std::array<Decoded, 256> d = buildDecoder();
    return d;
}

char16_t presentationBase(char16_t letter)
{
    for (const auto& p : kPresentation)
        if (p.letter == letter)
            return p.isolated;
    return kUnprintableMark;
}

} // namespace

std::u16string previewFromCodes(std::string_view codes)
{
    const auto& dec = decoder();
    std::vector<Decoded> row;
    row.reserve(codes.size());
    for (char c : codes)
        row.push_back(dec[static_cast<unsigned char>(c)]);

    // Codes run left to right; the letter after one in reading order is on
    // its left (i - 1), the letter before it on its right (i + 1).
    auto joinsLeft = [&](std::size_t i) {
        const Decoded& d = row[i];
        switch (d.kind) {
        case Kind::Joining:
        case Kind::Medial:
        case Kind::Initial:
            return true;
        case Kind::Single:
            if (joiningOf(d.letter) != Joining::Dual || i == 0 || row[i - 1].letter == 0)
                return false;
            return row[i - 1].kind != Kind::Isolated && row[i - 1].kind != Kind::Initial;
        default:
            return false;
        }
    };
    auto joinsRight = [&](std::size_t i) {
        switch (row[i].kind) {
        case Kind::Final:
        case Kind::Medial:
            return true;
        case Kind::Isolated:
        case Kind::Initial:
        case Kind::Other:
            return false;
        default:
            return i + 1 < row.size() && joinsLeft(i + 1);
        }
    };

    std::u16string out;
    out.reserve(codes.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(codes[i]);
        if (row[i].letter == 0) {
            out.push_back(byte >= 0x01 && byte <= 0x7F ? char16_t(byte) : kUnprintableMark);
            continue;
        }
        const bool right = joinsRight(i);
        const bool left = joinsLeft(i);
        // Presentation blocks run isolated, final, initial, medial.
        const int offset = right ? (left ? 3 : 1) : (left ? 2 : 0);
        out.push_back(static_cast<char16_t>(presentationBase(row[i].letter) + offset));
    }
    return out;
}

} // namespace korvel::text
