#include "Common/CheckList/CheckListReader.h"
#include "Common/CheckList/LoadLimits.h"

#include "support/Toolkit.h"
#include "support/Unprivileged.h"
#include "support/Watchdog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using file::Outcome;
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

enum Declared
{
    InTheSubset,
    ByParameterEntity,
    InADefaultValue // referenced once in the default, which 'count' elements get
};

// An entity of 4,000 characters referenced 'count' times.
QByteArray Expanding(int count, Declared declared)
{
    const QByteArray value(4000, 'x');
    const QByteArray declaration = declared == ByParameterEntity
                                       ? "<!ENTITY % p \"<!ENTITY e '" + value + "'>\"> %p;"
                                       : "<!ENTITY e \"" + value + "\">";
    if (declared == InADefaultValue)
        return "<!DOCTYPE doc [" + declaration + "<!ATTLIST a b CDATA '&e;'>]><doc>" +
               QByteArray("<a/>").repeated(count) + "</doc>";
    return "<!DOCTYPE doc [" + declaration + "]><doc>" + QByteArray("&e;").repeated(count) +
           "</doc>";
}

// An entity whose replacement text opens 'levels' elements, its '<' spelled 'lt'.
QByteArray ReferencedMarkup(const QByteArray& lt, int levels)
{
    return "<!DOCTYPE doc [<!ENTITY e \"" + (lt + "a>").repeated(levels) +
           (lt + "/a>").repeated(levels) + "\">]><doc>&e;</doc>";
}

// An element with 'count' attributes, written in the text or brought in by an entity, the first
// 'defaults' of them by default values of its attribute list.
QByteArray Attributed(int count, bool inEntity, int defaults = 0)
{
    QByteArray element("<a");
    QByteArray list("<!ATTLIST a");
    for (int i = 0; i < count; ++i)
        (i < defaults ? list : element) +=
            " a" + QByteArray::number(i) + (i < defaults ? " CDATA ''" : "=''");
    element += "/>";
    const QByteArray subset = (defaults > 0 ? list + ">" : QByteArray()) +
                              (inEntity ? "<!ENTITY e \"" + element + "\">" : QByteArray());
    const QByteArray content = inEntity ? "&e;" : element;
    return (subset.isEmpty() ? QByteArray() : "<!DOCTYPE doc [" + subset + "]>") + "<doc>" +
           content + "</doc>";
}

QByteArray Declaring(int count)
{
    QByteArray declarations;
    for (int i = 0; i < count; ++i)
        declarations += "<!ENTITY e" + QByteArray::number(i) + " \"x\">";
    return "<!DOCTYPE doc [" + declarations + "]><doc/>";
}

