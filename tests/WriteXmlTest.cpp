#include "Common/CheckList/CheckListContainer.h"
#include "support/Files.h"
#include "support/MessageCapture.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>

using zuchecklist::CheckListContainer;

namespace {

using support::Entries;
using support::ReadAll;

// The debug trace as "category|text|context", where context says whether it has a source place.
QStringList Trace(const support::MessageCapture& capture)
{
    QStringList trace;
    for (const auto& m : capture.Debug())
        trace << QStringLiteral("%1|%2|%3")
                     .arg(m.category, m.text)
                     .arg(m.line > 0 && !m.file.isEmpty() ? "context" : "none");
    return trace;
}

// Writes a file with a second, independent XML parser's verdict.
bool XmlLintAccepts(const QString& name)
{
    const QByteArray command =
        "'" VELLORIN_XMLLINT "' --noout '" + QFile::encodeName(name) + "' 2>/dev/null";
    return std::system(command.constData()) == 0;
}

CheckListContainer Reload(const QString& name)
{
    CheckListContainer c(name);
    QByteArray buffer = ReadAll(name);
    c.ParseXML(buffer.data());
    return c;
}

class WriteXmlTest : public ::testing::Test
{
protected:
    // Copies of files written in place go to a state folder of the test's own.
    WriteXmlTest() { qputenv("XDG_STATE_HOME", QFile::encodeName(state.path())); }
    ~WriteXmlTest() override { qunsetenv("XDG_STATE_HOME"); }
    // Every file a test leaves behind must satisfy an independent XML parser too, and no copy
    // of a previous content stays.
    void TearDown() override
    {
        EXPECT_TRUE(Entries(state.path() + QStringLiteral("/vellorin")).isEmpty());
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            EXPECT_TRUE(XmlLintAccepts(Path(name))) << name.toStdString();
    }
    QString Path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
    QTemporaryDir state;
};

TEST_F(WriteXmlTest, WritesTheFormatByteForByteAndTracesTheSave)
{
    CheckListContainer c(Path(QStringLiteral("engine.xml")));
    c.AddList(QStringLiteral("Engine start"));
    c.AddItem(QStringLiteral("Fuel pump"), QStringLiteral("ON"), 0);
    c.AddItem(QStringLiteral("A & B"), QStringLiteral("<5>"), 0);
    QStringList trace;
    {
        support::MessageCapture capture;
        ASSERT_TRUE(c.WriteXML().Ok());
        trace = Trace(capture);
    }
    EXPECT_EQ(ReadAll(c.GetFileName()),
              ReadAll(QStringLiteral(VELLORIN_TEST_DATA "/one-list.xml")));
    EXPECT_EQ(trace, QStringList{"default|*** CheckList saved|context"});
    EXPECT_EQ(Entries(dir.path()), QStringList{"engine.xml"}) << "no temporary file is left";
}

TEST_F(WriteXmlTest, EmptyDocumentListAndTexts)
{
    CheckListContainer c(Path(QStringLiteral("empty.xml")));
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_EQ(ReadAll(c.GetFileName()),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\n</doc>\n"));

    c.AddList(QString());
    c.AddList(QStringLiteral("x"));
    c.AddItem(QString(), QString(), 1);
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_EQ(ReadAll(c.GetFileName()), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                   "<doc>\n"
                                                   "   <list>\n"
                                                   "      <name></name>\n"
                                                   "   </list>\n"
                                                   "   <list>\n"
                                                   "      <name>x</name>\n"
                                                   "      <item>\n"
                                                   "         <name></name>\n"
                                                   "         <action></action>\n"
                                                   "      </item>\n"
                                                   "   </list>\n"
                                                   "</doc>\n"));
}

TEST_F(WriteXmlTest, SaveOpenSaveGivesTheSameBytes)
{
    const QStringList texts{
        QStringLiteral("A & B < C > D"),
        QStringLiteral("\"quoted\" and 'single'"),
        QString::fromUtf8("caf\xC3\xA9 \xD0\xBF\xD1\x80\xD0\xB8 \xE6\x97\xA5\xE6\x9C\xAC"),
        QString::fromUtf8("rocket \xF0\x9F\x9A\x80 and \xF0\x9D\x84\x9E"),
        QString(),
        QStringLiteral(" padded "),
        QStringLiteral("tab\there\nline\rcr"),
        QStringLiteral("]]>")};
    for (const QString& fileName :
         {QStringLiteral("round.xml"), QString::fromUtf8("r\xC3\xBC"
                                                         "ckw\xC3\xA4rts \xE2\x82\xAC.xml")}) {
        CheckListContainer c(Path(fileName));
        for (int l = 0; l < texts.size(); ++l) {
            c.AddList(texts[l]);
            for (int i = 0; i < texts.size(); ++i)
                c.AddItem(texts[i], texts[(i + l) % texts.size()], l);
        }
        ASSERT_TRUE(c.WriteXML().Ok());
        ASSERT_TRUE(QFile::exists(Path(fileName)));
        EXPECT_TRUE(XmlLintAccepts(c.GetFileName()));
        const QByteArray first = ReadAll(c.GetFileName());

        CheckListContainer back = Reload(c.GetFileName());
        ASSERT_EQ(back.GetListCount(), c.GetListCount());
        for (int l = 0; l < c.GetListCount(); ++l) {
            EXPECT_EQ(back.GetListName(l), c.GetListName(l));
            for (int i = 0; i < c.GetItemCount(l); ++i) {
                EXPECT_EQ(back.GetItemText(l, i), c.GetItemText(l, i));
                EXPECT_EQ(back.GetItemAction(l, i), c.GetItemAction(l, i));
            }
        }
        ASSERT_TRUE(back.WriteXML().Ok());
        EXPECT_EQ(ReadAll(back.GetFileName()), first);
    }
}

TEST_F(WriteXmlTest, CharactersXmlCannotCarryAreLeftOut)
{
    QString text = QStringLiteral("a\x01"
                                  "b\x1F"
                                  "c");
    text += QChar(0xFFFE);
    text += QChar(0xFFFF);
    text += QChar(0xD800); // unpaired high surrogate
    text += QStringLiteral("d");
    text += QChar(0xDC00); // unpaired low surrogate
    text += QStringLiteral("\t\n\r");
    text += QChar(0xFFFD);
    CheckListContainer c(Path(QStringLiteral("controls.xml")));
    c.AddList(text);
    c.AddItem(QString(QChar(0)) + QStringLiteral("x"), QStringLiteral("y") + QChar(0xD83D), 0);
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_TRUE(XmlLintAccepts(c.GetFileName()));
    CheckListContainer back = Reload(c.GetFileName());
    EXPECT_EQ(back.GetListName(0), QStringLiteral("abcd\t\n\r") + QChar(0xFFFD));
    EXPECT_EQ(back.GetItemText(0, 0), QStringLiteral("x"));
    EXPECT_EQ(back.GetItemAction(0, 0), QStringLiteral("y"));
}

TEST_F(WriteXmlTest, ReplacesALongerFileWholeAndKeepsItsPermissions)
{
    const QString name = Path(QStringLiteral("old.xml"));
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, 'z'));
    }
    QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner);
    CheckListContainer c(name);
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_EQ(ReadAll(name),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\n</doc>\n"));
    EXPECT_EQ(QFile::permissions(name) & 0x7077, 0x6000) << "owner read and write only";
}

