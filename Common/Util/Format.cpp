#include "Common/Util/Format.h"

#include "Common/Util/NarrowToFloat.h"

#include "Common/Util/Date.h"

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr float kDegreesPerRadian = 57.2957763671875f;

// Two 24-bit significands multiply exactly in a double, so no wider type is needed.
double ToDegrees(float angle)
{
    return static_cast<double>(angle) * static_cast<double>(kDegreesPerRadian);
}

int PowerOfTen(int exponent)
{
    int power = 1;
    while (exponent-- > 0)
        power *= 10;
    return power;
}

// snprintf for texts that are meant to be cut: going through vsnprintf keeps GCC's
// truncation warning quiet while the format is still checked.
__attribute__((format(printf, 3, 4))) void PrintCut(char* buffer, std::size_t size,
                                                    const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
}

template <std::size_t N> const char* Store(char (&buffer)[N], const char* text)
{
    std::snprintf(buffer, N, "%s", text);
    return buffer;
}

// Whole degrees, whole minutes and the fraction of a minute, each step in float as the
// established output expects.
struct DegreesMinutes
{
    float degrees;
    float minutes;
    float minuteFraction;
};

DegreesMinutes SplitDegrees(float magnitude)
{
    DegreesMinutes split;
    const float fraction = std::modf(magnitude, &split.degrees);
    split.minuteFraction = std::modf(fraction * 60.0f, &split.minutes);
    return split;
}

} // namespace

const char* FormatNumber(float value, int decimals)
{
    static char buffer[25];
    if (std::isnan(value))
        return Store(buffer, "nan");
    const int sign = value > 0 ? 1 : (value < 0 ? -1 : 0);
    const float magnitude = std::fabs(value);
    if (!(magnitude < 2147483648.0f))
        return Store(buffer, sign < 0 ? "-inf" : "inf");
    decimals = decimals < -9 ? -9 : (decimals > 9 ? 9 : decimals);

    if (decimals == 0) {
        const double rounded = std::floor(static_cast<double>(magnitude) * sign + 0.5);
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(rounded));
        return buffer;
    }
    const int power = PowerOfTen(decimals < 0 ? -decimals : decimals);
    if (decimals < 0) {
        // Rounding up near 2^31 can pass INT_MAX (2147483520 to thousands), hence 64 bits.
        const long long units =
            static_cast<long long>(std::floor(static_cast<double>(magnitude) / power + 0.5));
        std::snprintf(buffer, sizeof buffer, "%lld", units * power * sign);
        return buffer;
    }
    // The float rounding of v decides the last digit (1.25 -> 1.29999995 -> "1.2").
    const float v = static_cast<float>(magnitude + 0.5 / power);
    float whole;
    const float fraction = std::modf(v, &whole);
    std::snprintf(buffer, sizeof buffer, "%c%d.%0*d", sign < 0 ? '-' : '+', static_cast<int>(whole),
                  decimals, static_cast<int>(fraction * static_cast<float>(power)));
    return sign < 0 ? buffer : buffer + 1;
}

const char* FormatHeading(float angle)
{
    static char buffer[8];
    const double degrees = ToDegrees(angle);
    if (std::isnan(degrees))
        return Store(buffer, "nan");
    const double rounded = std::floor(degrees + 0.5);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        return Store(buffer, rounded < 0 ? "-inf" : "inf");
    const int heading = static_cast<int>(rounded);
    std::snprintf(buffer, sizeof buffer, "%03d", heading == 0 ? 360 : heading);
    return buffer;
}

const char* FormatCoordinate(float angle, char positiveLetter, char negativeLetter, char degreeSign,
                             int style)
{
    static char buffer[64];
    const double degrees = ToDegrees(angle);
    if (std::isnan(degrees))
        return Store(buffer, "nan");
    const char letter = degrees >= 0 ? positiveLetter : negativeLetter;
    const float magnitude = NarrowToFloat(std::fabs(degrees));
    if (!(magnitude < 2147483648.0f)) {
        std::snprintf(buffer, sizeof buffer, "%c inf", letter);
        return buffer;
    }
    if (style == 0) {
        std::snprintf(buffer, sizeof buffer, "%c %s", letter, FormatNumber(magnitude, 4));
        return buffer;
    }
    const DegreesMinutes split = SplitDegrees(magnitude);
    const int wholeDegrees = static_cast<int>(split.degrees);
    const int wholeMinutes = static_cast<int>(split.minutes);
    if (style == 1) {
        std::snprintf(buffer, sizeof buffer, "%c %03d%c%02d.%02d'", letter, wholeDegrees,
                      degreeSign, wholeMinutes, static_cast<int>(split.minuteFraction * 100.0f));
    } else {
        std::snprintf(buffer, sizeof buffer, "%c %03d%c%02d'%02d\"", letter, wholeDegrees,
                      degreeSign, wholeMinutes, static_cast<int>(split.minuteFraction * 60.0f));
    }
    return buffer;
}