// What this process has read so far, through every descriptor.
qint64 BytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray first = io.readLine();
    return first.startsWith("rchar:") ? first.mid(6).trimmed().toLongLong() : 0;
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
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><doc>Caf\xE9</doc>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><doc>Caf\xC3\xA9</doc>"},
        {"windows-1252, single quotes",
         "<?xml version='1.0' encoding='windows-1252'?><doc>\x80</doc>",
         "<?xml version='1.0' encoding='windows-1252'?><doc>\xE2\x82\xAC</doc>"},
        {"UTF-16LE with mark", Utf16(sample, false, true), utf8},
        {"UTF-16BE with mark", Utf16(sample, true, true), utf8},
        {"UTF-16LE without mark", Utf16("<?xml version=\"1.0\"?>" + sample, false, false),
         "<?xml version=\"1.0\"?>" + utf8},
        {"UTF-32LE with mark", Utf32(sample, false), utf8},
        {"UTF-32BE with mark", Utf32(sample, true), utf8},
        {"UTF-16BE without mark", Utf16("<?xml version=\"1.0\"?>" + sample, true, false),
         "<?xml version=\"1.0\"?>" + utf8},
        {"U+FFFD itself in UTF-8", "<doc>\xEF\xBF\xBD</doc>", "<doc>\xEF\xBF\xBD</doc>"},
        {"U+FFFD itself in UTF-16", Utf16(QStringLiteral("<doc>\uFFFD</doc>"), false, true),
         "<doc>\xEF\xBF\xBD</doc>"},
        {"undeclared entities, also inside a declared one",
         "<!DOCTYPE doc [<!ENTITY b \"&a;\">]><doc>&b;&nbsp;</doc>",
         "<!DOCTYPE doc [<!ENTITY b \"&a;\">]><doc>&b;&nbsp;</doc>"},
        {"external entity", "<!DOCTYPE doc [<!ENTITY e SYSTEM \"e.xml\">]><doc>&e;</doc>",
         "<!DOCTYPE doc [<!ENTITY e SYSTEM \"e.xml\">]><doc>&e;</doc>"},
        {"']' in a quoted entity value", "<!DOCTYPE doc [<!ENTITY rsqb \"]\">]><doc>&rsqb;</doc>",
         "<!DOCTYPE doc [<!ENTITY rsqb \"]\">]><doc>&rsqb;</doc>"},
        {"'%' in a default value", "<!DOCTYPE doc [<!ATTLIST doc a1 CDATA \"%e;\">]><doc/>",
         "<!DOCTYPE doc [<!ATTLIST doc a1 CDATA \"%e;\">]><doc/>"},
        {"carriage returns inside markup and the declaration",
         "<?xml version='1.0'\r\nencoding\r\n=\r\n'ISO-8859-1'\r\n?>\r\n"
         "<doc\r\na='1'\r\n>\xE9<list\r\n/></doc\r\n>",
         "<?xml version='1.0'\r\nencoding\r\n=\r\n'ISO-8859-1'\r\n?>\r\n"
         "<doc\r\na='1'\r\n>\xC3\xA9<list\r\n/></doc\r\n>"},
    };
    for (const Accepted& c : cases) {
        CheckListReader reader;
        const Outcome read = reader.ReadBytes(c.bytes);
        if (!kDomCheckReadsUndeclaredEntities && QByteArray(c.what).startsWith("undeclared")) {
            EXPECT_TRUE(read.sentence.contains(QLatin1String("Entity 'a' not declared")));
            continue;
        }
        EXPECT_TRUE(read.Ok()) << c.what << ": " << read.sentence.toStdString();
        EXPECT_EQ(reader.Text(), c.text) << c.what;
        EXPECT_EQ(reader.Text().constData()[reader.Text().size()], '\0') << c.what;
    }
}

struct Refused
{
    const char* what;
    QByteArray bytes;
    Outcome::Kind failure;
    const char* reason;
    bool byDefaults = false; // refused only where the DOM check gives default attributes
};

