#pragma once
// The base direction the operator chose for the lines of a message.

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvel::text {

// Auto: each line takes the direction of its first strong letter (tokens do
// not count); a line without one runs left to right.
enum class TextDirection : std::uint8_t { Auto, Ltr, Rtl };

// "auto", "ltr", "rtl".
std::optional<TextDirection> directionNamed(std::string_view name);
std::string_view directionName(TextDirection direction);

} // namespace korvel::text
