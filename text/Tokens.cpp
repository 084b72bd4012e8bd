#include "Tokens.h"

#include <algorithm>
#include <utility>

namespace korvel::text {

const std::array<TokenPicture, 9> kTokenPictures{{
    {"Image1", u"^y", u"اضافه کردن سال میلادی", "label_year", true},
    {"Image2", u"^d", u"اضافه کردن روز میلادی", "label_day", true},
    {"Image3", u"^m", u"اضافه کردن ماه میلادی", "label_month", true},
    {"Image6", u"^Y", u"اضافه کردن سال شمسی", "label_sal", false},
    {"Image4", u"^M", u"اضافه کردن ماه شمسی", "label_mah", true},
    {"Image5", u"^M", u"اضافه کردن روز شمسی", "label_rooz", true},
    {"Image8", u"", u"تغییر قلم", "label_font", false},
    {"Image9", u"^t", u"اضافه کردن ساعت", "", false},
    {"Image7", u"^c", u"اضافه کردن شمارنده", "", false},
}};

Edited insertToken(const std::u16string& text, int selectionStart, std::u16string_view token)
{
    const std::size_t pos = static_cast<std::size_t>(std::clamp(selectionStart, 0, static_cast<int>(text.size())));
    std::u16string out;
    out.reserve(text.size() + token.size());
    out.append(text, 0, pos);
    out.append(token);
    out.append(text, pos);
    return {std::move(out), static_cast<int>(pos + token.size())};
}

std::u16string fontToken(int trackBarPosition)
{
    return {u'^', static_cast<char16_t>(u'0' + std::clamp(trackBarPosition, 1, 8))};
}

std::u16string tokenFor(std::string_view control, int trackBarPosition)
{
    for (const auto& p : kTokenPictures)
        if (p.control == control)
            return p.token.empty() ? fontToken(trackBarPosition) : std::u16string(p.token);
    return {};
}

} // namespace korvel::text
