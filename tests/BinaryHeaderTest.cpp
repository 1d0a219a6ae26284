#include "support/MemoryFile.h"

#include <gtest/gtest.h>

#include <string>

using file::MemoryFile;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::string Bytes(const char* data, std::size_t size)
{
    return std::string(data, size);
}

} // namespace

TEST(BinaryHeaderMagic, MatchConsumesExactlyTheMagic)
{
    MemoryFile file("VLRN\x01\x00");
    CaptureStderr();
    EXPECT_TRUE(file.CheckMagic("VLRN", 4));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(file.Tell(), 4u);
}

TEST(BinaryHeaderMagic, MismatchShowsAtMostLengthBytesOfEachSide)
{
    MemoryFile file("VLRXmore");
    CaptureStderr();
    EXPECT_FALSE(file.CheckMagic("VLRNlonger", 4));
    EXPECT_EQ(GetCapturedStderr(), "Invalid magic 'VLRN' 'VLRX'.\n");
    EXPECT_EQ(file.Tell(), 4u);
}

TEST(BinaryHeaderMagic, ComparesLikeStrncmpUpToAZeroByte)
{
    MemoryFile file(Bytes("AB\0Z", 4));
    EXPECT_TRUE(file.CheckMagic(Bytes("AB\0\0", 4).c_str(), 4));
}

TEST(BinaryHeaderMagic, LengthAbove32IsRefusedWithoutReading)
{
    const std::string data(40, 'M');
    MemoryFile file(data);
    CaptureStderr();
    EXPECT_FALSE(file.CheckMagic(data.c_str(), 33));
    EXPECT_EQ(GetCapturedStderr(), "Magic size is too long.\n");
    EXPECT_EQ(file.Tell(), 0u);

    EXPECT_TRUE(file.CheckMagic(data.c_str(), 32));
    EXPECT_EQ(file.Tell(), 32u);
}

TEST(BinaryHeaderMagic, FileEndingEarlyIsAMismatch)
{
    // The missing bytes must not count as zeros matching the magic's own terminator.
    MemoryFile file("VL");
    CaptureStderr();
    EXPECT_FALSE(file.CheckMagic(Bytes("VL\0\0", 4).c_str(), 4));
    EXPECT_FALSE(file.CheckMagic("VLRN", 4));
    EXPECT_EQ(GetCapturedStderr(), "Invalid magic 'VL' 'VL'.\nInvalid magic 'VLRN' ''.\n");
}

TEST(BinaryHeaderMagic, ReadsDeliveredInPiecesStillMatch)
{
    MemoryFile file("VLRN");
    file.DeliverReadsInPieces(1);
    EXPECT_TRUE(file.CheckMagic("VLRN", 4));
}

TEST(BinaryHeaderVersion, AcceptsOneToMaximum)
{
    MemoryFile file(Bytes("\x01\x00\x02\x00\x03\x00", 6));
    EXPECT_EQ(file.ReadVersion("hdr", 3), 1);
    EXPECT_EQ(file.ReadVersion("hdr", 3), 2);
    EXPECT_EQ(file.ReadVersion("hdr", 3), 3);
}

TEST(BinaryHeaderVersion, IsLittleEndian)
{
    MemoryFile file(Bytes("\x02\x01", 2));
    EXPECT_EQ(file.ReadVersion("hdr", 0xffff), 0x0102);
}

TEST(BinaryHeaderVersion, ZeroOrAboveMaximumIsInvalid)
{
    MemoryFile file(Bytes("\x04\x00\x00\x00", 4));
    CaptureStderr();
    EXPECT_EQ(file.ReadVersion("hdr", 3), 0);
    EXPECT_EQ(file.ReadVersion("hdr", 3), 0);
    EXPECT_EQ(GetCapturedStderr(), "hdr: Invalid version 4 > 3.\nhdr: Invalid version 0 > 3.\n");
    EXPECT_EQ(file.Tell(), 4u);
}

TEST(BinaryHeaderVersion, ShortFileIsInvalid)
{
    MemoryFile file(Bytes("\x01", 1));
    file.SetEndResult(-1);
    CaptureStderr();
    EXPECT_EQ(file.ReadVersion("hdr", 3), 0);
    EXPECT_EQ(GetCapturedStderr(), "hdr: Invalid version 0 > 3.\n");
}

TEST(BinaryHeaderString, LayoutIsCountThenBytes)
{
    MemoryFile file;
    file.WriteString("").WriteString("abc");
    EXPECT_EQ(file.Bytes(), Bytes("\x00\x00\x03\x00"
                                  "abc",
                                  7));

    file.Seek(0);
    std::string text = "stale";
    file.ReadString(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(file.Tell(), 2u);
    file.ReadString(text);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(file.Tell(), 7u);
}

TEST(BinaryHeaderString, NegativeCountIsEmpty)
{
    MemoryFile file("\xff\xff"
                    "abc");
    std::string text = "stale";
    file.ReadString(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(file.Tell(), 2u);
}

TEST(BinaryHeaderString, LongTextIsCutTo32767Bytes)
{
    for (std::size_t length : {32767u, 32768u, 70000u}) {
        SCOPED_TRACE(length);
        std::string original(length, 'x');
        original[32766] = 'e';
        MemoryFile file;
        file.WriteString(original);
        ASSERT_EQ(file.Bytes().size(), 2u + 32767u);
        EXPECT_EQ(file.Bytes().substr(0, 2), "\xff\x7f");

        file.Seek(0);
        std::string text;
        file.ReadString(text);
        EXPECT_EQ(text, original.substr(0, 32767));
    }
}

TEST(BinaryHeaderString, FileEndingEarlyKeepsWhatWasThere)
{
    MemoryFile file(Bytes("\x05\x00"
                          "ab",
                          4));
    file.SetEndResult(-1);
    std::string text;
    file.ReadString(text);
    EXPECT_EQ(text, "ab");

    MemoryFile halfCount(Bytes("\x05", 1));
    halfCount.ReadString(text);
    EXPECT_EQ(text, "");
}
