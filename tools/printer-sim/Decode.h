// What the printer makes of the two upload streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One code of the printer's font, read back to the letter it is a form of.
struct Glyph {
    char32_t letter;       // the base letter (U+FFFD for a code the font lacks)
    char32_t presentation; // the nearest Arabic presentation form, or the letter itself
    std::string form;      // "ascii", "end", "join", "single", "isolated", "final", "medial", "initial", "unknown"
    bool ambiguous;        // 0xC8: waw, or the isolated heh
};
Glyph glyphFor(uint8_t code);

struct DecodedText {
    std::string visual;       // UTF-8, the codes in the order received
    std::string presentation; // the same with presentation forms
    std::vector<std::string> forms;
    std::vector<int> ambiguous; // code positions, 0-based
    std::vector<int> unknown;
};
DecodedText decodeText(const std::string& codes);

constexpr int kPictureWidth = 240;
constexpr int kPictureHeight = 154;
constexpr int kValuesPerColumn = 22;
constexpr size_t kPictureStreamSize = 3 + kPictureWidth * kValuesPerColumn * 3; // 15,843

struct DecodedPicture {
    bool ok = false;
    std::string error;
    std::vector<uint8_t> black; // kPictureWidth * kPictureHeight, row-major, 1 = black
};
// `stream` is everything after "(": "240" and the three-digit values.
DecodedPicture decodePicture(const std::string& stream);
bool writePng(const DecodedPicture& pic, const std::string& path);

std::string toUtf8(char32_t c);

} // namespace sim
