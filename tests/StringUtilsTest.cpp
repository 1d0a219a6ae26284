#include "Common/Util/StringUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

TEST(StrToInt, ReturnsDefaultWhenNoDigitFollowsTheOptionalSign)
{
    const char* noBreakSpaceFive = "\xa0"
                                   "5";
    for (const char* text : {"", "   ", "-", "+", "abc", "- 5", "+-5", noBreakSpaceFive})
        EXPECT_EQ(StrToInt(text, 77), 77) << '"' << text << '"';
    EXPECT_EQ(StrToInt(nullptr, 77), 77);
}

TEST(StrToInt, ReadsSignedDigitsAndWrapsInThirtyTwoBits)
{
    const std::pair<const char*, int> cases[] = {{"  -42abc", -42},        {"+7", 7},
                                                 {" \t\n\v\f\r19", 19},    {"12.9", 12},
                                                 {"2147483647", INT_MAX},  {"2147483648", INT_MIN},
                                                 {"-2147483648", INT_MIN}, {"-2147483649", INT_MAX},
                                                 {"4294967297", 1}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StrToInt(text, 0), expected) << text;
}

TEST(StrToFloat, ReadsCommaOrPointAndAnExponentButNoPlusSign)
{
    const std::pair<const char*, float> cases[] = {
        {"3,5", 3.5f},      {" -2.25", -2.25f},  {".5", 0.5f},       {"0.1", 0.1f},
        {"12.5kg", 12.5f},  {"", 0.0f},          {"x1", 0.0f},       {"+1.5", 0.0f},
        {"1.5E3", 1500.0f}, {"1.5e+3", 1500.0f}, {"1.5e 2", 150.0f}, {"25e-2", 0.25f},
        {"2E", 2.0f},       {"2Ex", 2.0f}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StrToFloat(text), expected) << text;
    EXPECT_EQ(StrToFloat(nullptr), 0.0f);
}

TEST(StrToFloat, MultipliesTheFloatMantissaByTheFloatPower)
{
    // 0.01f * 10.0f, not the nearest float to 0.1.
    EXPECT_EQ(StrToFloat("0.01e1"), 0.099999994f);
    EXPECT_NE(StrToFloat("0.01e1"), 0.1f);
    EXPECT_EQ(StrToFloat("-1e39"), -HUGE_VALF);
    EXPECT_EQ(StrToFloat("1e-46"), 0.0f);
    // A zero mantissa stays zero instead of 0 * inf = NaN.
    EXPECT_EQ(StrToFloat("0e99"), 0.0f);
}

TEST(StrToFloat, WrapsTheIntegerPartAndCountsEighteenFractionDigits)
{
    EXPECT_EQ(StrToFloat("4294967296.25"), 0.25f);
    EXPECT_EQ(StrToFloat("2147483648"), -2147483648.0f);
    EXPECT_EQ(StrToFloat("0.1234567890123456789999"), 0.12345679f);
    // Digits after the 18th are skipped, even when they are the only non-zero ones.
    EXPECT_EQ(StrToFloat("0.0000000000000000001"), 0.0f);
    EXPECT_EQ(StrToFloat("0.000000000000000001"), 1e-18f);
}

TEST(StrToHex, ReadsBothCasesWithOrWithoutRequiredPrefix)
{
    EXPECT_EQ(StrToHex(" FF", false), 255u);
    EXPECT_EQ(StrToHex("aBg9", false), 0xabu);
    EXPECT_EQ(StrToHex("0x1F", false), 0u);
    EXPECT_EQ(StrToHex("-1", false), 0u);
    EXPECT_EQ(StrToHex("123456789", false), 0x23456789u);
    EXPECT_EQ(StrToHex("\t0x1f", true), 31u);
    EXPECT_EQ(StrToHex("0XFFFFFFFF", true), 0xffffffffu);
    EXPECT_EQ(StrToHex("1f", true), 0u);
    EXPECT_EQ(StrToHex("0", true), 0u);
}

