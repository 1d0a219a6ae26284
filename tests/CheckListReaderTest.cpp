#include "Common/CheckList/CheckListReader.h"
#include "Common/CheckList/LoadLimits.h"

#include "support/Unprivileged.h"
#include "support/Watchdog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using zuchecklist::CheckListReader;

namespace {

QByteArray Utf16(const QString& text, bool bigEndian, bool bom)
{
    QByteArray out;
    const QString all = bom ? QChar(0xFEFF) + text : text;
    for (QChar c : all) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        out += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1}
                         : QByteArray{&low, 1} + QByteArray{&high, 1};
    }
    return out;
}

QByteArray Utf32(const QString& text, bool bigEndian)
{
    QByteArray out;
    for (uint code : (QChar(0xFEFF) + text).toUcs4()) {
        char bytes[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                         static_cast<char>(code >> 8), static_cast<char>(code)};
        if (!bigEndian)
            std::swap(bytes[0], bytes[3]), std::swap(bytes[1], bytes[2]);
        out += QByteArray(bytes, 4);
    }
    return out;
}

QByteArray Nested(int levels)
{
    return "<doc>" + QByteArray("<a>").repeated(levels - 1) +
           QByteArray("</a>").repeated(levels - 1) + "</doc>";
}

// An entity of 4,000 characters referenced 'count' times.
QByteArray Expanding(int count, bool throughParameterEntity)
{
    const QByteArray value(4000, 'x');
    const QByteArray declaration = throughParameterEntity
                                       ? "<!ENTITY % p \"<!ENTITY e '" + value + "'>\"> %p;"
                                       : "<!ENTITY e \"" + value + "\">";
    return "<!DOCTYPE doc [" + declaration + "]><doc>" + QByteArray("&e;").repeated(count) +
           "</doc>";
}

QByteArray Declaring(int count)
{
    QByteArray declarations;
    for (int i = 0; i < count; ++i)
        declarations += "<!ENTITY e" + QByteArray::number(i) + " \"x\">";
    return "<!DOCTYPE doc [" + declarations + "]><doc/>";
}

struct Accepted
{
    const char* what;
    QByteArray bytes;
    QByteArray text; // what the loader gets, as UTF-8
};

TEST(CheckListReaderTest, DecodesEveryEncodingTheFileDeclaresIntoUtf8)
{
    const QString sample = QStringLiteral("<doc>Caf\u00e9 \U0001F600</doc>");
    const QByteArray utf8 = sample.toUtf8();
    const Accepted cases[] = {
        {"UTF-8 without declaration", utf8, utf8},
        {"UTF-8 byte-order mark stays for the loader", "\xEF\xBB\xBF" + utf8,
         "\xEF\xBB\xBF" + utf8},
        {"text after NUL ignored, even invalid", "<doc/>" + QByteArray(1, '\0') + "\xFF<",
         "<doc/>"},
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><doc>Caf\xE9</doc>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><doc>Caf\xC3\xA9</doc>"},
        {"windows-1252, single quotes",
         "<?xml version='1.0' encoding='windows-1252'?><doc>\x80</doc>",
         "<?xml version='1.0' encoding='windows-1252'?><doc>\xE2\x82\xAC</doc>"},
        {"UTF-16LE with mark", Utf16(sample, false, true), utf8},
        {"UTF-16BE with mark", Utf16(sample, true, true), utf8},
        {"UTF-16LE without mark", Utf16("<?xml version=\"1.0\"?>" + sample, false, false),
         "<?xml version=\"1.0\"?>" + utf8},
        {"UTF-16 text after U+0000 ignored",
         Utf16(sample, false, true) + QByteArray("\0\0\x00\xD8", 4), utf8},
        {"UTF-32LE with mark", Utf32(sample, false), utf8},
        {"UTF-32BE with mark", Utf32(sample, true), utf8},
    };
    for (const Accepted& c : cases) {
        CheckListReader reader;
        EXPECT_TRUE(reader.ReadBytes(c.bytes)) << c.what << ": " << reader.Reason().toStdString();
        EXPECT_EQ(reader.Text(), c.text) << c.what;
        EXPECT_EQ(reader.Text().constData()[reader.Text().size()], '\0') << c.what;
    }
}

struct Refused
{
    const char* what;
    QByteArray bytes;
    CheckListReader::Failure failure;
    const char* reason;
};

