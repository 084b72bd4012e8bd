#include "image/Codes.h"

#include <zint.h>

#include <algorithm>
#include <memory>

namespace korvel::image {

namespace {

// Bars of the linear codes, in modules: tall enough for a hand scanner's line.
constexpr float kBarHeight = 30.0f;

struct SymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

int zintSymbology(Symbology s)
{
    switch (s) {
    case Symbology::QrCode: return BARCODE_QRCODE;
    case Symbology::DataMatrix:
    case Symbology::Gs1DataMatrix: return BARCODE_DATAMATRIX;
    case Symbology::Code128: return BARCODE_CODE128;
    case Symbology::Gs1_128: return BARCODE_GS1_128;
    case Symbology::Ean13: return BARCODE_EANX;
    }
    return BARCODE_QRCODE;
}

bool ascii(std::string_view data)
{
    return std::all_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// EAN-13 alone: libzint would also take shorter data as EAN-8 or an add-on.
std::optional<std::string> notEan13(std::string_view data)
{
    const bool digitsOrPlus = std::all_of(data.begin(), data.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '+';
    });
    if (!digitsOrPlus)
        return std::nullopt; // libzint names the character
    if (data.find('+') != std::string_view::npos || (data.size() != 12 && data.size() != 13))
        return std::string("EAN-13 دوازده رقم می‌گیرد، یا سیزده رقم با رقم کنترل");
    return std::nullopt;
}

CodeOutcome refused(std::string reason)
{
    CodeOutcome out;
    out.kind = CodeOutcome::Kind::BadData;
    out.reason = std::move(reason);
    return out;
}

} // namespace

const std::vector<SymbologyName>& symbologyNames()
{
    static const std::vector<SymbologyName> names{
        {Symbology::QrCode, "qr", "QR Code"},
        {Symbology::DataMatrix, "datamatrix", "Data Matrix"},
        {Symbology::Gs1DataMatrix, "gs1-datamatrix", "GS1 Data Matrix"},
        {Symbology::Code128, "code128", "Code 128"},
        {Symbology::Gs1_128, "gs1-128", "GS1-128"},
        {Symbology::Ean13, "ean13", "EAN-13"},
    };
    return names;
}

std::optional<Symbology> symbologyFromKey(std::string_view key)
{
    for (const SymbologyName& n : symbologyNames())
        if (key == n.key)
            return n.symbology;
    return std::nullopt;
}

bool isGs1(Symbology s) { return s == Symbology::Gs1DataMatrix || s == Symbology::Gs1_128; }

CodeOutcome makeCode(Symbology symbology, std::string_view data, int module, int roomWidth, int roomHeight)
{
    if (module < kMinModule || module > kMaxModule)
        return refused("اندازه ماژول باید از " + std::to_string(kMinModule) + " تا " + std::to_string(kMaxModule) +
                       " باشد");
    if (symbology == Symbology::Ean13)
        if (auto why = notEan13(data))
            return refused(*why);
    if (data.size() > ZINT_MAX_DATA_LEN)
        return refused("Input too long (" + std::to_string(ZINT_MAX_DATA_LEN) + " bytes at most)");

    std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        return refused("Out of memory");
    zint_symbol* s = symbol.get();
    s->symbology = zintSymbology(symbology);
    s->show_hrt = 0;
    s->scale = 0.5f; // one pixel a module; larger modules are whole copies of it
    s->output_options = BARCODE_QUIET_ZONES;
    s->guard_descent = 0;
    s->height = kBarHeight;
    if (isGs1(symbology)) {
        s->input_mode = GS1_MODE | GS1PARENS_MODE;
    } else {
        s->input_mode = UNICODE_MODE;
        // Beyond ASCII a reader is told the data is UTF-8 rather than left to guess.
        if (!ascii(data) && (symbology == Symbology::QrCode || symbology == Symbology::DataMatrix))
            s->eci = 26;
    }
    int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    // A GS1 check digit or format that is wrong only warns; it is still wrong.
    if (rc >= ZINT_ERROR || rc == ZINT_WARN_NONCOMPLIANT)
        return refused(s->errtxt);
    rc = ZBarcode_Buffer(s, 0);
    if (rc >= ZINT_ERROR || !s->bitmap)
        return refused(s->errtxt);

    const int w = s->bitmap_width, h = s->bitmap_height;
    CodeOutcome out;
    out.width = w * module;
    out.height = h * module;
    out.largestModule = std::clamp(std::min(roomWidth / std::max(w, 1), roomHeight / std::max(h, 1)), 0, kMaxModule);
    if (out.width > roomWidth || out.height > roomHeight) {
        out.kind = CodeOutcome::Kind::TooLarge;
        return out;
    }
    out.kind = CodeOutcome::Kind::Made;
    CodePicture& p = out.picture;
    p.width = out.width;
    p.height = out.height;
    p.pixels.assign(std::size_t(p.width) * std::size_t(p.height), 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            // Anything but the background is ink.
            const unsigned char* rgb = s->bitmap + 3 * (std::size_t(y / module) * std::size_t(w) + std::size_t(x / module));
            p.pixels[std::size_t(y) * std::size_t(p.width) + std::size_t(x)] =
                !(rgb[0] == 0xff && rgb[1] == 0xff && rgb[2] == 0xff);
        }
    return out;
}

std::string codeRefusalMessage(const CodeOutcome& outcome)
{
    switch (outcome.kind) {
    case CodeOutcome::Kind::Made: return {};
    case CodeOutcome::Kind::BadData: return ".این داده در این نوع کد نوشتنی نیست\n" + outcome.reason;
    case CodeOutcome::Kind::TooLarge:
        if (outcome.largestModule == 0)
            return ".این کد با هیچ اندازه ماژولی در تصویر 240 × 154 جا نمی‌شود (" + std::to_string(outcome.width) +
                   " × " + std::to_string(outcome.height) + " نقطه)";
        return ".این کد در تصویر 240 × 154 جا نمی‌شود (" + std::to_string(outcome.width) + " × " +
               std::to_string(outcome.height) + " نقطه). بزرگترین اندازه ماژول که جا می‌شود: " +
               std::to_string(outcome.largestModule);
    }
    return {};
}

} // namespace korvel::image
