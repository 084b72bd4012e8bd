#pragma once
// What the printer will draw for a text stream, line by line, as Unicode
// presentation forms left to right (show each line with a left-to-right override).

#include "Forms.h"
#include "Stream.h"

#include <functional>
#include <string>
#include <vector>

namespace korvel::text {

// Drawn where a character has no code in the printer's font.
inline constexpr char16_t kUnprintableMark = u'\uFFFD';

// Unicode's presentation form of a letter (the letter itself when it has none).
char16_t presentationForm(char16_t letter, Form form);

struct PreviewLine {
    std::u16string shown;      // left to right, as printed
    bool rightToLeft = false;  // aligned to the right
    std::vector<bool> shared;  // beside shown: the code names two letters
};

// The stream's lines without the added space. With `fill`, a value token
// shows the text fill gives for its letter (empty: the token stays).
std::vector<PreviewLine> previewLines(const TextStream& stream,
                                      const std::function<std::u16string(char16_t)>& fill = {});

} // namespace korvel::text
