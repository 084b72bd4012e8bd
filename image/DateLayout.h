#pragma once
// Date-field overlays: where the printer prints the production and expiry
// dates on a stored picture, and the strings that tell it.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace korvel::image {

// "00" before one character, "0" before two; anything else unchanged.
std::string pad3(std::string text);

enum class DateLabel { ProductionYear, ProductionMonth, ProductionDay, ExpiryYear, ExpiryMonth, ExpiryDay };
constexpr int kDateLabelCount = 6;

struct DateLabelInfo {
    DateLabel id;
    const char* objectName;    // the label's design name
    const char* buttonName;    // its placing button
    const char* buttonCaption; // UTF-8; also the label's hint
    int red, green, blue;      // font colour
    const char* xStore;        // design names of the two position stores
    const char* yStore;
    bool expiry;
};

// In DateLabel order.
const std::array<DateLabelInfo, kDateLabelCount>& dateLabels();
const DateLabelInfo& dateLabelInfo(DateLabel label);
// Month follows its year, day its month; years follow nothing.
std::optional<DateLabel> precedingLabel(DateLabel label);

// Preview font sizes.
constexpr int kStartSizeDigit = 3;
constexpr int kStartFontPointSize = 30; // at start and after New, whatever the digit
int fontPointSize(int sizeDigit);       // 1..8 -> 10 .. 130 pt; throws std::out_of_range
int sizeDigitDown(int sizeDigit);       // 1 -> 8
int sizeDigitUp(int sizeDigit);         // 8 -> 1

constexpr int kCanvasWidth = 240, kCanvasHeight = 154;

struct Position {
    int left = 0, top = 0;
    friend bool operator==(const Position&, const Position&) = default;
};
struct LabelBox {
    int left = 0, top = 0, width = 0, height = 0;
};

// Where a label waits while it is not placed; its stores then read "251".
constexpr Position kParked{251, 251};

Position placeProductionYear();
// On the canvas's bottom edge; a label taller than the canvas stays at top 0.
Position placeExpiryYear(int labelHeight);
// Right of the preceding label with a gap of 8 x the production size digit
// (for the expiry labels too), or at left 0 when that would pass column 239.
// Uses the preceding label's box whether it is placed or parked.
Position placeAfter(const LabelBox& preceding, int labelWidth, int productionSizeDigit);

// A label as far as it can stay inside the 240 x 154 canvas.
Position holdInsideCanvas(const LabelBox& label);
// A mouse move over a label, pointer relative to the label: while dragging,
// the label's centre follows the pointer; the label is held inside the canvas
// either way, so its stores always read three digits.
Position dragLabel(const LabelBox& label, int pointerX, int pointerY, bool dragging);

// Days from production to expiry.
constexpr int kExpiryOffsetStart = 30, kExpiryOffsetMin = 0, kExpiryOffsetMax = 999;
int expiryOffsetUp(int offset);   // stops at 999
int expiryOffsetDown(int offset); // stops at 0

// The 21 characters after "J" or "V": calendar ("0" Solar Hijri, "1"
// Gregorian), slot, size digit, then year X, Y, month X, Y, day X, Y as three
// digits each. Throws std::invalid_argument for a slot outside 1..5, a size
// digit outside 1..8 or a coordinate outside 0..999 (which would not fit).
std::string layoutParameters(bool solar, int slot, int sizeDigit,
                             const std::array<std::pair<int, int>, 3>& positions);
// The three digits after "n"; throws std::invalid_argument outside 0..999.
std::string expiryDaysParameter(int offset);

// Date previews.
struct CivilDate {
    int year = 0, month = 0, day = 0;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};
CivilDate addDays(CivilDate gregorian, int days);

struct DatePreview {
    std::string year, month, day; // two-digit year; month and day unpadded
    friend bool operator==(const DatePreview&, const DatePreview&) = default;
};
// Gregorian date -> the same day in the Solar Hijri calendar (year, month, day).
using SolarConversion = std::function<CivilDate(CivilDate gregorian)>;
// What a date's three labels show: in the Solar Hijri calendar when solar is
// set (through toSolar, which must then be given), else Gregorian.
DatePreview datePreview(CivilDate gregorian, bool solar, const SolarConversion& toSolar = {});

} // namespace korvel::image
