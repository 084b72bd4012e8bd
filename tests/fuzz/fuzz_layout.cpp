// The date-field builders with any numbers: either refused or well-formed;
// a label that fits the canvas is always held inside it.
#include "FuzzCheck.h"
#include "image/DateLayout.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

using namespace korvel::image;

namespace {

// Near the edges of the valid range as often as anywhere in int.
int anyInt(FuzzedDataProvider& in, int low, int high)
{
    return in.ConsumeBool() ? in.ConsumeIntegralInRange(low - 2, high + 2) : in.ConsumeIntegral<int>();
}

bool isDigits(const std::string& s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

void checkLayout(FuzzedDataProvider& in)
{
    const bool solar = in.ConsumeBool();
    const int slot = anyInt(in, 1, 5);
    const int size = anyInt(in, 1, 8);
    std::array<std::pair<int, int>, 3> positions;
    bool inRange = slot >= 1 && slot <= 5 && size >= 1 && size <= 8;
    for (auto& [x, y] : positions) {
        x = anyInt(in, 0, 999);
        y = anyInt(in, 0, 999);
        inRange = inRange && x >= 0 && x <= 999 && y >= 0 && y <= 999;
    }
    std::string text;
    try {
        text = layoutParameters(solar, slot, size, positions);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(!inRange);
        return;
    }
    FUZZ_CHECK(inRange);
    FUZZ_CHECK(text.size() == 21 && isDigits(text));
    FUZZ_CHECK(text[0] == (solar ? '0' : '1'));
    FUZZ_CHECK(text[1] - '0' == slot && text[2] - '0' == size);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        FUZZ_CHECK(std::stoi(text.substr(3 + 6 * i, 3)) == positions[i].first);
        FUZZ_CHECK(std::stoi(text.substr(6 + 6 * i, 3)) == positions[i].second);
    }
}

void checkExpiry(FuzzedDataProvider& in)
{
    const int offset = anyInt(in, kExpiryOffsetMin, kExpiryOffsetMax);
    std::string text;
    try {
        text = expiryDaysParameter(offset);
    } catch (const std::invalid_argument&) {
        FUZZ_CHECK(offset < 0 || offset > 999);
        return;
    }
    FUZZ_CHECK(offset >= 0 && offset <= 999);
    FUZZ_CHECK(text.size() == 3 && isDigits(text) && std::stoi(text) == offset);
}

bool inside(Position p, const LabelBox& box)
{
    return p.left >= 0 && p.top >= 0 && p.left + box.width <= kCanvasWidth && p.top + box.height <= kCanvasHeight;
}

// Coordinates come from widgets and mouse events: far beyond any screen, but
// not near the ends of int.
constexpr int kFar = 1 << 24;

void checkPlacing(FuzzedDataProvider& in)
{
    LabelBox box;
    box.width = in.ConsumeIntegralInRange(0, kCanvasWidth);
    box.height = in.ConsumeIntegralInRange(0, kCanvasHeight);
    box.left = in.ConsumeIntegralInRange(-kFar, kFar);
    box.top = in.ConsumeIntegralInRange(-kFar, kFar);
    const int px = in.ConsumeIntegralInRange(-kFar, kFar);
    const int py = in.ConsumeIntegralInRange(-kFar, kFar);
    const bool dragging = in.ConsumeBool();

    const Position held = holdInsideCanvas(box);
    FUZZ_CHECK(inside(held, box));
    if (inside({box.left, box.top}, box))
        FUZZ_CHECK(held == (Position{box.left, box.top}));

    const Position dragged = dragLabel(box, px, py, dragging);
    FUZZ_CHECK(inside(dragged, box));
    if (!dragging)
        FUZZ_CHECK(dragged == held);

    // Placed after a label on the canvas: on the same line, and within the
    // canvas unless it is wider than the canvas itself.
    LabelBox preceding = box;
    preceding.left = held.left;
    preceding.top = held.top;
    const int width = in.ConsumeIntegralInRange(0, kCanvasWidth);
    const int digit = in.ConsumeIntegralInRange(1, 8);
    const Position next = placeAfter(preceding, width, digit);
    FUZZ_CHECK(next.top == preceding.top);
    FUZZ_CHECK(next.left == 0 || (next.left >= preceding.left + preceding.width && next.left + width <= kCanvasWidth - 1));

    // Too big to fit: pinned to the top-left corner on that axis.
    LabelBox big = box;
    big.width = in.ConsumeIntegralInRange(kCanvasWidth + 1, kFar);
    big.height = in.ConsumeIntegralInRange(kCanvasHeight + 1, kFar);
    FUZZ_CHECK(holdInsideCanvas(big) == (Position{0, 0}));

    const int offset = in.ConsumeIntegralInRange(-kFar, kFar);
    const int up = expiryOffsetUp(offset), down = expiryOffsetDown(offset);
    FUZZ_CHECK(up >= kExpiryOffsetMin && up <= kExpiryOffsetMax && down >= kExpiryOffsetMin && down <= kExpiryOffsetMax);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    checkLayout(in);
    checkExpiry(in);
    checkPlacing(in);
    return 0;
}
