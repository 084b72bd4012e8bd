#include "Calendar.h"

namespace korvel::text {

namespace {

long long floorDiv(long long a, long long b)
{
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Day number of 1 Farvardin of Solar year y; floor((8y + 21) / 33) counts the
// leap years the rule puts before y.
long long solarYearStart(long long y)
{
    auto raw = [](long long yy) { return 365 * (yy - 1) + floorDiv(8 * yy + 21, 33); };
    // 1 Farvardin 1404 fell on 21 March 2025.
    return daysFromCivil(2025, 3, 21) + raw(y) - raw(1404);
}

} // namespace

long long daysFromCivil(int year, int month, int day)
{
    // Normalise the month first so that month 13 or 0 rolls into the next or previous year.
    long long y = year + floorDiv(month - 1, 12);
    const long long m = month - 1 - 12 * floorDiv(month - 1, 12) + 1;
    y -= m <= 2;
    const long long era = floorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long days, int& year, int& month, int& day)
{
    const long long z = days + 719468;
    const long long era = floorDiv(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

void addDays(int& year, int& month, int& day, int n)
{
    civilFromDays(daysFromCivil(year, month, day) + n, year, month, day);
}

SolarDate miladiToShamsi(int year, int month, int day)
{
    const long long d = daysFromCivil(year, month, day);
    // The Solar year starts in March of Gregorian year g, so it is g - 621 or g - 622.
    int gy = 0, gm = 0, gd = 0;
    civilFromDays(d, gy, gm, gd);
    long long y = gy - 621;
    while (solarYearStart(y) > d)
        --y;
    while (solarYearStart(y + 1) <= d)
        ++y;
    const long long doy = d - solarYearStart(y); // 0-based
    SolarDate out{static_cast<int>(y), 0, 0};
    if (doy < 186) {
        out.month = static_cast<int>(doy / 31 + 1);
        out.day = static_cast<int>(doy % 31 + 1);
    } else {
        out.month = static_cast<int>((doy - 186) / 30 + 7);
        out.day = static_cast<int>((doy - 186) % 30 + 1);
    }
    return out;
}

} // namespace korvel::text
