// The operator's text as any UTF-16 (lone surrogates included, little-endian
// code units) through preparation and the text stream.
#include "FuzzCheck.h"
#include "text/Forms.h"
#include "text/Prepare.h"
#include "text/Stream.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace korvel::text;

namespace {

// Every code the printer's font has a letter form for.
std::array<bool, 256> fontCodes()
{
    std::array<bool, 256> codes{};
    for (const auto& l : kTwoFormLetters)
        codes[l.end] = codes[l.joining] = true;
    for (const auto& l : kOneFormLetters)
        codes[l.code] = true;
    for (const auto& l : kFourFormLetters)
        codes[l.isolated] = codes[l.final] = codes[l.medial] = codes[l.initial] = true;
    return codes;
}

bool isSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool wellPaired(const std::u16string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            ++i;
        else if (isSurrogate(s[i]))
            return false;
    }
    return true;
}

void checkMemoset(const std::u16string& text)
{
    const std::u16string reordered = memoset(text);
    FUZZ_CHECK(reordered.size() == text.size());
    std::u16string a = text, b = reordered;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    FUZZ_CHECK(a == b);
    // Reversing the same stretches again gives the text back.
    if (wellPaired(text))
        FUZZ_CHECK(memoset(reordered) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string input(size / 2, u'\0');
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

    const std::u16string normalized = normalizeForPrinter(input);
    FUZZ_CHECK(normalized.size() <= input.size());
    checkMemoset(input);
    checkMemoset(normalized);

    const TextStream stream = encodeTextStream(input);
    FUZZ_CHECK(stream.codeCount == stream.codes.size());
    FUZZ_CHECK(stream.tooLong == (stream.codeCount > kMaxCodes));
    FUZZ_CHECK(stream.sendable() == (stream.unprintable.empty() && !stream.tooLong));
    for (char32_t cp : stream.unprintable)
        FUZZ_CHECK(cp > 0x7F || cp == 0);
    if (!stream.sendable()) {
        FUZZ_CHECK(stream.bytes.empty());
        return 0;
    }

    // Length field: four digits giving the number of codes after it.
    constexpr std::size_t digits = 4;
    FUZZ_CHECK(stream.bytes.size() >= digits);
    for (std::size_t i = 0; i < digits; ++i)
        FUZZ_CHECK(stream.bytes[i] >= '0' && stream.bytes[i] <= '9');
    const std::size_t length = std::stoul(stream.bytes.substr(0, digits));
    FUZZ_CHECK(length == stream.bytes.size() - digits);
    FUZZ_CHECK(length == stream.codeCount);
    FUZZ_CHECK(stream.bytes.substr(digits) == stream.codes);

    // One code per character the printer draws, the added space last.
    const auto printed = static_cast<std::size_t>(
        std::count_if(normalized.begin(), normalized.end(), [](char16_t c) { return c != kJoinBreak; }));
    FUZZ_CHECK(length == printed + 1);
    FUZZ_CHECK(stream.codes.back() == ' ');

    static const std::array<bool, 256> font = fontCodes();
    std::array<std::size_t, 128> asciiIn{}, asciiOut{};
    std::size_t lettersIn = 0, lettersOut = 0;
    for (char16_t c : normalized) {
        if (c >= 0x01 && c <= 0x7F)
            ++asciiIn[c];
        else if (hasLetterForm(c))
            ++lettersIn;
    }
    ++asciiIn[' '];
    for (char ch : stream.codes) {
        const auto code = static_cast<std::uint8_t>(ch);
        FUZZ_CHECK(code != 0);
        FUZZ_CHECK(code <= 0x7F || font[code]);
        if (code <= 0x7F)
            ++asciiOut[code];
        else
            ++lettersOut;
    }
    FUZZ_CHECK(asciiIn == asciiOut);
    FUZZ_CHECK(lettersIn == lettersOut);
    return 0;
}
