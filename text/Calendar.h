#pragma once
// Gregorian to Solar Hijri, by the 33-year arithmetic rule: Solar year y is a
// leap year when (25*y + 11) mod 33 < 8.

namespace korvel::text {

struct SolarDate {
    int year;
    int month; // 1..12
    int day;   // 1..31
    friend bool operator==(const SolarDate&, const SolarDate&) = default;
};

// Out-of-range days and months roll over as in daysFromCivil.
SolarDate miladiToShamsi(int year, int month, int day);

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(int year, int month, int day);
void civilFromDays(long long days, int& year, int& month, int& day);

// Moves a Gregorian date by n days (n may be negative).
void addDays(int& year, int& month, int& day, int n);

} // namespace korvel::text
