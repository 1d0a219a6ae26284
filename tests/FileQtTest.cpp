#include "Common/File/FileQt.h"
#include "support/Files.h"
#include "support/Unprivileged.h"

#include <QByteArray>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using file::FileQt;

namespace {

class FileQtTest : public testing::Test
{
protected:
    std::string PathOf(const char* name) const
    {
        return m_dir.Path(QString::fromUtf8(name)).toStdString();
    }

    std::string Make(const char* name, const QByteArray& contents) const
    {
        const QString path = m_dir.Write(QString::fromUtf8(name), contents);
        EXPECT_FALSE(path.isEmpty()) << "cannot write " << name;
        return path.toStdString();
    }

    static QByteArray Contents(const std::string& path)
    {
        return support::ReadAll(QString::fromStdString(path));
    }

    support::TempFolder m_dir;
};

// Runs body in a child process whose files may not grow beyond limit bytes, and returns what
// body returned (0 to 255).
template <typename Body> int RunWithFileSizeLimit(rlim_t limit, Body body)
{
    return support::RunInChild([limit, &body] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize = {limit, limit};
        return setrlimit(RLIMIT_FSIZE, &fileSize) == 0 ? body() : 255;
    });
}

} // namespace

TEST_F(FileQtTest, OpenModes)
{
    const std::string existing = Make("existing", "old data");
    FileQt file;

    ASSERT_TRUE(file.Open(existing.c_str(), FileQt::ReadOnly));
    EXPECT_EQ(file.Write("x", 1), -1);
    EXPECT_FALSE(file.Open(existing.c_str(), FileQt::ReadOnly)) << "still open";
    file.Close();

    EXPECT_FALSE(file.Open(existing.c_str(), FileQt::WriteNewOnly));
    EXPECT_EQ(Contents(existing), "old data");

    ASSERT_TRUE(file.Open(existing.c_str(), FileQt::ReadWrite));
    EXPECT_EQ(file.Size(), 8);
    EXPECT_EQ(file.Write("new", 3), 3);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents(existing), "new data");

    ASSERT_TRUE(file.Open(existing.c_str(), FileQt::WriteOnly));
    EXPECT_EQ(file.Size(), 0);
    EXPECT_TRUE(file.Close());

    const std::string fresh = PathOf("fresh");
    ASSERT_TRUE(file.Open(fresh.c_str(), FileQt::WriteNewOnly));
    EXPECT_EQ(file.Write("abc", 3), 3);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents(fresh), "abc");

    EXPECT_FALSE(file.Open(PathOf("missing").c_str(), FileQt::ReadOnly));
    EXPECT_FALSE(file.Open(PathOf("no/such/folder/f").c_str(), FileQt::WriteOnly));
    EXPECT_FALSE(file.Open(PathOf("other").c_str(), 4));
    EXPECT_FALSE(file.Open(PathOf("other").c_str(), -1));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(PathOf("other"))));
}

TEST_F(FileQtTest, ReadLineKeepsLineEndAndStopsAtEnd)
{
    const std::string path = Make("lines", "ab\r\nxyz\n");
    FileQt file;
    ASSERT_TRUE(file.Open(path.c_str(), FileQt::ReadOnly));

    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(file.ReadLine(buffer, 64), buffer);
    EXPECT_EQ(std::string(buffer, 6), std::string("ab\r\n\0#", 6));

    // At most size - 2 bytes of the line per call.
    ASSERT_EQ(file.ReadLine(buffer, 4), buffer);
    EXPECT_STREQ(buffer, "xy");
    ASSERT_EQ(file.ReadLine(buffer, 4), buffer);
    EXPECT_STREQ(buffer, "z\n");

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(file.ReadLine(buffer, 64), nullptr);
    EXPECT_EQ(buffer[0], '#');
}

TEST_F(FileQtTest, ReadLineRefusesTinyBuffersAndUnreadableFiles)
{
    const std::string path = Make("lines", "abc\n");
    FileQt file;
    ASSERT_TRUE(file.Open(path.c_str(), FileQt::ReadOnly));
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(file.ReadLine(buffer, 2), nullptr);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(file.Tell(), 0u);
    file.Close();

    ASSERT_TRUE(file.Open(path.c_str(), FileQt::WriteOnly));
    ASSERT_EQ(file.Write("abc\n", 4), 4);
    ASSERT_TRUE(file.Seek(0));
    EXPECT_EQ(file.ReadLine(buffer, 4), nullptr);
}

TEST_F(FileQtTest, SeekTellReadAndTruncate)
{
    const std::string path = Make("twenty", "0123456789abcdefghij");
    FileQt file;
    ASSERT_TRUE(file.Open(path.c_str(), FileQt::ReadWrite));
    ASSERT_TRUE(file.Seek(10));
    EXPECT_EQ(file.Tell(), 10u);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3);
    EXPECT_STREQ(buffer, "abc");
    ASSERT_TRUE(file.Seek(10));
    EXPECT_TRUE(file.Truncate());
    EXPECT_EQ(file.Size(), 10);
    EXPECT_EQ(file.Read(buffer, 3), 0);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents(path), "0123456789");
}

TEST_F(FileQtTest, CloseReportsAFailedWriteUntilTheNextOpen)
{
    const std::string path = Make("readonly", "data");
    FileQt file;
    ASSERT_TRUE(file.Open(path.c_str(), FileQt::ReadOnly));
    EXPECT_EQ(file.Write("x", 1), -1);
    EXPECT_TRUE(file.Failed());
    EXPECT_FALSE(file.Close());
    // What an XML writer does after the saver closed the file.
    file.Flush();
    EXPECT_FALSE(file.Close());

    ASSERT_TRUE(file.Open(path.c_str(), FileQt::ReadOnly));
    EXPECT_FALSE(file.Failed());
    EXPECT_TRUE(file.Close());
    file.Flush();
    EXPECT_TRUE(file.Close());
}

// The disk refuses bytes beyond the limit. Exit code: bit 0 for the first Close() verdict,
// bit 1 for a second Close().
TEST_F(FileQtTest, CloseReportsWritesTheDiskRefused)
{
    const std::string path = PathOf("limited");
    auto writeBytes = [&path](int count) {
        return [&path, count] {
            FileQt file;
            if (!file.Open(path.c_str(), FileQt::WriteOnly))
                return 100;
            for (int i = 0; i < count; ++i)
                file.Write("x", 1);
            const bool first = file.Close();
            return (first ? 1 : 0) | (file.Close() ? 2 : 0);
        };
    };
    EXPECT_EQ(RunWithFileSizeLimit(100000, writeBytes(50000)), 3);
    EXPECT_EQ(RunWithFileSizeLimit(1000, writeBytes(50000)), 0);
    // Only the final flush meets the limit.
    EXPECT_EQ(RunWithFileSizeLimit(1000, writeBytes(1001)), 0);
}

// QFile forgets the refused block once a later flush and the close succeed.
TEST_F(FileQtTest, CloseRemembersAnEarlierRefusedWrite)
{
    const std::string path = PathOf("limited");
    const int verdict = RunWithFileSizeLimit(1000, [&path] {
        FileQt file;
        if (!file.Open(path.c_str(), FileQt::WriteOnly))
            return 100;
        const std::string block(40000, 'x');
        const bool shortWrite = file.Write(block.data(), 40000) < 40000;
        file.Seek(0);
        file.Write("head", 4);
        return (shortWrite ? 2 : 0) | (file.Close() ? 1 : 0);
    });
    EXPECT_EQ(verdict, 2);
}
