#include "Direction.h"

namespace korvel::text {

std::optional<TextDirection> directionNamed(std::string_view name)
{
    if (name == "auto")
        return TextDirection::Auto;
    if (name == "ltr")
        return TextDirection::Ltr;
    if (name == "rtl")
        return TextDirection::Rtl;
    return std::nullopt;
}

std::string_view directionName(TextDirection direction)
{
    switch (direction) {
    case TextDirection::Ltr: return "ltr";
    case TextDirection::Rtl: return "rtl";
    case TextDirection::Auto: break;
    }
    return "auto";
}

} // namespace korvel::text