const char* FormatDuration(std::uint32_t seconds, bool withSeconds, bool padHours)
{
    static char buffer[64];
    if (withSeconds) {
        const int hours = static_cast<int>(seconds / 3600);
        const int minutes = static_cast<int>(seconds % 3600 / 60);
        const int secs = static_cast<int>(seconds % 60);
        std::snprintf(buffer, sizeof buffer, padHours ? "%02d:%02d:%02d" : "%d:%02d:%02d", hours,
                      minutes, secs);
    } else {
        const std::uint32_t total = (seconds + 30u) / 60u;
        const int hours = static_cast<int>(total / 60);
        const int minutes = static_cast<int>(total % 60);
        std::snprintf(buffer, sizeof buffer, padHours ? "%02d:%02d" : "%d:%02d", hours, minutes);
    }
    return buffer;
}

const char* FormatMinutesSeconds(std::uint32_t seconds)
{
    static char buffer[64];
    const std::uint32_t rest = seconds % 3600;
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", static_cast<int>(rest / 60),
                  static_cast<int>(rest % 60));
    return buffer;
}

const char* FormatDate(const Date& date, int style)
{
    static char buffer[128];
    int year, month, day;
    date.GetDate(year, month, day);
    if (style == 0)
        std::snprintf(buffer, sizeof buffer, "%02d.%02d.%02d", day, month, year % 100);
    else if (style == 1)
        std::snprintf(buffer, sizeof buffer, "%02d.%02d.%d", day, month, year);
    else
        Store(buffer, "Inv. fmt");
    return buffer;
}

const char* FormatSize(std::uint32_t bytes)
{
    static char buffer[16];
    if (bytes < 1000) {
        std::snprintf(buffer, sizeof buffer, "%u B", static_cast<unsigned>(bytes));
        return buffer;
    }
    const char* unit = "MB";
    double divisor = 1e6;
    if (bytes <= 999999) {
        unit = "kB";
        divisor = 1e3;
    } else if (bytes > 999999999) {
        unit = "GB";
        divisor = 1e9;
    }
    const double x = bytes / divisor;
    const int decimals = x < 10 ? 2 : (x < 100 ? 1 : 0);
    std::snprintf(buffer, sizeof buffer, "%s %s", FormatNumber(static_cast<float>(x), decimals),
                  unit);
    return buffer;
}

namespace {

struct NmeaAngle
{
    bool valid;  // false: NaN or too large for the unsigned degrees
    char letter; // 0 for NaN
    unsigned degrees;
    int minutes;
    unsigned thousandths;
};

NmeaAngle SplitNmeaAngle(float angle, char positiveLetter, char negativeLetter)
{
    NmeaAngle result{false, 0, 0, 0, 0};
    const double degrees = ToDegrees(angle);
    if (std::isnan(degrees))
        return result;
    result.letter = degrees >= 0 ? positiveLetter : negativeLetter;
    const float magnitude = NarrowToFloat(std::fabs(degrees));
    if (!(magnitude < 4294967296.0f))
        return result;
    result.valid = true;
    result.degrees = static_cast<unsigned>(magnitude);
    const float minutes = (magnitude - static_cast<float>(result.degrees)) * 60.0f;
    result.minutes = static_cast<short>(minutes);
    result.thousandths = static_cast<unsigned>(minutes * 1000.0f) % 1000;
    return result;
}

const char* StoreInvalidNmeaAngle(char (&buffer)[16], const NmeaAngle& angle)
{
    if (angle.letter == 0)
        return Store(buffer, "nan");
    std::snprintf(buffer, sizeof buffer, "inf,%c", angle.letter);
    return buffer;
}

} // namespace

const char* FormatNmeaLongitude(float angle)
{
    static char buffer[16];
    const NmeaAngle a = SplitNmeaAngle(angle, 'E', 'W');
    if (!a.valid)
        return StoreInvalidNmeaAngle(buffer, a);
    std::snprintf(buffer, sizeof buffer, "%03u%02i.%03u,%c", a.degrees, a.minutes, a.thousandths,
                  a.letter);
    return buffer;
}

const char* FormatNmeaLatitude(float angle)
{
    static char buffer[16];
    const NmeaAngle a = SplitNmeaAngle(angle, 'N', 'S');
    if (!a.valid)
        return StoreInvalidNmeaAngle(buffer, a);
    std::snprintf(buffer, sizeof buffer, "%02u%02i.%03u,%c", a.degrees, a.minutes, a.thousandths,
                  a.letter);
    return buffer;
}

const char* FormatNmeaDate(const Date& date)
{
    static char buffer[8];
    int year, month, day;
    date.GetDate(year, month, day);
    std::snprintf(buffer, sizeof buffer, "%02i%02i%02i", day, month, year % 100);
    return buffer;
}

const char* FormatNmeaTime(std::uint32_t seconds)
{
    static char buffer[8];
    // From 1000 hours on the text is cut to the buffer by design.
    PrintCut(buffer, sizeof buffer, "%02i%02i%02i", static_cast<int>(seconds / 3600),
             static_cast<int>(seconds % 3600 / 60), static_cast<int>(seconds % 60));
    return buffer;
}