TEST(StrCopy, PadsWithZerosAndAlwaysTerminates)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(StrCopy(buffer, "abcdef", 4), buffer);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'x');

    std::memset(buffer, 'x', sizeof buffer);
    StrCopy(buffer, "ab", 6);
    EXPECT_EQ(std::string(buffer, 7), std::string("ab\0\0\0\0x", 7));

    StrCopy(buffer, "abc", 1);
    EXPECT_STREQ(buffer, "");
    std::memset(buffer, 'x', sizeof buffer);
    StrCopy(buffer, "abc", 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(StrCopy(nullptr, "abc", 4), nullptr);
}

TEST(StrDup, ReturnsAnIndependentHeapCopy)
{
    char source[] = "text";
    char* copy = StrDup(source);
    ASSERT_NE(copy, nullptr);
    source[0] = 'n';
    EXPECT_STREQ(copy, "text");
    std::free(copy);
    EXPECT_EQ(StrDup(nullptr), nullptr);
}

namespace {

// Splits a copy of text and returns the fields joined with '|'.
std::string Split(const char* text, char separator, int capacity)
{
    char buffer[64];
    StrCopy(buffer, text, sizeof buffer);
    char* fields[8] = {};
    const int count = SplitFields(buffer, separator, fields, capacity);
    std::string joined;
    for (int i = 0; i < count; ++i)
        joined += (i ? "|" : "") + std::string(fields[i]);
    return std::to_string(count) + ":" + joined;
}

} // namespace

TEST(SplitFields, LeavesTheRemainderInTheLastField)
{
    EXPECT_EQ(Split("a,b,c,d", ',', 3), "3:a|b|c,d");
    EXPECT_EQ(Split("a,b,c,d", ',', 8), "4:a|b|c|d");
    EXPECT_EQ(Split("a,,b,", ',', 8), "4:a||b|");
    EXPECT_EQ(Split("", ',', 8), "1:");
    EXPECT_EQ(Split("a;b,c", ';', 8), "2:a|b,c");
    EXPECT_EQ(Split("a\tb", '\t', 2), "2:a|b");
}

TEST(SplitFields, KeepsQuotedSeparatorsAndStripsTheQuotes)
{
    EXPECT_EQ(Split("a,\"b,c\",d", ',', 8), "3:a|b,c|d");
    EXPECT_EQ(Split("\"ab\"cd,e", ',', 8), "2:ab|e");
    EXPECT_EQ(Split("\"ab,c", ',', 8), "1:ab,c");
    EXPECT_EQ(Split("\"\",x", ',', 8), "2:|x");
    EXPECT_EQ(Split("\"a\"\"b\",c", ',', 8), "2:a|c"); // doubled quotes are no escape
    EXPECT_EQ(Split("a\"b,c\"d,e", ',', 8), "2:a\"b,c\"d|e");
    EXPECT_EQ(Split("a,\"b\",c", ',', 2), "2:a|b"); // the remainder is unquoted as well
}

TEST(SplitFields, RejectsAMissingTableOrACapacityBelowTwo)
{
    char text[] = "a,b";
    char* fields[2];
    EXPECT_EQ(SplitFields(text, ',', fields, 1), 0);
    EXPECT_EQ(SplitFields(text, ',', nullptr, 2), 0);
    EXPECT_EQ(SplitFields(nullptr, ',', fields, 2), 0);
    EXPECT_STREQ(text, "a,b");
}

TEST(TrimRight, ClearsEveryTrailingWhiteSpaceByte)
{
    char text[] = " a b \t\r\n\v\f ";
    EXPECT_EQ(TrimRight(text), text);
    EXPECT_STREQ(text, " a b");
    for (std::size_t i = 4; i < sizeof text; ++i)
        EXPECT_EQ(text[i], '\0') << i;

    char blanks[] = "   ";
    EXPECT_STREQ(TrimRight(blanks), "");
    char empty[] = "";
    EXPECT_STREQ(TrimRight(empty), "");
    char other[] = "a\xa0";
    EXPECT_STREQ(TrimRight(other), "a\xa0");
    EXPECT_EQ(TrimRight(nullptr), nullptr);
}
