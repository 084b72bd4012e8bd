// The settings report parser against any text collected after a "u".
#include "FuzzCheck.h"
#include "printer/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace korvel::printer;

namespace {

// The track bar position a field's digits stand for.
int expectedPosition(std::string_view digits)
{
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 255)
            return 255;
    }
    return value < 1 ? 1 : static_cast<int>(value);
}

void checkField(const ReportField& f)
{
    FUZZ_CHECK(!f.text.empty());
    for (char c : f.text)
        FUZZ_CHECK(c >= '0' && c <= '9');
    FUZZ_CHECK(f.position == expectedPosition(f.text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto report = parseSettingsReport(text);
    if (!report)
        return 0;
    const ReportField* fields[] = {&report->ink, &report->count, &report->delayAfter, &report->initialDelay,
                                   &report->resolution};
    std::string joined;
    for (const ReportField* f : fields) {
        checkField(*f);
        if (!joined.empty())
            joined += ',';
        joined += f->text;
    }
    // The fields are exactly what follows the first comma, up to a full stop.
    const std::size_t comma = text.find(',');
    FUZZ_CHECK(comma != std::string_view::npos);
    FUZZ_CHECK(text.substr(comma + 1, joined.size() + 1) == joined + ".");

    // And the same report read again from a clean line.
    const auto again = parseSettingsReport("u," + joined + ".");
    FUZZ_CHECK(again && *again == *report);
    return 0;
}
