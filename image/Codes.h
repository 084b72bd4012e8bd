#pragma once
// Barcodes and 2-D codes for the canvas, made by libzint: one printer pixel
// a module at size 1, every module a square of whole pixels, quiet zone
// included, or a refusal that says why.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::image {

enum class Symbology { QrCode, DataMatrix, Gs1DataMatrix, Code128, Gs1_128, Ean13 };

constexpr int kMinModule = 1, kMaxModule = 6;

struct SymbologyName {
    Symbology symbology;
    const char* key;     // korvelctl's --type
    const char* caption; // what the operator chooses from (UTF-8)
};
const std::vector<SymbologyName>& symbologyNames();
std::optional<Symbology> symbologyFromKey(std::string_view key);
bool isGs1(Symbology symbology);

// Row by row, 1 for black.
struct CodePicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    bool black(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] != 0; }
};

struct CodeOutcome {
    enum class Kind { Made, BadData, TooLarge };
    Kind kind = Kind::BadData;
    CodePicture picture;   // Made
    std::string reason;    // BadData: libzint's own text (UTF-8), or why the symbology cannot take it
    int width = 0, height = 0; // TooLarge: the size it would have at the asked module
    int largestModule = 0; // TooLarge: the largest module size that fits, 0 when none does
};

// data is UTF-8; GS1 symbologies take it with its application identifiers in
// parentheses, "(01)09501101530003(10)AB12". module outside 1..6 is BadData.
CodeOutcome makeCode(Symbology symbology, std::string_view data, int module, int roomWidth = 240,
                     int roomHeight = 154);

// The operator's message for an outcome that is not Made (Persian, UTF-8).
std::string codeRefusalMessage(const CodeOutcome& outcome);

} // namespace korvel::image
