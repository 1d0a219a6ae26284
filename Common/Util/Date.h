#pragma once

// Calendar dates held as a Julian Day Number (day 2451545 is 1 January 2000), proleptic
// Gregorian calendar throughout.
//
// Years passed in are astronomical (year 0 is 1 BC); GetDate, GetYear and the date formatting
// report years before 1 without a year 0 (astronomical 0 is reported as -1). Conversions are
// exact from day number -68569 (1 March -4900) and for years -7999 to 9999; nothing is
// validated, and out-of-range input yields some day number by the same formulas. All
// arithmetic runs in 64 bits, so no int input overflows; a day number outside the int range
// is reduced modulo 2^32 (two's complement).

// Julian Day Number of a civil date. Day 0 is the last day of the month before; month 0 is
// December of the year before, months 13 and 14 are January and February of the next year.
int DayNumber(int year, int month, int day);

// Gregorian leap year rule, valid for negative (astronomical) years too.
bool IsLeapYear(int year);

class Date
{
public:
    Date() = default;
    Date(int year, int month, int day) : m_dayNumber(DayNumber(year, month, day)) {}

    void SetDate(int year, int month, int day) { m_dayNumber = DayNumber(year, month, day); }
    // 7 * week + whole days of secondsOfWeek after 6 January 1980 (GPS week 0). NaN seconds
    // count as 0 days.
    void SetGpsTime(int week, float secondsOfWeek);
    void SetDayNumber(int dayNumber) { m_dayNumber = dayNumber; }
    int GetDayNumber() const { return m_dayNumber; }

    void GetDate(int& year, int& month, int& day) const;
    int GetDay() const;
    int GetMonth() const;
    int GetYear() const;

    // The next three work on the astronomical year, so they stay right before year 1 too.
    int GetDayOfYear() const;
    bool IsLeap() const;
    // Year plus day of year / 365 (or 366): in (year, year + 1], never decreasing.
    double GetYearFraction() const;

    // 0 = Monday ... 6 = Sunday (day number 0 is a Monday). Before day 0 the day number is
    // taken as unsigned, so the count does not continue backwards there.
    int GetWeekDay() const;

private:
    long long AstronomicalYear() const;

    int m_dayNumber = 0;
};
