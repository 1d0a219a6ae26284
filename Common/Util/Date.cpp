#include "Common/Util/Date.h"

#include <cmath>

namespace {

int WrapToInt(long long value)
{
    const unsigned low = static_cast<unsigned>(value); // modulo 2^32
    if (low <= 0x7fffffffu)
        return static_cast<int>(low);
    return static_cast<int>(low - 0x80000000u) - 0x7fffffff - 1;
}

long long DayNumber64(long long year, long long month, long long day)
{
    // The year runs from March so that the leap day comes last; +8000 keeps the truncating
    // divisions equal to floor divisions for every year above -8000.
    long long a = year + 8000;
    long long m = month;
    if (month <= 2) {
        a = year + 7999;
        m = month + 12;
    }
    return day + 365 * a + a / 4 - a / 100 + a / 400 + (153 * m + 3) / 5 - 1200913;
}

struct Civil
{
    long long year; // astronomical
    int month;
    int day;
};

// Fliegel and Van Flandern. In 64 bits no step overflows for any int day number, and the
// results stay within int (years within about +-5.9 million).
Civil CivilFromDayNumber(long long j)
{
    long long l = j + 68569;
    const long long n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    const long long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long long jm = 80 * l / 2447;
    const long long day = l - 2447 * jm / 80;
    const long long k = jm / 11;
    const long long month = jm + 2 - 12 * k;
    return {k + i + 100 * n - 4900, static_cast<int>(month), static_cast<int>(day)};
}

} // namespace

int DayNumber(int year, int month, int day)
{
    return WrapToInt(DayNumber64(year, month, day));
}

bool IsLeapYear(int year)
{
    if (year % 400 == 0)
        return true;
    if (year % 100 == 0)
        return false;
    return (static_cast<unsigned>(year) & 3u) == 0;
}

void Date::SetGpsTime(int week, float secondsOfWeek)
{
    float days = std::trunc(secondsOfWeek / 86400.0f);
    if (std::isnan(days))
        days = 0.0f;
    // Beyond 2^40 days the int result is meaningless anyway; the clamp keeps the conversion
    // defined.
    const float limit = 1099511627776.0f;
    days = days > limit ? limit : (days < -limit ? -limit : days);
    m_dayNumber = WrapToInt(7LL * week + static_cast<long long>(days) + 2444245);
}

void Date::GetDate(int& year, int& month, int& day) const
{
    const Civil civil = CivilFromDayNumber(m_dayNumber);
    const long long y = civil.year <= 0 ? civil.year - 1 : civil.year;
    year = static_cast<int>(y);
    month = civil.month;
    day = civil.day;
}

int Date::GetDay() const
{
    return CivilFromDayNumber(m_dayNumber).day;
}

int Date::GetMonth() const
{
    return CivilFromDayNumber(m_dayNumber).month;
}

int Date::GetYear() const
{
    int year, month, day;
    GetDate(year, month, day);
    return year;
}

long long Date::AstronomicalYear() const
{
    return CivilFromDayNumber(m_dayNumber).year;
}

int Date::GetDayOfYear() const
{
    return WrapToInt(m_dayNumber - DayNumber64(AstronomicalYear(), 1, 1) + 1);
}

bool Date::IsLeap() const
{
    return IsLeapYear(static_cast<int>(AstronomicalYear()));
}

double Date::GetYearFraction() const
{
    const long long year = AstronomicalYear();
    const double length = IsLeapYear(static_cast<int>(year)) ? 366.0 : 365.0;
    return static_cast<double>(year) + GetDayOfYear() / length;
}

int Date::GetWeekDay() const
{
    // The day number as an unsigned value: meaningful from day 0 (a Monday) on, and stored
    // results before it stay as they always were.
    return static_cast<int>(static_cast<unsigned>(m_dayNumber) % 7u);
}
