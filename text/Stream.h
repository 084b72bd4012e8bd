#pragma once
// The text stream the printer receives after answering "T" with "}":
// a four-digit length field, then one code per character in print order.

#include "Direction.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::text {

inline constexpr std::size_t kMaxCodes = 5000;

// Stands in `codes` for a character the printer cannot draw; never sent.
inline constexpr char kNoCode = '\0';

struct TextStream {
    // Length field and codes, ready for the line; empty unless sendable().
    std::string bytes;
    // One code per printed character, left to right, lines in order with CR LF
    // between them, the added space last; kNoCode where a character is unprintable.
    std::string codes;
    // Beside each code: what it shows (the typed letter's presentation form,
    // ASCII as itself, mirrored brackets mirrored) ...
    std::u16string shown;
    // ... and which character of `text` it came from (-1 for the added space).
    std::vector<std::int32_t> source;
    // The editor's text the stream was made from.
    std::u16string text;
    // The direction of each line.
    std::vector<bool> lineRtl;
    // Code points the printer cannot draw, each once, in order of appearance.
    std::vector<char32_t> unprintable;
    bool tooLong = false;
    std::size_t codeCount = 0;

    bool sendable() const { return unprintable.empty() && !tooLong; }
};

// Takes the editor's text as it stands when the operator sends it. Each line
// is ordered by its own characters' bidirectional classes, as the editor
// shows it; the folded characters are shaped and sent in their places.
TextStream encodeTextStream(std::u16string_view editorText, TextDirection direction = TextDirection::Auto);

// A stream of the given codes exactly as they are, for the font chart.
std::string rawStream(std::string_view codes);

// Every code 0x80 .. 0xFF, each after its hex value in ASCII ("80=" and the
// code), eight to a line: what the printer's own font draws for each.
std::string fontChartCodes();

// "30 30 30 31 20": upper-case, one space between bytes.
std::string toHex(std::string_view bytes);

} // namespace korvel::text