TEST_F(WriteXmlTest, SavesThroughAChainOfSymbolicLinks)
{
    const QString target = Path(QStringLiteral("target.xml"));
    const QString link = Path(QStringLiteral("link.xml"));
    const QString outer = Path(QStringLiteral("outer.xml"));
    ASSERT_TRUE(QFile(target).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(QFile::link(QStringLiteral("link.xml"), outer)); // relative to its folder
    CheckListContainer c(outer);
    c.AddList(QStringLiteral("x"));
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(outer).isSymLink());
    EXPECT_EQ(Reload(target).GetListName(0), QStringLiteral("x"));
}

TEST_F(WriteXmlTest, UnopenableNameFailsWithoutTrace)
{
    for (const QString& name :
         {QString(), Path(QStringLiteral("missing/folder/x.xml")), dir.path()}) {
        CheckListContainer c(name);
        c.AddList(QStringLiteral("x"));
        support::MessageCapture capture;
        EXPECT_FALSE(c.WriteXML().Ok()) << name.toStdString();
        EXPECT_TRUE(Trace(capture).isEmpty());
    }
    EXPECT_TRUE(Entries(dir.path()).isEmpty());
}

// Runs 'save' in a child process and returns its exit code: 0 saved, 1 failed, other: broken.
int InChild(const std::function<bool()>& save, const std::function<void()>& setUp)
{
    return support::RunInChild([&] {
        setUp();
        return save() ? 0 : 1;
    });
}

void WriteOld(const QString& name, const QByteArray& bytes)
{
    QFile old(name);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(bytes);
}

TEST_F(WriteXmlTest, WriteFailingHalfWayKeepsTheOldFile)
{
    const QString name = Path(QStringLiteral("big.xml"));
    const QByteArray oldBytes("<doc><list><name>previous</name></list></doc>\n");
    WriteOld(name, oldBytes);
    CheckListContainer c(name);
    for (int l = 0; l < 200; ++l) {
        c.AddList(QStringLiteral("list %1").arg(l));
        for (int i = 0; i < 50; ++i)
            c.AddItem(QStringLiteral("item"), QStringLiteral("action"), l);
    }
    const int result = InChild([&] { return c.WriteXML().Ok(); },
                               [] {
                                   // The limit's signal is left as it kills by default.
                                   const rlimit limit{20000, 20000};
                                   setrlimit(RLIMIT_FSIZE, &limit);
                               });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadAll(name), oldBytes);
    EXPECT_EQ(Entries(dir.path()), QStringList{"big.xml"});
}

