#include "Common/Util/Format.h"

#include "Common/Util/Date.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float kNan = std::nanf("");
const float kInf = HUGE_VALF;

// Float radians of an angle given in degrees, as a caller would compute them.
float Radians(double degrees)
{
    return static_cast<float>(degrees / 57.29577951308232);
}

} // namespace

TEST(FormatNumber, RoundsHalfUpWithoutDecimals)
{
    EXPECT_STREQ(FormatNumber(2.5f, 0), "3");
    EXPECT_STREQ(FormatNumber(-2.5f, 0), "-2");
    EXPECT_STREQ(FormatNumber(-0.4f, 0), "0");
    // Exact rounding: float arithmetic would give 1 and 8388610.
    EXPECT_STREQ(FormatNumber(0.49999997f, 0), "0");
    EXPECT_STREQ(FormatNumber(8388609.0f, 0), "8388609");
    EXPECT_STREQ(FormatNumber(-2147483520.0f, 0), "-2147483520");
}

TEST(FormatNumber, RoundsTheMagnitudeToPowersOfTenForNegativeDecimals)
{
    EXPECT_STREQ(FormatNumber(1234.5f, -2), "1200");
    EXPECT_STREQ(FormatNumber(-1250.0f, -2), "-1300");
    EXPECT_STREQ(FormatNumber(-4.0f, -1), "0");
    // 419430848 / 100 in float would round to 4194308.5 and print 419430900.
    EXPECT_STREQ(FormatNumber(419430848.0f, -2), "419430800");
    EXPECT_STREQ(FormatNumber(2147483520.0f, -3), "2147484000");
    EXPECT_STREQ(FormatNumber(1.6e9f, -9), "2000000000");
}

TEST(FormatNumber, PrintsDecimalsAsTheFloatSteps)
{
    EXPECT_STREQ(FormatNumber(7.0f, 3), "7.000");
    EXPECT_STREQ(FormatNumber(12.0005f, 4), "12.0005");
    EXPECT_STREQ(FormatNumber(-3.14159f, 2), "-3.14");
    EXPECT_STREQ(FormatNumber(-0.0f, 2), "0.00");
    EXPECT_STREQ(FormatNumber(-0.001f, 2), "-0.00");
    EXPECT_STREQ(FormatNumber(2147483520.0f, 2), "2147483520.00");
    // m + 0.5 / P rounded to float: 1.3 becomes 1.29999995, 2.68 becomes 2.68000007 and 0.4
    // becomes 0.400000006 (in double these give 1.3, 2.67 and 0.3).
    EXPECT_STREQ(FormatNumber(1.25f, 1), "1.2");
    EXPECT_STREQ(FormatNumber(2.675f, 2), "2.68");
    EXPECT_STREQ(FormatNumber(0.35f, 1), "0.4");
    // fraction * P in float: 0.129999995 * 100 rounds to 13, 0.100000001 * 10^9 to 10^8.
    EXPECT_STREQ(FormatNumber(0.125f, 2), "0.13");
    EXPECT_STREQ(FormatNumber(0.1f, 9), "0.100000000");
    EXPECT_STREQ(FormatNumber(3.14159265f, 9), "3.141592736");
}

TEST(FormatNumber, ClampsDecimalsAndNamesValuesOutOfRange)
{
    EXPECT_STREQ(FormatNumber(1.5f, 12), "1.500000000");
    EXPECT_STREQ(FormatNumber(1.6e9f, -40), "2000000000");
    EXPECT_STREQ(FormatNumber(kNan, 2), "nan");
    EXPECT_STREQ(FormatNumber(kInf, 0), "inf");
    EXPECT_STREQ(FormatNumber(-kInf, 3), "-inf");
    EXPECT_STREQ(FormatNumber(2147483648.0f, -2), "inf");
    EXPECT_STREQ(FormatNumber(-3e9f, 1), "-inf");
}

