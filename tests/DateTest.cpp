#include "Common/Util/Date.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>

namespace {

std::tuple<int, int, int> Civil(const Date& date)
{
    int year, month, day;
    date.GetDate(year, month, day);
    return {year, month, day};
}

Date FromDayNumber(int dayNumber)
{
    Date date;
    date.SetDayNumber(dayNumber);
    return date;
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

TEST(Date, MatchesTheJulianDayNumberReferencePoints)
{
    EXPECT_EQ(DayNumber(2000, 1, 1), 2451545);
    EXPECT_EQ(DayNumber(1980, 1, 6), 2444245);
    EXPECT_EQ(DayNumber(-4713, 11, 24), 0);
    EXPECT_EQ(DayNumber(1, 1, 1), 1721426);
    EXPECT_EQ(DayNumber(9999, 12, 31), 5373484);
    EXPECT_EQ(DayNumber(-4900, 3, 1), -68569);

    EXPECT_EQ(Civil(FromDayNumber(2444245)), std::make_tuple(1980, 1, 6));
    EXPECT_EQ(Civil(FromDayNumber(0)), std::make_tuple(-4714, 11, 24));
    EXPECT_EQ(Civil(FromDayNumber(-68569)), std::make_tuple(-4901, 3, 1));
    EXPECT_EQ(Date().GetDayNumber(), 0);
}

TEST(Date, RoundTripsEveryDayFromYearOneToYear9999)
{
    int expected = DayNumber(1, 1, 1);
    double previousFraction = 0.0;
    for (int year = 1; year <= 9999; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= DaysInMonth(year, month); ++day) {
                const Date date(year, month, day);
                ASSERT_EQ(date.GetDayNumber(), expected) << year << '-' << month << '-' << day;
                ASSERT_EQ(Civil(date), std::make_tuple(year, month, day));
                const double fraction = date.GetYearFraction();
                ASSERT_GT(fraction, previousFraction) << year << '-' << month << '-' << day;
                previousFraction = fraction;
                ++expected;
            }
        }
    }
    EXPECT_EQ(expected - 1, 5373484);
}

TEST(Date, CarriesDayAndMonthOverflowIntoNeighbours)
{
    EXPECT_EQ(DayNumber(1900, 2, 28) + 1, DayNumber(1900, 3, 1));
    EXPECT_EQ(DayNumber(2000, 2, 28) + 1, DayNumber(2000, 2, 29));
    EXPECT_EQ(DayNumber(0, 12, 31) + 1, DayNumber(1, 1, 1));
    EXPECT_EQ(DayNumber(2023, 13, 1), DayNumber(2024, 1, 1));
    EXPECT_EQ(DayNumber(2023, 14, 29), DayNumber(2024, 2, 29));
    EXPECT_EQ(DayNumber(2024, 0, 1), DayNumber(2023, 12, 1));
    EXPECT_EQ(DayNumber(2024, 3, 0), DayNumber(2024, 2, 29));
}

TEST(Date, ReportsYearsBeforeOneWithoutYearZero)
{
    EXPECT_EQ(Date(0, 12, 31).GetYear(), -1);
    EXPECT_EQ(Date(-1, 6, 1).GetYear(), -2);
    // Day of year, leap year and fraction use the astronomical year (0 is a leap year).
    const Date lastDayOfYearZero(0, 12, 31);
    EXPECT_EQ(lastDayOfYearZero.GetDayOfYear(), 366);
    EXPECT_TRUE(lastDayOfYearZero.IsLeap());
    EXPECT_EQ(lastDayOfYearZero.GetYearFraction(), 1.0);
    EXPECT_EQ(Date(0, 1, 1).GetDayOfYear(), 1);
    EXPECT_FALSE(Date(-1, 1, 1).IsLeap());
}

