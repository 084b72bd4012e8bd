#pragma once
// What the printer will draw for a row of codes, as Unicode presentation forms
// in left-to-right order (show it with a left-to-right override).

#include <string>
#include <string_view>

namespace korvel::text {

// Drawn where a code names nothing the printer's font has.
inline constexpr char16_t kUnprintableMark = u'\uFFFD';

// `codes` is TextStream::codes (no length field). ASCII comes back as itself.
// 0xC8 names both و and the isolated ه; it is shown as و.
std::u16string previewFromCodes(std::string_view codes);

} // namespace korvel::text