TEST(CheckListReaderTest, RefusesWhatCannotBeDecodedOrBoundedWithItsReason)
{
    const Refused cases[] = {
        {"Latin-1 byte in UTF-8", "<doc>Caf\xE9</doc>", CheckListReader::Undecodable,
         "It is not valid UTF-8 text."},
        {"UTF-8 cut inside a character", "<doc/>\xC3", CheckListReader::Undecodable,
         "It is not valid UTF-8 text."},
        {"encoded surrogate", "<doc>\xED\xA0\x80</doc>", CheckListReader::Undecodable,
         "It is not valid UTF-8 text."},
        {"lone surrogate in UTF-16",
         Utf16("<doc>", false, true) + QByteArray("\x00\xD8", 2) + Utf16("</doc>", false, false),
         CheckListReader::Undecodable, "It is not valid UTF-16LE text."},
        {"odd byte count in UTF-16", Utf16("<doc/>", true, true) + "x",
         CheckListReader::Undecodable, "It is not valid UTF-16BE text."},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-none\"?><doc/>",
         CheckListReader::Undecodable, "Its encoding \"x-none\" is not known."},
        {"UTF-16 declared on 8-bit bytes", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><doc/>",
         CheckListReader::Undecodable, "It is not valid UTF-16 text."},
        {"cut short", "<doc>\n<list>", CheckListReader::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 2, column 7."},
        {"closing tag of another element", "<doc>\n<a></b></doc>", CheckListReader::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 2, column 4."},
        {"column counts characters", "<doc>\xC3\xA9\xC3\xA9</x>", CheckListReader::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 1, column 8."},
        {"only the DOM parser objects: a bare ampersand", "<doc>a & b</doc>",
         CheckListReader::NotWellFormed, "It is not well-formed XML: "},
        {"257 levels", Nested(257), CheckListReader::TooDeep,
         "Its elements are nested deeper than 256 levels."},
        {"markup in an entity nests deeper",
         "<!DOCTYPE doc [<!ENTITY e \"" + QByteArray("<a>").repeated(200) +
             QByteArray("</a>").repeated(200) + "\">]><doc>" + QByteArray("<b>").repeated(60) +
             "&e;" + QByteArray("</b>").repeated(60) + "</doc>",
         CheckListReader::TooDeep, "Its elements are nested deeper than 256 levels."},
        {"1,001 entity declarations", Declaring(1001), CheckListReader::TooMuchMemory,
         "Its document type declares more than 1000 entities."},
        {"expansion beyond 1 MiB", Expanding(263, false), CheckListReader::TooMuchMemory,
         "Its entity references expand to more than 1048576 characters."},
        {"entity declared through a parameter entity", Expanding(263, true),
         CheckListReader::TooMuchMemory,
         "Its entity references expand to more than 1048576 characters."},
        {"entity that refers to itself",
         "<!DOCTYPE doc [<!ENTITY a \"&b;\"><!ENTITY b \"x&a;\">]><doc>&a;</doc>",
         CheckListReader::NotWellFormed,
         "It is not well-formed XML: an entity that refers to itself at line 1, column 28."},
        {"DOCTYPE the loader reads otherwise", "<!DOCTYPE doc [<!ENTITY a \"]>\">]><doc/>",
         CheckListReader::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 1, column 30."},
        {"more rows than the memory budget",
         "<doc><list>" + QByteArray("<item/>").repeated(2'700'000) + "</list></doc>",
         CheckListReader::TooMuchMemory, "Checking it would need more than 1792 MiB of memory."},
        {"more elements than the DOM check's memory budget",
         "<doc>" + QByteArray("<a/>").repeated(6'800'000) + "</doc>",
         CheckListReader::TooMuchMemory, "Checking it would need more than 1792 MiB of memory."},
    };
    for (const Refused& c : cases) {
        Watchdog watchdog(c.what, 60);
        CheckListReader reader;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reader.ReadBytes(c.bytes)) << c.what;
        const std::string diagnostic = testing::internal::GetCapturedStderr();
        EXPECT_EQ(reader.GetFailure(), c.failure) << c.what;
        EXPECT_TRUE(reader.Reason().startsWith(QLatin1String(c.reason)))
            << c.what << ": " << reader.Reason().toStdString();
        EXPECT_TRUE(reader.Text().isEmpty()) << c.what;
        EXPECT_EQ(diagnostic, c.failure == CheckListReader::TooDeep
                                  ? "Xml nesting is deeper than 256 levels.\n"
                                  : "")
            << c.what;
    }
}

// Many attributes on one element once cost time that grew with their square; now a linear
// walk and the DOM check see each once.
TEST(CheckListReaderTest, ManyAttributesOnOneElementLoadInLinearTime)
{
    QByteArray text("<doc");
    for (int i = 0; i < 300'000; ++i)
        text += " a" + QByteArray::number(i) + "=\"\"";
    text += "/>";
    Watchdog watchdog("checking 300,000 attributes", 120);
    CheckListReader reader;
    EXPECT_TRUE(reader.ReadBytes(text)) << reader.Reason().toStdString();
}

// The limits themselves, each from just inside to just outside.
TEST(CheckListReaderTest, AcceptsWhatLiesJustWithinEachLimit)
{
    for (const QByteArray& bytes :
         {Nested(256), Declaring(1000), Expanding(262, false), Expanding(261, true)}) {
        CheckListReader reader;
        EXPECT_TRUE(reader.ReadBytes(bytes)) << reader.Reason().toStdString();
    }
}

class CheckListReaderFileTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const
    {
        return dir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    QString Write(const char* name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QTemporaryDir dir;
};

TEST_F(CheckListReaderFileTest, RefusesEveryFileThatIsNotRegularWithoutBlocking)
{
    const QByteArray fifo = QFile::encodeName(Path("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const QByteArray link = QFile::encodeName(Path("link"));
    ASSERT_EQ(::symlink(fifo.constData(), link.constData()), 0);

    std::vector<QString> names{Path("fifo"), Path("link"), dir.path()};
    for (const char* device : {"/dev/null", "/dev/zero", "/dev/urandom", "/dev/tty", "/dev/ptmx"})
        if (QFile::exists(QLatin1String(device)))
            names.push_back(QLatin1String(device));
    for (const QString& name : names) {
        Watchdog watchdog("reading a special file", 20);
        CheckListReader reader;
        EXPECT_FALSE(reader.ReadFile(name));
        EXPECT_EQ(reader.GetFailure(), CheckListReader::NotRegularFile) << name.toStdString();
        EXPECT_EQ(reader.Reason(), QStringLiteral("It is not a regular file."));
    }

    // A FIFO whose writer stays open would never deliver an end.
    const int writer = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    {
        Watchdog watchdog("reading a FIFO with a writer", 20);
        CheckListReader reader;
        EXPECT_FALSE(reader.ReadFile(Path("fifo")));
        EXPECT_EQ(reader.GetFailure(), CheckListReader::NotRegularFile);
    }
    ::close(writer);

    // A file the reader may not read, also when it is root: file modes bind it without
    // privileges.
    const QString locked = Write("locked.xml", "<doc/>");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    EXPECT_EQ(support::RunUnprivileged([&locked] {
                  CheckListReader reader;
                  return !reader.ReadFile(locked) &&
                                 reader.GetFailure() == CheckListReader::Unreadable &&
                                 reader.Reason() ==
                                     QStringLiteral("It cannot be read: Permission denied.")
                             ? 0
                             : 1;
              }),
              0);

    CheckListReader reader;
    EXPECT_FALSE(reader.ReadFile(Path("missing")));
    EXPECT_EQ(reader.GetFailure(), CheckListReader::Unreadable);
    EXPECT_EQ(reader.Reason(), QStringLiteral("It cannot be read: No such file or directory."));
}

TEST_F(CheckListReaderFileTest, ReadsNoMoreThanOneByteBeyondTheLimit)
{
    const QString exact = Write("exact.xml", "<doc>" + QByteArray(89, ' ') + "</doc>"); // 100 bytes
    CheckListReader reader;
    EXPECT_TRUE(reader.ReadFile(exact, 100)) << reader.Reason().toStdString();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.ReadFile(exact, 99));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Checklist file is larger than 99 bytes: " + QFile::encodeName(exact).toStdString() +
                  ".\n");
    EXPECT_EQ(reader.GetFailure(), CheckListReader::TooLarge);
    EXPECT_EQ(reader.Reason(), QStringLiteral("It is larger than 99 bytes."));

    // Files that report no size at all but deliver more than the limit, one without end.
    if (QFile::exists(QStringLiteral("/proc/self/pagemap"))) {
        Watchdog watchdog("reading /proc/self/pagemap", 60);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reader.ReadFile(QStringLiteral("/proc/self/pagemap")));
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(reader.GetFailure() == CheckListReader::TooLarge ||
                    reader.GetFailure() == CheckListReader::Unreadable);
    }
    if (QFile::exists(QStringLiteral("/proc/self/maps"))) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reader.ReadFile(QStringLiteral("/proc/self/maps"), 100));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(reader.GetFailure(), CheckListReader::TooLarge);
    }

    // The default limit, refused on the reported size before anything is read.
    const QString huge = Path("huge.xml");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(zuchecklist::limits::kMaxFileBytes + 1));
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.ReadFile(huge));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Checklist file is larger than 268435456 bytes: " +
                  QFile::encodeName(huge).toStdString() + ".\n");
    EXPECT_EQ(reader.GetFailure(), CheckListReader::TooLarge);
}

} // namespace
