#include "support/MemoryFile.h"

#include <gtest/gtest.h>

#include <string>

using file::MemoryFile;

namespace {

std::string Bytes(const char* data, std::size_t size)
{
    return std::string(data, size);
}

} // namespace

TEST(AbstractFileReadLine, DropsCarriageReturnsAndLineFeed)
{
    MemoryFile file("ab\r\ncd\n");
    char buffer[64];
    ASSERT_NE(file.ReadLine(buffer, 64), nullptr);
    EXPECT_STREQ(buffer, "ab");
    ASSERT_EQ(file.ReadLine(buffer, 64), buffer);
    EXPECT_STREQ(buffer, "cd");
    EXPECT_EQ(file.ReadLine(buffer, 64), nullptr);
}

TEST(AbstractFileReadLine, ZeroByteEndsDataAndIsMetAgain)
{
    MemoryFile file(Bytes("ab\0x", 4));
    char buffer[64];
    ASSERT_EQ(file.ReadLine(buffer, 64), buffer);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(file.Tell(), 2u);
    EXPECT_EQ(file.ReadLine(buffer, 64), nullptr);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(file.Tell(), 3u);
}

TEST(AbstractFileReadLine, EmptyLineIsEmptyTextNotNull)
{
    MemoryFile file("\n");
    char buffer[8] = "xxxxxxx";
    ASSERT_EQ(file.ReadLine(buffer, 8), buffer);
    EXPECT_STREQ(buffer, "");
}

TEST(AbstractFileReadLine, LongLineIsCutAndLosesOneCharacter)
{
    MemoryFile file("abcdef\n");
    char buffer[4];
    ASSERT_EQ(file.ReadLine(buffer, 4), buffer);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(file.Tell(), 4u);
    ASSERT_EQ(file.ReadLine(buffer, 4), buffer);
    EXPECT_STREQ(buffer, "ef");
}

// Without a closing zero byte the end of the data ends the line; the last character must not
// be read twice.
TEST(AbstractFileReadLine, ReadDeliveringNothingEndsData)
{
    for (int endResult : {0, -1}) {
        SCOPED_TRACE(endResult);
        MemoryFile file("ab");
        file.SetEndResult(endResult);
        char buffer[8];
        ASSERT_EQ(file.ReadLine(buffer, 8), buffer);
        EXPECT_STREQ(buffer, "ab");
        EXPECT_EQ(file.Tell(), 2u);
        EXPECT_EQ(file.ReadLine(buffer, 8), nullptr);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(file.ReadLine(buffer, 8), nullptr);
    }
}

TEST(AbstractFileReadLine, SizeBelowOneReadsAndWritesNothing)
{
    MemoryFile file("ab\n");
    char buffer[2] = {'q', 'q'};
    EXPECT_EQ(file.ReadLine(buffer, 0), nullptr);
    EXPECT_EQ(file.ReadLine(buffer, -5), nullptr);
    EXPECT_EQ(file.ReadLine(nullptr, 8), nullptr);
    EXPECT_EQ(buffer[0], 'q');
    EXPECT_EQ(buffer[1], 'q');
    EXPECT_EQ(file.ReadCalls(), 0);
}
