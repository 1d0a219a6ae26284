#include "Common/Util/Date.h"
#include "Common/Util/Format.h"
#include "Common/Util/StringUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// The whole input, NUL-terminated, goes to the parsers and string helpers; the same bytes,
// read as raw floats and integers, drive the formatting functions and dates.

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Hands out the input bytes as values, zero once they run out.
class Bytes
{
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    template <typename T> T Take()
    {
        unsigned char raw[sizeof(T)] = {};
        for (unsigned char& byte : raw)
            byte = m_offset < m_size ? m_data[m_offset++] : 0;
        T value;
        std::memcpy(&value, raw, sizeof value);
        return value;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

void CheckLength(const char* text, std::size_t capacity)
{
    Check(text != nullptr && std::strlen(text) < capacity);
}

void FuzzStrings(const std::vector<char>& text)
{
    const char* c = text.data();
    const int first = StrToInt(c, 1);
    const int second = StrToInt(c, 2);
    Check(first == second || (first == 1 && second == 2));
    static_cast<void>(StrToFloat(c));
    static_cast<void>(StrToHex(c, false));
    if (StrToHex(c, true) != 0) {
        const char* p = c;
        while (IsSpace(*p))
            ++p;
        Check(p[0] == '0' && (p[1] == 'x' || p[1] == 'X'));
    }

    const char separators[] = {',', ';', '\t', '"', text[0]};
    const int capacities[] = {2, 3, 8, 64};
    for (char separator : separators) {
        for (int capacity : capacities) {
            std::vector<char> copy(text);
            char* fields[64];
            const int count = SplitFields(copy.data(), separator, fields, capacity);
            Check(count >= 1 && count <= capacity);
            const char* begin = copy.data();
            const char* end = begin + copy.size();
            for (int i = 0; i < count; ++i) {
                Check(fields[i] >= begin && fields[i] < end);
                Check(fields[i] + std::strlen(fields[i]) < end);
            }
        }
    }

    std::vector<char> trimmed(text);
    const std::size_t before = std::strlen(trimmed.data());
    Check(TrimRight(trimmed.data()) == trimmed.data());
    const std::size_t after = std::strlen(trimmed.data());
    Check(after <= before && (after == 0 || !IsSpace(trimmed[after - 1])));
    Check(std::memcmp(trimmed.data(), text.data(), after) == 0);

    for (int size : {1, 2, 7, 64}) {
        std::vector<char> destination(static_cast<std::size_t>(size), 'x');
        Check(StrCopy(destination.data(), c, size) == destination.data());
        const std::size_t length = std::strlen(destination.data());
        Check(length < static_cast<std::size_t>(size) &&
              std::strncmp(destination.data(), c, length) == 0);
    }

    char* copy = StrDup(c);
    Check(copy != nullptr && std::strcmp(copy, c) == 0);
    std::free(copy);
}

void FuzzDates(Bytes& bytes)
{
    const int year = bytes.Take<int>();
    const int month = bytes.Take<int>();
    const int day = bytes.Take<int>();
    Date date(year, month, day);
    static_cast<void>(date.GetYearFraction());
    CheckLength(FormatDate(date, bytes.Take<int>() % 3), 128);
    CheckLength(FormatNmeaDate(date), 8);

    // Exact range: the civil date converts back to the same day number.
    const int dayNumber = bytes.Take<int>();
    date.SetDayNumber(dayNumber);
    Check(date.GetWeekDay() >= 0 && date.GetWeekDay() <= 6);
    int y, m, d;
    date.GetDate(y, m, d);
    if (dayNumber >= -68569) {
        Check(y != 0 && m >= 1 && m <= 12 && d >= 1 && d <= 31);
        Check(DayNumber(y < 0 ? y + 1 : y, m, d) == dayNumber);
        Check(date.GetDayOfYear() >= 1 && date.GetDayOfYear() <= 366);
    }
    static_cast<void>(date.IsLeap());
    static_cast<void>(date.GetYearFraction());

    date.SetGpsTime(bytes.Take<int>(), bytes.Take<float>());
    static_cast<void>(date.GetDay());
    static_cast<void>(IsLeapYear(bytes.Take<int>()));
}

void FuzzFormats(Bytes& bytes)
{
    const float value = bytes.Take<float>();
    const int decimals = bytes.Take<std::int8_t>();
    CheckLength(FormatNumber(value, decimals), 25);
    CheckLength(FormatNumber(value, decimals % 10), 25);
    CheckLength(FormatHeading(value), 8);
    CheckLength(
        FormatCoordinate(value, 'N', 'S', bytes.Take<char>(), bytes.Take<std::int8_t>() % 3), 64);
    CheckLength(FormatNmeaLongitude(value), 16);
    CheckLength(FormatNmeaLatitude(value), 16);

    const std::uint32_t count = bytes.Take<std::uint32_t>();
    const std::uint8_t flags = bytes.Take<std::uint8_t>();
    CheckLength(FormatDuration(count, flags & 1, flags & 2), 64);
    CheckLength(FormatMinutesSeconds(count), 64);
    CheckLength(FormatSize(count), 16);
    CheckLength(FormatNmeaTime(count), 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    FuzzStrings(text);

    Bytes bytes(data, size);
    FuzzFormats(bytes);
    FuzzDates(bytes);
    return 0;
}
