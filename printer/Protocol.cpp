#include "Protocol.h"

#include "Messages.h"

#include <stdexcept>

namespace korvel::printer {

namespace {

using std::chrono::microseconds;
constexpr microseconds kLong = std::chrono::duration_cast<microseconds>(kLongPause);

Step now(std::string bytes) { return Step{std::move(bytes), microseconds{0}}; }
Step afterLongPause(std::string bytes) { return Step{std::move(bytes), kLong}; }

Job job(std::string name, std::vector<Step> steps, std::vector<std::string> acks, bool timer = false)
{
    return Job{std::move(name), std::move(steps), timer, std::move(acks), false};
}

std::string twoDigits(int v)
{
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

void require(bool condition, const char* what)
{
    if (!condition)
        throw std::invalid_argument(what);
}

std::string slotDigit(int slot)
{
    require(slot >= 1 && slot <= 5, "image slot must be 1 to 5");
    return std::string(1, static_cast<char>('0' + slot));
}

void requireNoZeroByte(std::string_view s, const char* what)
{
    require(s.find('\0') == std::string_view::npos, what);
}

Job letterPauseParameters(std::string name, char letter, std::string_view parameters, std::vector<std::string> acks)
{
    require(!parameters.empty(), "command parameters must not be empty");
    requireNoZeroByte(parameters, "command parameters must not hold a zero byte");
    return job(std::move(name), {now(std::string(1, letter)), afterLongPause(std::string(parameters))},
               std::move(acks));
}

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

} // namespace

Job connectJob() { return job("connect", {now("!")}, {"s"}); }

Job requestSettingsJob() { return job("request settings", {now("u")}, {"u"}); }

Job directionJob(Direction direction)
{
    if (direction == Direction::RightToLeft)
        return job("print right to left", {now("H")}, {"H"});
    return job("print left to right", {now("h")}, {"h"});
}

Job valueSettingJob(ValueSetting setting, int position)
{
    require(position >= 1 && position <= 255, "setting value must be 1 to 255");
    const std::string value(1, static_cast<char>(static_cast<unsigned char>(position)));
    switch (setting) {
    case ValueSetting::InitialDelay:
        return job("initial delay", {now("l"), now(value)}, {"l"}, true);
    case ValueSetting::DelayAfter:
        return job("delay after printing", {now("R"), afterLongPause(value)}, {"G"});
    case ValueSetting::Resolution:
        return job("print resolution", {now("B"), afterLongPause(value)}, {"B"});
    case ValueSetting::Ink:
        return job("ink amount", {now("q"), now(value)}, {"q"}, true);
    case ValueSetting::Count:
        return job("print count", {now("r"), afterLongPause(value)}, {"g"});
    }
    throw std::invalid_argument("unknown setting");
}

Job setDateJob(int year, int month, int day)
{
    require(year >= 0, "year must not be negative");
    require(month >= 1 && month <= 12, "month must be 1 to 12");
    require(day >= 1 && day <= 31, "day must be 1 to 31");
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    require(day <= kDays[month - 1] && !(month == 2 && day == 29 && !leapYear(year)),
            "no such day in that month");
    // The printer keeps the year modulo 200, not 100: 2025 is sent as 25.
    const int y = year > 99 ? year % 200 : year;
    return job("set date",
               {now("d"), afterLongPause(std::to_string(y)), afterLongPause(twoDigits(month)),
                afterLongPause(twoDigits(day))},
               {"d"}, true);
}

Job setTimeJob(int hour, int minute, int second)
{
    require(hour >= 0 && hour <= 23, "hour must be 0 to 23");
    require(minute >= 0 && minute <= 59, "minute must be 0 to 59");
    require(second >= 0 && second <= 59, "second must be 0 to 59");
    return job("set time",
               {now("t"), afterLongPause(twoDigits(hour)), afterLongPause(twoDigits(minute)),
                afterLongPause(twoDigits(second))},
               {"t"}, true);
}

Job setCounterJob(std::string_view text4)
{
    require(text4.size() == 4, "counter must be four characters");
    requireNoZeroByte(text4, "counter must not hold a zero byte");
    return job("set counter", {now("c" + std::string(text4))}, {"c"}, true);
}

Job sendTextJob() { return job("send text", {now("T")}, {"}"}); }

Job storeTextJob() { return job("store text", {now("s")}, {"{"}); }

Job sendPictureJob() { return job("send picture", {now("P")}, {"("}); }

Job storePictureJob(int slot)
{
    return job("store picture", {now("s"), afterLongPause(slotDigit(slot))}, {"v"});
}

Job imageSequenceJob(int slot)
{
    return job("image sequence", {now("S"), afterLongPause(slotDigit(slot))}, {"S"});
}

Job expiryDaysJob(std::string_view offsetText)
{
    // The printer reports the expiry with "n" or "a"; both carry the same message.
    return letterPauseParameters("expiry days", 'n', padThree(offsetText), {"n", "a"});
}

Job productionLayoutJob(std::string_view parameters)
{
    return letterPauseParameters("production date layout", 'J', parameters, {"j"});
}

Job expiryLayoutJob(std::string_view parameters)
{
    return letterPauseParameters("expiry date layout", 'V', parameters, {"a", "n"});
}

Job textUploadJob(std::string_view stream)
{
    require(stream.size() >= 4, "text stream must start with its length field");
    requireNoZeroByte(stream, "text stream must not hold a zero byte");
    // "r" when the text is in, "@" when it is ready to print.
    Job j = job("text upload", {now(std::string(stream.substr(0, 4)))}, {"r", "@"});
    j.allReplies = true;
    j.steps.reserve(stream.size() - 3);
    for (char code : stream.substr(4))
        j.steps.push_back(Step{std::string(1, code), kShortPause});
    return j;
}

Job imageUploadJob(std::span<const std::int32_t> values)
{
    Job j = job("image upload", {now("240")}, {"pload"});
    j.steps.reserve(values.size() + 1);
    for (std::int32_t v : values) {
        require(v >= 0 && v <= 999, "image value must be 0 to 999");
        std::string text(3, '0');
        text[0] = static_cast<char>('0' + v / 100);
        text[1] = static_cast<char>('0' + v / 10 % 10);
        text[2] = static_cast<char>('0' + v % 10);
        j.steps.push_back(Step{std::move(text), kShortPause});
    }
    return j;
}

std::string padThree(std::string_view text)
{
    if (text.size() == 1)
        return "00" + std::string(text);
    if (text.size() == 2)
        return "0" + std::string(text);
    return std::string(text);
}

CounterResult counterFromAnswer(std::string_view answer, bool cancelled)
{
    if (cancelled)
        return {true, "0000", {}};
    while (!answer.empty() && (answer.front() == ' ' || answer.front() == '\t'))
        answer.remove_prefix(1);
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t'))
        answer.remove_suffix(1);

    const CounterResult refused{false, {}, std::string(kMsgCounterInvalid)};
    std::string digits;
    for (std::size_t i = 0; i < answer.size();) {
        const auto b0 = static_cast<unsigned char>(answer[i]);
        if (b0 >= '0' && b0 <= '9') {
            digits += static_cast<char>(b0);
            i += 1;
            continue;
        }
        if (i + 1 >= answer.size())
            return refused;
        const auto b1 = static_cast<unsigned char>(answer[i + 1]);
        // U+06F0..U+06F9 (Persian) is DB B0..DB B9, U+0660..U+0669 (Arabic-Indic) D9 A0..D9 A9.
        if (b0 == 0xDB && b1 >= 0xB0 && b1 <= 0xB9)
            digits += static_cast<char>('0' + (b1 - 0xB0));
        else if (b0 == 0xD9 && b1 >= 0xA0 && b1 <= 0xA9)
            digits += static_cast<char>('0' + (b1 - 0xA0));
        else
            return refused;
        i += 2;
    }
    if (digits.size() > 4)
        return refused;
    return {true, std::string(4 - digits.size(), '0') + digits, {}};
}

} // namespace korvel::printer
