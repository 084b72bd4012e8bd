#include "Decode.h"

#include <QImage>
#include <QString>

#include <array>

namespace sim {

namespace {

enum Form { Ascii, End, Join, Single, Isolated, Final, Medial, Initial };

struct FontEntry {
    uint8_t code;
    char32_t letter;
    Form form;
    char32_t isolatedPresentation; // isolated, final, initial, medial follow it
};

// The printer's built-in font: every letter-form code it can draw.
constexpr FontEntry kFont[] = {
    // two forms: end, joining
    {0xDB, U'\u0628', End, 0xFE8F}, {0xDC, U'\u0628', Join, 0xFE8F},
    {0xDF, U'\u067E', End, 0xFB56}, {0xE0, U'\u067E', Join, 0xFB56},
    {0xD9, U'\u062A', End, 0xFE95}, {0xDA, U'\u062A', Join, 0xFE95},
    {0xD7, U'\u062B', End, 0xFE99}, {0xD8, U'\u062B', Join, 0xFE99},
    {0xD5, U'\u062C', End, 0xFE9D}, {0xD4, U'\u062C', Join, 0xFE9D},
    {0xD6, U'\u0686', End, 0xFB7A}, {0x9D, U'\u0686', Join, 0xFB7A},
    {0xD3, U'\u062D', End, 0xFEA1}, {0xD2, U'\u062D', Join, 0xFEA1},
    {0xA0, U'\u062E', End, 0xFEA5}, {0xA1, U'\u062E', Join, 0xFEA5},
    {0xA7, U'\u0633', End, 0xFEB1}, {0xA8, U'\u0633', Join, 0xFEB1},
    {0xA9, U'\u0634', End, 0xFEB5}, {0xAA, U'\u0634', Join, 0xFEB5},
    {0xAB, U'\u0635', End, 0xFEB9}, {0xAC, U'\u0635', Join, 0xFEB9},
    {0xAD, U'\u0636', End, 0xFEBD}, {0xAE, U'\u0636', Join, 0xFEBD},
    {0xB9, U'\u0641', End, 0xFED1}, {0xBA, U'\u0641', Join, 0xFED1},
    {0xBB, U'\u0642', End, 0xFED5}, {0xBC, U'\u0642', Join, 0xFED5},
    {0xBD, U'\u06A9', End, 0xFB8E}, {0xBE, U'\u06A9', Join, 0xFB8E},
    {0xBF, U'\u06AF', End, 0xFB92}, {0xC0, U'\u06AF', Join, 0xFB92},
    {0xC1, U'\u0644', End, 0xFEDD}, {0xC3, U'\u0644', Join, 0xFEDD},
    {0xC4, U'\u0645', End, 0xFEE1}, {0xC5, U'\u0645', Join, 0xFEE1},
    {0xC6, U'\u0646', End, 0xFEE5}, {0xC7, U'\u0646', Join, 0xFEE5},
    {0xCC, U'\u06CC', End, 0xFBFC}, {0xCE, U'\u06CC', Join, 0xFBFC},
    {0xDD, U'\u0626', End, 0xFE89}, {0xDE, U'\u0626', Join, 0xFE89},
    // one form
    {0x90, U'\u0627', Single, 0xFE8D}, {0xA2, U'\u062F', Single, 0xFEA9},
    {0xA3, U'\u0630', Single, 0xFEAB}, {0xA4, U'\u0631', Single, 0xFEAD},
    {0xA5, U'\u0632', Single, 0xFEAF}, {0xA6, U'\u0698', Single, 0xFB8A},
    {0xAF, U'\u0637', Single, 0xFEC1}, {0xB0, U'\u0638', Single, 0xFEC5},
    {0xC8, U'\u0648', Single, 0xFEED}, // also the isolated heh
    // four forms
    {0xB1, U'\u0639', Isolated, 0xFEC9}, {0xB2, U'\u0639', Final, 0xFEC9},
    {0xB3, U'\u0639', Medial, 0xFEC9}, {0xB4, U'\u0639', Initial, 0xFEC9},
    {0xB5, U'\u063A', Isolated, 0xFECD}, {0xB6, U'\u063A', Final, 0xFECD},
    {0xB7, U'\u063A', Medial, 0xFECD}, {0xB8, U'\u063A', Initial, 0xFECD},
    {0xC9, U'\u0647', Final, 0xFEE9}, {0xCA, U'\u0647', Medial, 0xFEE9},
    {0xCB, U'\u0647', Initial, 0xFEE9},
};

const char* formName(Form f)
{
    static constexpr std::array names{"ascii", "end", "join", "single", "isolated", "final", "medial", "initial"};
    return names[f];
}

// The end form of a two-form letter stands alone or ends a word, so it is
// shown isolated; the joining form as initial.
char32_t presentationOf(const FontEntry& e)
{
    switch (e.form) {
    case End: case Single: case Isolated: return e.isolatedPresentation;
    case Final: return e.isolatedPresentation + 1;
    case Join: case Initial: return e.isolatedPresentation + 2;
    case Medial: return e.isolatedPresentation + 3;
    case Ascii: break;
    }
    return e.letter;
}

} // namespace

std::string toUtf8(char32_t c)
{
    return QString::fromUcs4(&c, 1).toStdString();
}

Glyph glyphFor(uint8_t code)
{
    if (code >= 0x01 && code <= 0x7F)
        return {code, code, formName(Ascii), false};
    for (const FontEntry& e : kFont)
        if (e.code == code)
            return {e.letter, presentationOf(e), formName(e.form), code == 0xC8};
    return {U'\uFFFD', U'\uFFFD', "unknown", false};
}

DecodedText decodeText(const std::string& codes)
{
    DecodedText out;
    for (size_t i = 0; i < codes.size(); ++i) {
        const Glyph g = glyphFor(static_cast<uint8_t>(codes[i]));
        out.visual += toUtf8(g.letter);
        out.presentation += toUtf8(g.presentation);
        if (g.form == std::string("ascii"))
            out.forms.push_back(g.form);
        else
            out.forms.push_back(toUtf8(g.letter) + ":" + g.form);
        if (g.ambiguous)
            out.ambiguous.push_back(static_cast<int>(i));
        if (g.form == std::string("unknown"))
            out.unknown.push_back(static_cast<int>(i));
    }
    return out;
}

DecodedPicture decodePicture(const std::string& stream)
{
    // Bit of each band of 22 rows, top band first; a cleared bit is a black pixel.
    static constexpr std::array<int, 7> kBandBit{8, 4, 1, 2, 32, 64, 16};

    DecodedPicture pic;
    pic.black.assign(kPictureWidth * kPictureHeight, 0);
    if (stream.compare(0, 3, "240") != 0) {
        pic.error = "header is not \"240\"";
        return pic;
    }
    if (stream.size() < kPictureStreamSize) {
        pic.error = "stream stopped after " + std::to_string(stream.size()) + " of "
                    + std::to_string(kPictureStreamSize) + " bytes";
        return pic;
    }
    for (int n = 0; n < kPictureWidth * kValuesPerColumn; ++n) {
        const size_t at = 3 + 3 * static_cast<size_t>(n);
        int value = 0;
        for (size_t k = at; k < at + 3; ++k) {
            const char c = stream[k];
            if (c < '0' || c > '9') {
                pic.error = "non-digit at byte " + std::to_string(k + 1) + " (value " + std::to_string(n + 1) + ")";
                return pic;
            }
            value = value * 10 + (c - '0');
        }
        if (value < 128 || value > 255) {
            pic.error = "value " + std::to_string(n + 1) + " is " + std::to_string(value) + ", outside 128..255";
            return pic;
        }
        const int x = n / kValuesPerColumn;
        const int i = n % kValuesPerColumn;
        for (int b = 0; b < 7; ++b)
            if (!(value & kBandBit[b]))
                pic.black[(kValuesPerColumn * b + i) * kPictureWidth + x] = 1;
    }
    pic.ok = true;
    return pic;
}

bool writePng(const DecodedPicture& pic, const std::string& path)
{
    QImage img(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    img.fill(Qt::white);
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x)
            if (pic.black[y * kPictureWidth + x])
                img.setPixel(x, y, qRgb(0, 0, 0));
    return img.save(QString::fromStdString(path), "PNG");
}

} // namespace sim
