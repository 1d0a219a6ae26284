#include "Common/Util/StringUtils.h"

#include "Common/Util/NarrowToFloat.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* text)
{
    while (IsSpace(*text))
        ++text;
    return text;
}

// Two's-complement reinterpretation without relying on implementation-defined conversion.
int WrapToInt(unsigned value)
{
    if (value <= static_cast<unsigned>(INT_MAX))
        return static_cast<int>(value);
    return static_cast<int>(value - 2147483648u) + INT_MIN;
}

// Reads decimal digits in unsigned arithmetic so that overflow wraps instead of being undefined.
unsigned ReadDigits(const char*& text)
{
    unsigned value = 0;
    while (IsDigit(*text))
        value = value * 10u + static_cast<unsigned>(*text++ - '0');
    return value;
}

} // namespace

int StrToInt(const char* text, int defaultValue)
{
    if (!text)
        return defaultValue;
    text = SkipSpace(text);
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (!IsDigit(*text))
        return defaultValue;
    const unsigned value = ReadDigits(text);
    return WrapToInt(negative ? 0u - value : value);
}

float StrToFloat(const char* text)
{
    if (!text)
        return 0.0f;
    text = SkipSpace(text);
    const bool negative = *text == '-';
    if (negative)
        ++text;

    long double exact = WrapToInt(ReadDigits(text));
    if (*text == '.' || *text == ',') {
        ++text;
        // 10^18 still fits both 64-bit counters; further digits are skipped unread.
        long long numerator = 0;
        long long denominator = 1;
        int digits = 0;
        for (; IsDigit(*text); ++text) {
            if (digits++ < 18) {
                numerator = numerator * 10 + (*text - '0');
                denominator *= 10;
            }
        }
        exact += static_cast<long double>(numerator) / static_cast<long double>(denominator);
    }
    float value = static_cast<float>(exact);

    if (*text == 'E' || *text == 'e') {
        const float scale = NarrowToFloat(std::pow(10.0, StrToInt(text + 1, 0)));
        if (value != 0.0f)
            value *= scale;
    }
    return negative ? -value : value;
}

unsigned StrToHex(const char* text, bool prefixRequired)
{
    if (!text)
        return 0;
    text = SkipSpace(text);
    if (prefixRequired) {
        if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
            return 0;
        text += 2;
    }
    unsigned value = 0;
    for (;; ++text) {
        unsigned digit;
        if (IsDigit(*text))
            digit = static_cast<unsigned>(*text - '0');
        else if (*text >= 'a' && *text <= 'f')
            digit = static_cast<unsigned>(*text - 'a' + 10);
        else if (*text >= 'A' && *text <= 'F')
            digit = static_cast<unsigned>(*text - 'A' + 10);
        else
            break;
        value = value * 16u + digit;
    }
    return value;
}

char* StrCopy(char* destination, const char* source, int size)
{
    if (!destination || size < 1)
        return destination;
    const std::size_t capacity = static_cast<std::size_t>(size);
    if (source)
        std::strncpy(destination, source, capacity);
    else
        std::memset(destination, 0, capacity);
    destination[capacity - 1] = '\0';
    return destination;
}

char* StrDup(const char* text)
{
    if (!text)
        return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

int SplitFields(char* text, char separator, char** fields, int capacity)
{
    if (!text || !fields || capacity < 2)
        return 0;
    int count = 1;
    fields[0] = text;
    bool inQuotes = false;
    for (char* p = text; *p && count < capacity; ++p) {
        if (*p == '"') {
            inQuotes = !inQuotes;
        } else if (*p == separator && !inQuotes) {
            *p = '\0';
            fields[count++] = p + 1;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (fields[i][0] != '"')
            continue;
        ++fields[i];
        if (char* close = std::strchr(fields[i], '"'))
            *close = '\0';
    }
    return count;
}

char* TrimRight(char* text)
{
    if (!text)
        return text;
    std::size_t length = std::strlen(text);
    while (length > 0 && IsSpace(text[length - 1]))
        text[--length] = '\0';
    return text;
}
