#pragma once

#include <cstdint>

class Date;

// Display texts for numbers, angles, durations, dates and sizes.
//
// Each function returns a pointer into its own static buffer, valid until the next call of the
// same function. FormatSize and FormatCoordinate (style 0) call FormatNumber and so overwrite
// the text it last returned. Output longer than a buffer is cut (capacities, terminator
// included: FormatNumber 25, FormatHeading 8, FormatCoordinate 64, FormatDuration 64,
// FormatMinutesSeconds 64, FormatDate 128, FormatSize 16, the NMEA angles 16, NmeaDate and
// NmeaTime 8). Not re-entrant.
//
// Angles are float radians, turned into degrees with the float constant 57.2957763671875 (a
// little below 180/pi, kept for compatible output); the product is exact in double.
// "Rounded half up" means floor(v + 0.5), so -2.5 becomes -2.
//
// Values the integer fields cannot hold get a fixed text instead of a number: NaN gives "nan";
// an infinity or a magnitude too large for the field gives "inf" or "-inf" where the text
// carries a sign, and "inf" in place of the number where it carries a hemisphere letter
// ("N inf", "inf,W"). The limits are 2^31 for FormatNumber's magnitude, the int range for the
// rounded heading, 2^31 degrees for FormatCoordinate and 2^32 degrees for the NMEA angles.

// decimals 0: rounded half up, "%d". decimals -n: the magnitude rounded half up to a multiple
// of 10^n, with the input's sign. decimals n > 0: v = |value| + 0.5 / 10^n rounded to float,
// split into float integer and fraction parts, fraction digits trunc(fraction * 10^n) in float,
// so 1.25 with one decimal gives "1.2"; here every negative input keeps its '-', even when the
// digits are all zero ("-0.00"). decimals outside -9..9 are clamped.
const char* FormatNumber(float value, int decimals);

// Degrees rounded half up as "%03d", with 0 shown as 360; no reduction to one turn.
const char* FormatHeading(float angle);

// Hemisphere letter, blank, then the magnitude in degrees: style 0 "ddd.dddd" (FormatNumber,
// four decimals); style 1 "%03d<deg>%02d.%02d'" (degrees, minutes, hundredths of a minute);
// any other style "%03d<deg>%02d'%02d\"" (degrees, minutes, seconds). Minutes and below are
// truncated in float arithmetic.
const char* FormatCoordinate(float angle, char positiveLetter, char negativeLetter, char degreeSign,
                             int style);

// "h:mm:ss" or, without seconds, "h:mm" rounded to the nearest minute (computed as
// (seconds + 30) / 60 in 32 bits, which wraps for the last 30 values). Hours are not reduced
// modulo 24; padHours prints them with at least two digits.
const char* FormatDuration(std::uint32_t seconds, bool withSeconds, bool padHours);

// "mm:ss" of seconds modulo one hour.
const char* FormatMinutesSeconds(std::uint32_t seconds);

// Style 0 "dd.mm.yy" (year % 100, negative for years before 1), style 1 "dd.mm.yyyy",
// otherwise "Inv. fmt".
const char* FormatDate(const Date& date, int style);

// "999 B", then kB, MB, GB in powers of 1000 with 2, 1 or 0 decimals for values below 10,
// below 100 and above; rounding may carry into the next decade ("1000 kB").
const char* FormatSize(std::uint32_t bytes);

// NMEA 0183 fields "dddmm.mmm,E" and "ddmm.mmm,N"; minutes truncated, never rounded.
const char* FormatNmeaLongitude(float angle);
const char* FormatNmeaLatitude(float angle);

// "ddmmyy" and "hhmmss" (hours not reduced modulo 24; from 1000 hours on the text is cut).
const char* FormatNmeaDate(const Date& date);
const char* FormatNmeaTime(std::uint32_t seconds);
