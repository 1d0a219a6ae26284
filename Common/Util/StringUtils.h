#pragma once

// Lenient number parsing and helpers for zero-terminated 8-bit texts.
//
// The parsers never fail: unreadable text gives a fallback value. White space is exactly
// blank, tab, line feed, vertical tab, form feed and carriage return, whatever the locale.
// A null text is read like an empty one.

// Decimal integer: leading white space, one optional '-' or '+', then digits up to the first
// non-digit. Returns defaultValue when no digit follows the optional sign. The value wraps in
// 32-bit two's complement ("2147483648" gives INT_MIN, "4294967297" gives 1).
int StrToInt(const char* text, int defaultValue);

// Decimal real: leading white space, an optional '-' (a leading '+' stops the number, giving
// 0), integer digits (wrapping like StrToInt), '.' or ',' as decimal point, fraction digits
// (only the first 18 count, the rest are skipped), and an exponent after 'E' or 'e' read with
// StrToInt (default 0). The mantissa is rounded to float before it is multiplied by the float
// value of 10^exponent. A zero mantissa stays zero whatever the exponent (no 0 * inf = NaN).
// Returns 0 for text without a number.
float StrToFloat(const char* text);

// Hexadecimal integer after leading white space; with prefixRequired the text must start
// with "0x" or "0X" (otherwise 0), without it a prefix is not recognised. More than eight
// digits keep the low 32 bits.
unsigned StrToHex(const char* text, bool prefixRequired);

// Bounded copy: fills size bytes of destination (zero-padded when source is shorter) and
// always terminates it, so source is cut to size - 1 characters. A null source counts as
// empty; a null destination or a size below 1 writes nothing. Returns destination.
char* StrCopy(char* destination, const char* source, int size);

// Heap copy to be released with free(). Returns null for a null text or when memory runs out.
char* StrDup(const char* text);

// Splits text in place at separators outside double quotes and stores up to capacity field
// pointers into fields; the last field keeps the unsplit remainder. A field starting with a
// quote loses it and ends at its next quote. Returns the field count, or 0 (text untouched)
// when text or fields is null or capacity is below 2.
int SplitFields(char* text, char separator, char** fields, int capacity);

// Overwrites trailing white space with terminators. Returns text (null stays null).
char* TrimRight(char* text);