TEST(Date, GivesWeekDayFromMonday)
{
    EXPECT_EQ(FromDayNumber(0).GetWeekDay(), 0);
    EXPECT_EQ(Date(1980, 1, 6).GetWeekDay(), 6);
    EXPECT_EQ(Date(2000, 1, 1).GetWeekDay(), 5);
    EXPECT_EQ(Date(2024, 7, 1).GetWeekDay(), 0);
    // Before day 0 the number counts as unsigned: 2^32 - 1 = 7 * 613566756 + 3.
    EXPECT_EQ(FromDayNumber(-1).GetWeekDay(), 3);
    EXPECT_EQ(FromDayNumber(INT_MIN).GetWeekDay(), 2); // 2^31 = 7 * 306783378 + 2
}

TEST(Date, CountsDayOfYearLeapYearsAndYearFraction)
{
    EXPECT_EQ(Date(2023, 1, 1).GetDayOfYear(), 1);
    EXPECT_FALSE(Date(1900, 5, 5).IsLeap());
    EXPECT_EQ(Date(2023, 3, 1).GetDayOfYear(), 60);
    EXPECT_EQ(Date(2024, 3, 1).GetDayOfYear(), 61);
    EXPECT_EQ(Date(2024, 12, 31).GetDayOfYear(), 366);

    EXPECT_EQ(Date(2000, 12, 31).GetYearFraction(), 2001.0);
    EXPECT_EQ(Date(2001, 1, 1).GetYearFraction(), 2001.0 + 1.0 / 365.0);
    EXPECT_EQ(Date(2024, 7, 1).GetYearFraction(), 2024.5);

    for (int year : {2000, 2004, 0, -4, -400, 2400})
        EXPECT_TRUE(IsLeapYear(year)) << year;
    for (int year : {1900, 2001, -1, -100, 2100, INT_MIN + 2})
        EXPECT_FALSE(IsLeapYear(year)) << year;
    EXPECT_TRUE(IsLeapYear(INT_MIN));
}

TEST(Date, SetsGpsTimeFromWeekAndWholeDays)
{
    Date date;
    date.SetGpsTime(0, 0.0f);
    EXPECT_EQ(Civil(date), std::make_tuple(1980, 1, 6));
    date.SetGpsTime(0, 86399.5f);
    EXPECT_EQ(Civil(date), std::make_tuple(1980, 1, 6));
    date.SetGpsTime(1, 0.0f);
    EXPECT_EQ(Civil(date), std::make_tuple(1980, 1, 13));
    date.SetGpsTime(2300, 604799.0f);
    EXPECT_EQ(Civil(date), std::make_tuple(2024, 2, 10));
    // Truncation toward zero: a part-day before the week start does not count.
    date.SetGpsTime(1, -3600.0f);
    EXPECT_EQ(Civil(date), std::make_tuple(1980, 1, 13));
    date.SetGpsTime(1, std::nanf(""));
    EXPECT_EQ(Civil(date), std::make_tuple(1980, 1, 13));
}

TEST(Date, StaysExactUpToTheLargestDayNumberAndWrapsBeyond)
{
    EXPECT_EQ(Civil(FromDayNumber(INT_MAX)), std::make_tuple(5874898, 6, 3));
    EXPECT_EQ(DayNumber(5874898, 6, 3), INT_MAX);
    EXPECT_EQ(DayNumber(5874898, 6, 4), INT_MIN);
    EXPECT_EQ(FromDayNumber(INT_MAX).GetDayOfYear(), 154);

    // Linear in day and year even where 32-bit intermediates would overflow.
    for (int year : {INT_MIN, -8000, INT_MAX - 400}) {
        for (int month : {INT_MIN, 1, 6, INT_MAX}) {
            const unsigned before = static_cast<unsigned>(DayNumber(year, month, 0));
            EXPECT_EQ(static_cast<unsigned>(DayNumber(year, month, 1)), before + 1u);
            EXPECT_EQ(static_cast<unsigned>(DayNumber(year, month, INT_MAX)) - before,
                      static_cast<unsigned>(INT_MAX));
        }
        EXPECT_EQ(static_cast<unsigned>(DayNumber(year + 400, 6, 1)) -
                      static_cast<unsigned>(DayNumber(year, 6, 1)),
                  146097u);
    }
}
