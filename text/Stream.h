#pragma once
// The text stream the printer receives after answering "T" with "}":
// a four-digit length field, then one code per character in print order.

#include <cstddef>
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
    // One code per character of the upload text, in upload order (the added
    // space last); kNoCode where a character is unprintable. For the preview.
    std::string codes;
    // Code points the printer cannot draw, each once, in order of appearance.
    std::vector<char32_t> unprintable;
    bool tooLong = false;
    std::size_t codeCount = 0;

    bool sendable() const { return unprintable.empty() && !tooLong; }
};

TextStream encodeTextStream(std::u16string_view editorText);

// "30 30 30 31 20": upper-case, one space between bytes.
std::string toHex(std::string_view bytes);

} // namespace korvel::text