TEST(FormatNumber, ReusesOneBufferThatFormatSizeAndCoordinatesOverwrite)
{
    const char* first = FormatNumber(1.5f, 1);
    FormatNumber(-2.5f, 1);
    EXPECT_STREQ(first, "2.5"); // same buffer; positive texts start after the sign slot

    const char* number = FormatNumber(7.0f, 3);
    const char* size = FormatSize(1536);
    EXPECT_STREQ(number, "1.54");
    EXPECT_STREQ(size, "1.54 kB");
    FormatCoordinate(1.0f, 'N', 'S', '*', 0);
    EXPECT_STREQ(number, "57.2958");
    EXPECT_STREQ(size, "1.54 kB");
}

TEST(FormatHeading, RoundsDegreesAndShowsNorthAs360)
{
    EXPECT_STREQ(FormatHeading(0.0f), "360");
    EXPECT_STREQ(FormatHeading(0.008f), "360");
    EXPECT_STREQ(FormatHeading(Radians(7.0)), "007");
    EXPECT_STREQ(FormatHeading(1.0f), "057");
    EXPECT_STREQ(FormatHeading(-1.0f), "-57");
    EXPECT_STREQ(FormatHeading(7.0f), "401");
    // The constant is 57.2957763671875: 1.5 degrees become 1.49999996 and round down.
    EXPECT_STREQ(FormatHeading(0.02617993950843811f), "001");
    EXPECT_STREQ(FormatHeading(1e6f), "5729577"); // 57295776 cut to the 8-byte buffer
}

TEST(FormatHeading, NamesValuesOutOfRange)
{
    EXPECT_STREQ(FormatHeading(kNan), "nan");
    EXPECT_STREQ(FormatHeading(kInf), "inf");
    EXPECT_STREQ(FormatHeading(-1e30f), "-inf");
}

TEST(FormatCoordinate, PrintsHemisphereAndTruncatedParts)
{
    EXPECT_STREQ(FormatCoordinate(1.0f, 'N', 'S', '*', 0), "N 57.2958");
    EXPECT_STREQ(FormatCoordinate(1.0f, 'E', 'W', '*', 1), "E 057*17.74'");
    EXPECT_STREQ(FormatCoordinate(-1.0f, 'E', 'W', '*', 2), "W 057*17'44\"");
    EXPECT_STREQ(FormatCoordinate(1.0f, 'N', 'S', '\xb0', 7), "N 057\xb0"
                                                              "17'44\"");
    // 12.5 degrees arrive as 12.4999994: minutes and seconds are cut, not rounded.
    EXPECT_STREQ(FormatCoordinate(Radians(-12.5), 'N', 'S', '*', 0), "S 12.5000");
    EXPECT_STREQ(FormatCoordinate(Radians(12.5), 'N', 'S', '*', 1), "N 012*29.99'");
    EXPECT_STREQ(FormatCoordinate(Radians(12.5), 'N', 'S', '*', 2), "N 012*29'59\"");
}

TEST(FormatCoordinate, NamesValuesOutOfRange)
{
    EXPECT_STREQ(FormatCoordinate(kNan, 'N', 'S', '*', 1), "nan");
    EXPECT_STREQ(FormatCoordinate(1e30f, 'N', 'S', '*', 0), "N inf");
    EXPECT_STREQ(FormatCoordinate(-kInf, 'E', 'W', '*', 2), "W inf");
}