TEST(CheckListReaderTest, RefusesWhatCannotBeDecodedOrBoundedWithItsReason)
{
    const Refused cases[] = {
        {"Latin-1 byte in UTF-8", "<doc>Caf\xE9</doc>", Outcome::Undecodable,
         "It is not valid UTF-8 text."},
        {"UTF-8 cut inside a character", "<doc/>\xC3", Outcome::Undecodable,
         "It is not valid UTF-8 text."},
        {"encoded surrogate", "<doc>\xED\xA0\x80</doc>", Outcome::Undecodable,
         "It is not valid UTF-8 text."},
        {"lone surrogate in UTF-16",
         Utf16("<doc>", false, true) + QByteArray("\x00\xD8", 2) + Utf16("</doc>", false, false),
         Outcome::Undecodable, "It is not valid UTF-16LE text."},
        {"odd byte count in UTF-16", Utf16("<doc/>", true, true) + "x", Outcome::Undecodable,
         "It is not valid UTF-16BE text."},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-none\"?><doc/>",
         Outcome::Undecodable, "Its encoding \"x-none\" is not known."},
        {"UTF-16 declared on 8-bit bytes", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><doc/>",
         Outcome::Undecodable, "It is not valid UTF-16 text."},
        {"NUL after the top element", "<doc/>" + QByteArray(1, '\0') + "<", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 7."},
        {"U+0000 in UTF-16", Utf16("<doc/>\n", false, true) + QByteArray("\0\0<\0", 4),
         Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 2, column 1."},
        {"a second DOCTYPE", "<!DOCTYPE doc>\n<!DOCTYPE doc [<!ENTITY e '<a/>'>]>\n<doc/>",
         Outcome::NotWellFormed,
         "It is not well-formed XML: a document type declaration out of place at line 2, column "
         "1."},
        {"cut short", "<doc>\n<list>", Outcome::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 2, column 7."},
        {"closing tag of another element", "<doc>\n<a></b></doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 2, column 4."},
        {"column counts characters", "<doc>\xC3\xA9\xC3\xA9</x>", Outcome::NotWellFormed,
         "It is not well-formed XML: unexpected markup or end of text at line 1, column 8."},
        {"only the DOM parser objects: a bare ampersand", "<doc>a & b</doc>",
         Outcome::NotWellFormed, "It is not well-formed XML: "},
        {"257 levels", Nested(257), Outcome::TooDeep,
         "Its elements are nested deeper than 256 levels."},
        {"markup in an entity nests deeper",
         "<!DOCTYPE doc [<!ENTITY e \"" + QByteArray("<a>").repeated(200) +
             QByteArray("</a>").repeated(200) + "\">]><doc>" + QByteArray("<b>").repeated(60) +
             "&e;" + QByteArray("</b>").repeated(60) + "</doc>",
         Outcome::TooDeep, "Its elements are nested deeper than 256 levels."},
        {"markup by decimal reference with leading zeros", ReferencedMarkup("&#0060;", 300),
         Outcome::TooDeep, "Its elements are nested deeper than 256 levels."},
        {"markup by hexadecimal reference", ReferencedMarkup("&#x3c;", 300), Outcome::TooDeep,
         "Its elements are nested deeper than 256 levels."},
        {"markup by hexadecimal reference with leading zeros",
         ReferencedMarkup("&#x0003C;", 100'000), Outcome::TooDeep,
         "Its elements are nested deeper than 256 levels."},
        {"257 attributes", Attributed(257, false), Outcome::TooLarge,
         "An element has more than 256 attributes, at line 1, column 6."},
        {"300,000 attributes", Attributed(300'000, false), Outcome::TooLarge,
         "An element has more than 256 attributes, at line 1, column 6."},
        {"257 attributes in an entity", Attributed(257, true), Outcome::TooLarge,
         "An element has more than 256 attributes, at line 1, column 1987."},
        {"257 attributes, 200 by default", Attributed(257, false, 200), Outcome::TooLarge,
         "An element has more than 256 attributes, at line 1, column 2725.", true},
        {"257 attributes in an entity, 200 by default", Attributed(257, true, 200),
         Outcome::TooLarge, "An element has more than 256 attributes, at line 1, column 3199.",
         true},
        {"257 attributes declared", Attributed(257, false, 257), Outcome::TooLarge,
         "Its document type declares more than 256 attributes."},
        {"a 64 KiB default value on 20,000 elements",
         "<!DOCTYPE doc [<!ATTLIST a a0 CDATA '" + QByteArray(64 * 1024, 'v') + "'>]><doc>" +
             QByteArray("<a/>").repeated(20'000) + "</doc>",
         Outcome::TooMuchMemory, "Checking it would need more than 1792 MiB of memory.", true},
        {"1,001 entity declarations", Declaring(1001), Outcome::TooMuchMemory,
         "Its document type declares more than 1000 entities."},
        {"expansion beyond 1 MiB", Expanding(263, InTheSubset), Outcome::TooMuchMemory,
         "Its entity references expand to more than 1048576 characters."},
        {"entity declared through a parameter entity", Expanding(263, ByParameterEntity),
         Outcome::TooMuchMemory, "Its entity references expand to more than 1048576 characters."},
        {"entity in a default value", Expanding(262, InADefaultValue), Outcome::TooMuchMemory,
         "Its entity references expand to more than 1048576 characters.", true},
        {"entity that refers to itself",
         "<!DOCTYPE doc [<!ENTITY a \"&b;\"><!ENTITY b \"x&a;\">]><doc>&a;</doc>",
         Outcome::NotWellFormed,
         "It is not well-formed XML: an entity that refers to itself at line 1, column 28."},
        {"undeclared references beyond the memory budget",
         "<doc>" + QByteArray("x&a;").repeated(4'000'000) + "</doc>", Outcome::TooMuchMemory,
         "Checking it would need more than 1792 MiB of memory."},
        {"U+0000 by reference", "<doc>abc&#0;def</doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 9."},
        {"surrogate by reference", "<doc>\n s&#xD800;x</doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 2, column 3."},
        {"C0 control by reference, in an attribute", "<doc a='&#x0001;'/>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at "},
        {"beyond Unicode by reference", "<doc>&#x110000;</doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 6."},
        {"forbidden by reference in an entity nobody uses",
         "<!DOCTYPE doc [<!ENTITY e \"&#31;\">]><doc/>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 28."},
        {"raw form feed",
         "<doc>A\x0c"
         "B</doc>",
         Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 7."},
        {"raw control in a comment", "<doc><!-- \x01 --></doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 11."},
        {"raw U+FFFE", "<doc>\xEF\xBF\xBE</doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 6."},
        {"raw U+FFFF in UTF-16", Utf16("<doc>", true, true) + QByteArray("\xFF\xFF", 2),
         Outcome::NotWellFormed,
         "It is not well-formed XML: a character XML does not allow at line 1, column 6."},
        {"reference without digits", "<doc>&#x;</doc>", Outcome::NotWellFormed,
         "It is not well-formed XML: a declaration or reference it cannot read at line 1, "
         "column 6."},
        {"legacy byte its codec cannot map",
         "<?xml version='1.0' encoding='ISO-8859-8'?><doc>\xA1</doc>", Outcome::Undecodable,
         "It is not valid ISO-8859-8 text."},
        {"more rows than the memory budget",
         "<doc><list>" + QByteArray("<item/>").repeated(2'700'000) + "</list></doc>",
         Outcome::TooMuchMemory, "Checking it would need more than 1792 MiB of memory."},
        {"more elements than the DOM check's memory budget",
         "<doc>" + QByteArray("<a/>").repeated(6'800'000) + "</doc>", Outcome::TooMuchMemory,
         "Checking it would need more than 1792 MiB of memory."},
    };
    for (const Refused& c : cases) {
        Watchdog watchdog(c.what, 60);
        CheckListReader reader;
        testing::internal::CaptureStderr();
        const Outcome read = reader.ReadBytes(c.bytes);
        const std::string diagnostic = testing::internal::GetCapturedStderr();
        if (c.byDefaults && !kDomCheckAppliesDefaultAttributes) {
            EXPECT_TRUE(read.Ok()) << c.what << ": " << read.sentence.toStdString();
            continue;
        }
        EXPECT_EQ(read.kind, c.failure) << c.what;
        EXPECT_TRUE(read.sentence.startsWith(QLatin1String(c.reason)))
            << c.what << ": " << read.sentence.toStdString();
        EXPECT_TRUE(reader.Text().isEmpty()) << c.what;
        EXPECT_EQ(diagnostic,
                  c.failure == Outcome::TooDeep ? "Xml nesting is deeper than 256 levels.\n" : "")
            << c.what;
    }
}

// Many attributes on one element once cost time that grew with their square; now a linear
// walk and the DOM check see each once.
// The limits themselves, each from just inside to just outside.
TEST(CheckListReaderTest, AcceptsWhatLiesJustWithinEachLimit)
{
    for (const QByteArray& bytes :
         {Nested(256), Declaring(1000), Expanding(262, InTheSubset),
          Expanding(261, ByParameterEntity), Expanding(261, InADefaultValue),
          Attributed(256, false), Attributed(256, true), Attributed(256, false, 200),
          Attributed(256, true, 256)}) {
        const Outcome read = CheckListReader().ReadBytes(bytes);
        EXPECT_TRUE(read.Ok()) << read.sentence.toStdString();
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
        const Outcome read = CheckListReader().ReadFile(name);
        EXPECT_EQ(read.kind, Outcome::NotRegularFile) << name.toStdString();
        EXPECT_EQ(read.sentence, QStringLiteral("It is not a regular file."));
    }

    // A FIFO whose writer stays open would never deliver an end.
    const int writer = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    {
        Watchdog watchdog("reading a FIFO with a writer", 20);
        EXPECT_EQ(CheckListReader().ReadFile(Path("fifo")).kind, Outcome::NotRegularFile);
    }
    ::close(writer);

    // A file the reader may not read, also when it is root: file modes bind it without
    // privileges.
    const QString locked = Write("locked.xml", "<doc/>");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    EXPECT_EQ(support::RunUnprivileged([&locked] {
                  const Outcome read = CheckListReader().ReadFile(locked);
                  return read.kind == Outcome::Unreadable &&
                                 read.sentence ==
                                     QStringLiteral("It cannot be read: Permission denied.")
                             ? 0
                             : 1;
              }),
              0);

    const Outcome missing = CheckListReader().ReadFile(Path("missing"));
    EXPECT_EQ(missing.kind, Outcome::Unreadable);
    EXPECT_EQ(missing.sentence, QStringLiteral("It cannot be read: No such file or directory."));
}

// A FIFO, or a directory, swapped in between the look before opening and the open: the open
// must not block, and the look at the opened file must refuse it.
TEST_F(CheckListReaderFileTest, RefusesASpecialFileSwappedInBeforeTheOpen)
{
    const QByteArray path = QFile::encodeName(Path("swapped.xml"));
    for (bool fifo : {true, false}) {
        Write("swapped.xml", "<doc/>");
        Watchdog watchdog("opening a file swapped for a FIFO", 20);
        const Outcome read = CheckListReader().ReadFile(
            Path("swapped.xml"), zuchecklist::limits::kMaxFileBytes, [&path, fifo] {
                ASSERT_EQ(::unlink(path.constData()), 0);
                ASSERT_EQ(fifo ? ::mkfifo(path.constData(), 0600) : ::mkdir(path.constData(), 0700),
                          0);
            });
        EXPECT_EQ(read.kind, Outcome::NotRegularFile) << fifo;
        ASSERT_EQ(fifo ? ::unlink(path.constData()) : ::rmdir(path.constData()), 0);
    }
}

TEST_F(CheckListReaderFileTest, ReadsNoMoreThanOneByteBeyondTheLimit)
{
    const QString exact = Write("exact.xml", "<doc>" + QByteArray(89, ' ') + "</doc>"); // 100 bytes
    CheckListReader reader;
    EXPECT_TRUE(reader.ReadFile(exact, 100).Ok());
    testing::internal::CaptureStderr();
    Outcome read = reader.ReadFile(exact, 99);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Checklist file is larger than 99 bytes: " + QFile::encodeName(exact).toStdString() +
                  ".\n");
    EXPECT_EQ(read.kind, Outcome::TooLarge);
    EXPECT_EQ(read.sentence, QStringLiteral("It is larger than 99 bytes."));

    // Files that report no size at all but deliver more than the limit, one without end.
    if (QFile::exists(QStringLiteral("/proc/self/pagemap"))) {
        Watchdog watchdog("reading /proc/self/pagemap", 60);
        testing::internal::CaptureStderr();
        read = reader.ReadFile(QStringLiteral("/proc/self/pagemap"));
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(read.kind == Outcome::TooLarge || read.kind == Outcome::Unreadable);
    }
    if (QFile::exists(QStringLiteral("/proc/self/maps"))) {
        testing::internal::CaptureStderr();
        read = reader.ReadFile(QStringLiteral("/proc/self/maps"), 100);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(read.kind, Outcome::TooLarge);
    }

    // Limits beyond the default are the default; a negative one is 0.
    read = reader.ReadFile(exact, zuchecklist::limits::kMaxFileBytes * 4);
    EXPECT_TRUE(read.Ok()) << read.sentence.toStdString();
    testing::internal::CaptureStderr();
    read = reader.ReadFile(exact, -5);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(read.sentence, QStringLiteral("It is larger than 0 bytes."));

    // The default limit, refused on the reported size before anything is read.
    const QString huge = Path("huge.xml");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(zuchecklist::limits::kMaxFileBytes + 1));
    }
    testing::internal::CaptureStderr();
    const qint64 before = BytesReadSoFar();
    read = reader.ReadFile(huge);
    EXPECT_LT(BytesReadSoFar() - before, 4096) << "the content was read";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Checklist file is larger than 268435456 bytes: " +
                  QFile::encodeName(huge).toStdString() + ".\n");
    EXPECT_EQ(read.kind, Outcome::TooLarge);
}

} // namespace