// A folder the user cannot write keeps no one from saving a file they may write: it is written
// in place. A file they may not write stays as it is, though its folder would allow replacing it.
TEST_F(WriteXmlTest, ReadOnlyFolderIsWrittenInPlaceButAReadOnlyFileIsKept)
{
    const QString name = Path(QStringLiteral("kept.xml"));
    const QByteArray oldBytes("<doc/>\n");
    WriteOld(name, oldBytes);
    QFile::setPermissions(name, QFileDevice::Permissions(0x6666)); // writable file
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    CheckListContainer c(name);
    c.AddList(QStringLiteral("new"));
    // Root ignores file modes: the save runs in a child without privileges.
    auto save = [&] { return support::RunUnprivileged([&] { return c.WriteXML().Ok() ? 0 : 1; }); };
    EXPECT_EQ(save(), 0);
    EXPECT_EQ(Reload(name).GetListName(0), QStringLiteral("new"));
    EXPECT_EQ(Entries(dir.path()), QStringList{"kept.xml"});

    // A read-only file is not replaced, though its folder would allow it.
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    WriteOld(name, oldBytes);
    QFile::setPermissions(name, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    EXPECT_EQ(save(), 1);
    EXPECT_EQ(ReadAll(name), oldBytes);
    EXPECT_EQ(Entries(dir.path()), QStringList{"kept.xml"});
}

// Builds a text from UTF-16 code units, lone surrogates included.
QString Units(std::initializer_list<ushort> units)
{
    QString text;
    for (ushort unit : units)
        text += QChar(unit);
    return text;
}

TEST_F(WriteXmlTest, CharactersAtTheUtf8LengthBoundariesAreWrittenExactly)
{
    const struct
    {
        const char* what;
        QString text;
        QByteArray written;
    } cases[] = {
        {"U+007F", Units({0x7F}), "\x7F"},
        {"U+0080", Units({0x80}), "\xC2\x80"},
        {"U+07FF", Units({0x7FF}), "\xDF\xBF"},
        {"U+0800", Units({0x800}), "\xE0\xA0\x80"},
        {"U+D7FF", Units({0xD7FF}), "\xED\x9F\xBF"},
        {"U+E000", Units({0xE000}), "\xEE\x80\x80"},
        {"U+FFFC..U+FFFF", Units({'a', 0xFFFC, 0xFFFD, 0xFFFE, 0xFFFF, 'b'}),
         "a\xEF\xBF\xBC\xEF\xBF\xBD"
         "b"},
        {"U+10000", Units({0xD800, 0xDC00}), "\xF0\x90\x80\x80"},
        {"U+10FFFF", Units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
        {"U+20BB7", Units({0xD842, 0xDFB7}), "\xF0\xA0\xAE\xB7"},
        {"lone high surrogates", Units({0xD800, 'x', 0xDBFF}), "x"},
        {"lone low surrogates", Units({0xDC00, 0xDFFF, 'y', 0xDFFF}), "y"},
        {"high before a pair", Units({0xD800, 0xD800, 0xDC00}), "\xF0\x90\x80\x80"},
        {"high before U+E000", Units({0xDBFF, 0xE000}), "\xEE\x80\x80"},
        {"high before U+D7FF", Units({0xD800, 0xD7FF}), "\xED\x9F\xBF"},
        {"low before high", Units({0xDC00, 0xD800}), ""},
    };
    CheckListContainer c(Path(QStringLiteral("boundaries.xml")));
    for (const auto& test : cases)
        c.AddList(test.text);
    ASSERT_TRUE(c.WriteXML().Ok());
    const QList<QByteArray> lines = ReadAll(c.GetFileName()).split('\n');
    const int count = static_cast<int>(std::size(cases));
    ASSERT_EQ(lines.size(), 3 * count + 4) << "declaration, doc, three lines a list, a last LF";
    CheckListContainer back = Reload(c.GetFileName());
    ASSERT_EQ(back.GetListCount(), count);
    for (int l = 0; l < count; ++l) {
        EXPECT_EQ(lines[2 + 3 * l + 1], "      <name>" + cases[l].written + "</name>")
            << cases[l].what;
        EXPECT_EQ(back.GetListName(l), QString::fromUtf8(cases[l].written)) << cases[l].what;
    }
}

} // namespace