TEST(FormatDuration, SplitsHoursMinutesAndRoundsToMinutesWithoutSeconds)
{
    EXPECT_STREQ(FormatDuration(3723, true, false), "1:02:03");
    EXPECT_STREQ(FormatDuration(3723, true, true), "01:02:03");
    EXPECT_STREQ(FormatDuration(3723, false, false), "1:02");
    EXPECT_STREQ(FormatDuration(29, false, false), "0:00");
    EXPECT_STREQ(FormatDuration(30, false, false), "0:01");
    EXPECT_STREQ(FormatDuration(3570, false, false), "1:00");
    EXPECT_STREQ(FormatDuration(360000, true, true), "100:00:00");
    EXPECT_STREQ(FormatDuration(4294967295u, true, false), "1193046:28:15");
    // (seconds + 30) wraps in 32 bits for the last 30 values.
    EXPECT_STREQ(FormatDuration(4294967295u, false, false), "0:00");
    EXPECT_STREQ(FormatMinutesSeconds(3723), "02:03");
    EXPECT_STREQ(FormatMinutesSeconds(7200), "00:00");
}

TEST(FormatDate, PrintsStylesWithSignedShortYear)
{
    const Date date(2024, 3, 5);
    EXPECT_STREQ(FormatDate(date, 0), "05.03.24");
    EXPECT_STREQ(FormatDate(date, 1), "05.03.2024");
    EXPECT_STREQ(FormatDate(date, 2), "Inv. fmt");
    EXPECT_STREQ(FormatDate(date, -1), "Inv. fmt");
    EXPECT_STREQ(FormatDate(Date(2000, 1, 1), 0), "01.01.00");
    EXPECT_STREQ(FormatDate(Date(), 0), "24.11.-14");
    EXPECT_STREQ(FormatDate(Date(), 1), "24.11.-4714");
    EXPECT_STREQ(FormatNmeaDate(date), "050324");
    EXPECT_STREQ(FormatNmeaDate(Date()), "2411-14");
}

TEST(FormatSize, ChoosesDecimalUnitsAndDecimals)
{
    EXPECT_STREQ(FormatSize(999), "999 B");
    EXPECT_STREQ(FormatSize(1000), "1.00 kB");
    EXPECT_STREQ(FormatSize(1536), "1.54 kB");
    EXPECT_STREQ(FormatSize(9995), "10.00 kB");
    EXPECT_STREQ(FormatSize(12345), "12.3 kB");
    EXPECT_STREQ(FormatSize(99950), "100.0 kB");
    EXPECT_STREQ(FormatSize(999500), "1000 kB");
    EXPECT_STREQ(FormatSize(999999), "1000 kB");
    EXPECT_STREQ(FormatSize(1000000), "1.00 MB");
    // 99.999999 chooses one decimal before it becomes the float 100.
    EXPECT_STREQ(FormatSize(99999999), "100.0 MB");
    EXPECT_STREQ(FormatSize(123456789), "123 MB");
    EXPECT_STREQ(FormatSize(1000000000), "1.00 GB");
    EXPECT_STREQ(FormatSize(4294967295u), "4.29 GB");
}

TEST(FormatNmea, TruncatesAngleFieldsAndCutsLongTexts)
{
    EXPECT_STREQ(FormatNmeaLongitude(1.0f), "05717.746,E");
    EXPECT_STREQ(FormatNmeaLatitude(1.0f), "5717.746,N");
    EXPECT_STREQ(FormatNmeaLongitude(-1.0f), "05717.746,W");
    // With 180/pi it would be 01230.000.
    EXPECT_STREQ(FormatNmeaLongitude(Radians(12.5)), "01229.999,E");
    EXPECT_STREQ(FormatNmeaLongitude(5e7f), "286478873600.00");

    EXPECT_STREQ(FormatNmeaLongitude(kNan), "nan");
    EXPECT_STREQ(FormatNmeaLongitude(1e30f), "inf,E");
    EXPECT_STREQ(FormatNmeaLatitude(-kInf), "inf,S");

    EXPECT_STREQ(FormatNmeaTime(3723), "010203");
    EXPECT_STREQ(FormatNmeaTime(86399), "235959");
    EXPECT_STREQ(FormatNmeaTime(3599999), "9995959");
    EXPECT_STREQ(FormatNmeaTime(3603723), "1001020");
}
