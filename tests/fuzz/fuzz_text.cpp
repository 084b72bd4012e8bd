// The operator's text as any UTF-16 (lone surrogates included, little-endian
// code units) through folding, ordering and the text stream, in all three directions.
#include "FuzzCheck.h"
#include "text/Forms.h"
#include "text/Prepare.h"
#include "text/Stream.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Characters printed: code points of the folded text, format characters left out.
std::size_t printedCount(const std::u16string& folded)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < folded.size(); ++i) {
        char32_t cp = folded[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < folded.size() && folded[i + 1] >= 0xDC00 && folded[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (folded[++i] - 0xDC00);
        if (!isUnsent(cp))
            ++n;
    }
    return n;
}

} // namespace

static void checkStream(const std::u16string& input, TextDirection direction);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string input(size / 2, u'\0');
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

    for (TextDirection d : {TextDirection::Auto, TextDirection::Ltr, TextDirection::Rtl})
        checkStream(input, d);
    return 0;
}

static void checkStream(const std::u16string& input, TextDirection direction)
{
    const TextStream stream = encodeTextStream(input, direction);
    const std::u16string normalized = foldForPrinter(input);
    FUZZ_CHECK(stream.codeCount == stream.codes.size());
    FUZZ_CHECK(stream.shown.size() == stream.codes.size() && stream.source.size() == stream.codes.size());
    FUZZ_CHECK(stream.tooLong == (stream.codeCount > kMaxCodes));
    FUZZ_CHECK(stream.sendable() == (stream.unprintable.empty() && !stream.tooLong));
    for (char32_t cp : stream.unprintable)
        FUZZ_CHECK(cp > 0x7F || cp == 0);
    // Every printed character once, whatever the order.
    FUZZ_CHECK(stream.codeCount == printedCount(normalized) + 1);
    for (std::size_t i = 0; i + 1 < stream.source.size(); ++i)
        FUZZ_CHECK(stream.source[i] >= 0 && static_cast<std::size_t>(stream.source[i]) < input.size());
    if (!stream.sendable()) {
        FUZZ_CHECK(stream.bytes.empty());
        return;
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
    FUZZ_CHECK(stream.codes.back() == ' ');

    static const std::array<bool, 256> font = fontCodes();
    std::size_t asciiIn = 1, asciiOut = 0, lettersIn = 0, lettersOut = 0; // the added space
    for (char16_t c : normalized) {
        if (c >= 0x01 && c <= 0x7F)
            ++asciiIn;
        else if (hasLetterForm(c))
            ++lettersIn;
    }
    for (char ch : stream.codes) {
        const auto code = static_cast<std::uint8_t>(ch);
        FUZZ_CHECK(code != 0);
        FUZZ_CHECK(code <= 0x7F || font[code]);
        if (code <= 0x7F)
            ++asciiOut;
        else
            ++lettersOut;
    }
    FUZZ_CHECK(asciiIn == asciiOut); // brackets may be mirrored, never lost
    FUZZ_CHECK(lettersIn == lettersOut);
}
