#include "image/DateLayout.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace korvel::image {

std::string pad3(std::string text)
{
    if (text.size() == 1)
        return "00" + text;
    if (text.size() == 2)
        return "0" + text;
    return text;
}

const std::array<DateLabelInfo, kDateLabelCount>& dateLabels()
{
    static const std::array<DateLabelInfo, kDateLabelCount> labels{{
        {DateLabel::ProductionYear, "label_p_y", "SpeedButton8", "سال تولید", 0, 94, 0, "Edit4", "Edit7", false},
        {DateLabel::ProductionMonth, "label_p_m", "SpeedButton9", "ماه تولید", 0, 166, 0, "Edit6", "Edit8", false},
        {DateLabel::ProductionDay, "label_p_d", "SpeedButton10", "روز تولید", 111, 255, 111, "Edit9", "Edit10", false},
        {DateLabel::ExpiryYear, "label_e_y", "SpeedButton11", "سال انقضا", 119, 0, 119, "edit_e_y_x", "edit_e_y_y", true},
        {DateLabel::ExpiryMonth, "label_e_m", "SpeedButton12", "ماه انقضا", 217, 0, 217, "edit_e_m_x", "edit_e_m_y", true},
        {DateLabel::ExpiryDay, "label_e_d", "SpeedButton13", "روز انقضا", 255, 174, 255, "edit_e_d_x", "edit_e_d_y", true},
    }};
    return labels;
}

const DateLabelInfo& dateLabelInfo(DateLabel label)
{
    return dateLabels().at(static_cast<std::size_t>(label));
}

std::optional<DateLabel> precedingLabel(DateLabel label)
{
    switch (label) {
    case DateLabel::ProductionMonth: return DateLabel::ProductionYear;
    case DateLabel::ProductionDay: return DateLabel::ProductionMonth;
    case DateLabel::ExpiryMonth: return DateLabel::ExpiryYear;
    case DateLabel::ExpiryDay: return DateLabel::ExpiryMonth;
    case DateLabel::ProductionYear:
    case DateLabel::ExpiryYear: break;
    }
    return std::nullopt;
}

int fontPointSize(int sizeDigit)
{
    static constexpr int sizes[] = {10, 25, 37, 48, 60, 80, 100, 130};
    if (sizeDigit < 1 || sizeDigit > 8)
        throw std::out_of_range("size digit must be 1..8, got " + std::to_string(sizeDigit));
    return sizes[sizeDigit - 1];
}

int sizeDigitDown(int sizeDigit) { return sizeDigit >= 2 ? sizeDigit - 1 : 8; }
int sizeDigitUp(int sizeDigit) { return sizeDigit + 1 <= 8 ? sizeDigit + 1 : 1; }

Position placeProductionYear() { return {0, 0}; }

Position placeExpiryYear(int labelHeight) { return {0, std::max(0, kCanvasHeight - labelHeight)}; }

Position placeAfter(const LabelBox& preceding, int labelWidth, int productionSizeDigit)
{
    const int gap = 8 * productionSizeDigit;
    const int left = gap + preceding.left + preceding.width;
    return {left + labelWidth > kCanvasWidth - 1 ? 0 : left, preceding.top};
}

Position holdInsideCanvas(const LabelBox& label)
{
    // The left and top edges win for a label larger than the canvas.
    Position p{label.left, label.top};
    if (p.left + label.width > kCanvasWidth)
        p.left = kCanvasWidth - label.width;
    if (p.left < 0)
        p.left = 0;
    if (p.top + label.height > kCanvasHeight)
        p.top = kCanvasHeight - label.height;
    if (p.top < 0)
        p.top = 0;
    return p;
}

Position dragLabel(const LabelBox& label, int pointerX, int pointerY, bool dragging)
{
    LabelBox moved = label;
    if (dragging) {
        moved.left += pointerX - label.width / 2;
        moved.top += pointerY - label.height / 2;
    }
    return holdInsideCanvas(moved);
}

int expiryOffsetUp(int offset) { return std::clamp(offset + 1, kExpiryOffsetMin, kExpiryOffsetMax); }
int expiryOffsetDown(int offset) { return std::clamp(offset - 1, kExpiryOffsetMin, kExpiryOffsetMax); }

namespace {
std::string threeDigits(int value, const char* what)
{
    if (value < 0 || value > 999)
        throw std::invalid_argument(std::string(what) + " must be 0..999, got " + std::to_string(value));
    return pad3(std::to_string(value));
}
} // namespace

std::string layoutParameters(bool solar, int slot, int sizeDigit,
                             const std::array<std::pair<int, int>, 3>& positions)
{
    if (slot < 1 || slot > 5)
        throw std::invalid_argument("image slot must be 1..5, got " + std::to_string(slot));
    if (sizeDigit < 1 || sizeDigit > 8)
        throw std::invalid_argument("size digit must be 1..8, got " + std::to_string(sizeDigit));
    std::string text = solar ? "0" : "1";
    text += std::to_string(slot);
    text += std::to_string(sizeDigit);
    for (const auto& [x, y] : positions) {
        text += threeDigits(x, "position");
        text += threeDigits(y, "position");
    }
    return text;
}

std::string expiryDaysParameter(int offset) { return threeDigits(offset, "expiry offset"); }

CivilDate addDays(CivilDate gregorian, int days)
{
    using namespace std::chrono;
    const year_month_day from{year{gregorian.year}, month{static_cast<unsigned>(gregorian.month)},
                              day{static_cast<unsigned>(gregorian.day)}};
    const year_month_day to{sys_days{from} + std::chrono::days{days}};
    return {static_cast<int>(to.year()), static_cast<int>(static_cast<unsigned>(to.month())),
            static_cast<int>(static_cast<unsigned>(to.day()))};
}

DatePreview datePreview(CivilDate gregorian, bool solar, const SolarConversion& toSolar)
{
    if (solar && !toSolar)
        throw std::invalid_argument("a Solar Hijri preview needs the calendar conversion");
    const CivilDate shown = solar ? toSolar(gregorian) : gregorian;
    const int yy = ((shown.year % 100) + 100) % 100;
    return {std::string{char('0' + yy / 10), char('0' + yy % 10)}, std::to_string(shown.month),
            std::to_string(shown.day)};
}

} // namespace korvel::image
