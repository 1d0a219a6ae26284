#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/LoadChecks.h"
#include "support/MessageCapture.h"

#include <QLoggingCategory>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using zuchecklist::CheckListContainer;

namespace {

// Parses a copy of 'text' and records the debug trace and the standard error output.
struct Load
{
    Load(CheckListContainer& container, const std::string& text)
    {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back(0);
        support::MessageCapture capture;
        testing::internal::CaptureStderr();
        ok = container.ParseXML(buffer.data());
        stderrText = testing::internal::GetCapturedStderr();
        for (const auto& m : capture.Debug()) {
            trace << m.text;
            contexts << QStringLiteral("%1|%2|%3|%4")
                            .arg(m.category, m.file)
                            .arg(m.line > 0 ? "line" : "no line")
                            .arg(m.function);
        }
    }
    bool ok;
    std::string stderrText;
    QStringList trace;
    QStringList contexts; // "category|file|line or no line|function" of each trace message
};

// The whole document as one line per list: "name: text/action, text/action".
QStringList Dump(const CheckListContainer& c)
{
    QStringList lines;
    for (int l = 0; l < c.GetListCount(); ++l) {
        QStringList items;
        for (int i = 0; i < c.GetItemCount(l); ++i)
            items << c.GetItemText(l, i) + QLatin1Char('/') + c.GetItemAction(l, i);
        lines << c.GetListName(l) + QStringLiteral(": ") + items.join(QStringLiteral(", "));
    }
    return lines;
}

// The fourteen-line document that the writer tests also expect byte for byte.
std::string OneList()
{
    std::ifstream in(VELLORIN_TEST_DATA "/one-list.xml", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kEngineStart = OneList();

TEST(ParseXml, LoadsListsAndItemsWithTheirTrace)
{
    CheckListContainer c(QStringLiteral("f.xml"));
    Load load(c, kEngineStart);
    EXPECT_TRUE(load.ok);
    EXPECT_EQ(load.stderrText, "");
    EXPECT_EQ(Dump(c), QStringList{"Engine start: Fuel pump/ON, A & B/<5>"});
    EXPECT_EQ(c.GetFileName(), QStringLiteral("f.xml"));
    EXPECT_EQ(load.trace, (QStringList{"CHECKLIST:  \"Engine start\"",
                                       "Item:  \"Fuel pump\"  | Action:  \"ON\"",
                                       "Item:  \"A & B\"  | Action:  \"<5>\""}));
    ASSERT_EQ(load.contexts.size(), 3);
    for (const QString& context : load.contexts) {
        EXPECT_TRUE(context.startsWith(QStringLiteral("default|"))) << context.toStdString();
        EXPECT_TRUE(context.contains(QStringLiteral("CheckListContainer.cpp|line|")))
            << context.toStdString();
        EXPECT_TRUE(context.contains(QStringLiteral("ParseXML"))) << context.toStdString();
    }
}

TEST(ParseXml, EmptyDocLoadsNothingSilently)
{
    for (const char* text : {"<doc></doc>", "<doc/>", "<?xml version='1.0'?>\n<doc>\n</doc>\n"}) {
        CheckListContainer c{QString()};
        Load load(c, text);
        EXPECT_TRUE(load.ok) << text;
        EXPECT_EQ(c.GetListCount(), 0);
        EXPECT_TRUE(load.trace.isEmpty());
        EXPECT_EQ(load.stderrText, "");
    }
}

// Called on its own, ParseXML leaves syntax to RapidXML, which reads a document type its own
// way and passes characters XML forbids; Open's Load, given the checks' scan, refuses those and
// reads the document type as XML does.
TEST(ParseXml, OnItsOwnLeavesSyntaxToRapidXmlWhileLoadFollowsTheChecks)
{
    const struct
    {
        std::string text;
        const char* diagnostic; // of ParseXML; empty: it loads the list "a"
        const char* refusal;    // of Load; empty: it loads the list "a"
    } cases[] = {
        {"<doc><list><name>a&#12x</name></list></doc>", "Xml parse error: expected ;.\n",
         "It is not well-formed XML: a declaration or reference it cannot read at line 1, column "
         "19."},
        {"<!DOCTYPE doc [<!ENTITY rsqb \"]\">]><doc><list><name>a</name></list></doc>",
         "Xml parse error: expected <.\n", ""},
        {"<doc><list><name>a</name></list>\x01</doc>", "",
         "It is not well-formed XML: a character XML does not allow at line 1, column 33."},
        // Cut short: in the elements, RapidXML says why, at the place in the text as it was
        // before it wrote its terminators into it; in the document type, the checks say it.
        {"<doc\n><list\n><name>a</name>\n</list>", "Xml parse error: unexpected end of data.\n",
         "It is not well-formed XML: unexpected end of data at line 4, column 8."},
        {"<!DOCTYPE doc [<!ENTITY e 'x'>", "Xml parse error: unexpected end of data.\n",
         "It is not well-formed XML: a declaration or reference it cannot read at line 1, column "
         "31."},
    };
    for (const auto& c : cases) {
        CheckListContainer alone{QString()};
        const Load load(alone, c.text);
        EXPECT_EQ(load.stderrText, c.diagnostic) << c.text;
        EXPECT_EQ(Dump(alone), *c.diagnostic ? QStringList() : QStringList{"a: "}) << c.text;

        std::vector<char> buffer(c.text.begin(), c.text.end());
        buffer.push_back(0);
        CheckListContainer checked{QString()};
        const XmlScan scan = zuchecklist::LoadChecks::Scan(buffer.data());
        testing::internal::CaptureStderr();
        const file::Outcome loaded = checked.Load(buffer.data(), scan);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(loaded.sentence.toStdString(), c.refusal) << c.text;
        EXPECT_EQ(Dump(checked), *c.refusal ? QStringList() : QStringList{"a: "}) << c.text;
    }
}

TEST(ParseXml, OtherRootReportsGlobalPartErrorAndKeepsTheDocument)
{
    for (const char* text : {"<Doc><list><name>x</name></list></Doc>", "<lists/>", ""}) {
        CheckListContainer c{QString()};
        c.AddList(QStringLiteral("kept"));
        Load load(c, text);
        EXPECT_FALSE(load.ok) << text;
        EXPECT_EQ(load.stderrText, "Parse error in global part\n") << text;
        EXPECT_EQ(Dump(c), QStringList{"kept: "});
    }
}

TEST(ParseXml, SyntaxErrorReportsOnceAndAddsNothing)
{
    const struct
    {
        const char* text;
        const char* message;
    } cases[] = {
        {"<doc><list><name>x</name></list>", "Xml parse error: unexpected end of data.\n"},
        {"<doc><list><name>x</nam></list></doc>", "Xml parse error: invalid closing tag name.\n"},
        {"<doc><list a></list></doc>", "Xml parse error: expected =.\n"},
        {"x<doc/>", "Xml parse error: expected <.\n"},
    };
    for (const auto& test : cases) {
        CheckListContainer c{QString()};
        c.AddList(QStringLiteral("kept"));
        Load load(c, test.text);
        EXPECT_FALSE(load.ok) << test.text;
        EXPECT_EQ(load.stderrText, test.message) << test.text;
        EXPECT_EQ(Dump(c), QStringList{"kept: "}) << test.text;
        EXPECT_TRUE(load.trace.isEmpty());
    }
}

TEST(ParseXml, ReaderAcceptsTheFormatsLiberalSide)
{
    CheckListContainer c{QString()};
    Load load(c, "\xEF\xBB\xBF<?xml version='1.0'?>\n"
                 "<!DOCTYPE doc [ <!ELEMENT doc ANY> ]>\n"
                 "<!-- comment --><?app data?>\n"
                 "<doc x='1'>\n"
                 " <List><name>ignored</name></List>\n"
                 " <list name='attr'>\n"
                 "  <item><action>a1</action><name>n1</name><extra/></item>\n"
                 "  <name>First</name><name>Second</name>\n"
                 "  <item><name>no action</name></item>\n"
                 "  <Item><name>ignored</name></Item>\n"
                 " </list>\n"
                 " <list><item><name>  padded  </name><action>   </action></item></list>\n"
                 "</doc>\n"
                 "<doc><list><name>second doc</name></list></doc>\n");
    EXPECT_TRUE(load.ok);
    EXPECT_EQ(Dump(c), (QStringList{"First: n1/a1, no action/", ":   padded  /"}));
}

TEST(ParseXml, ReferencesAndNonAsciiDecode)
{
    CheckListContainer c{QString()};
    Load load(c, "<doc><list><name>&amp;&#38;&#x26; &#233; &quot;&apos;</name>"
                 "<item><name>\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x80</name>"
                 "<action><![CDATA[hidden]]></action></item></list></doc>");
    EXPECT_TRUE(load.ok);
    EXPECT_EQ(c.GetListName(0), QStringLiteral("&&& \u00e9 \"'"));
    EXPECT_EQ(c.GetItemText(0, 0),
              QString::fromUtf8("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x80"));
    EXPECT_EQ(c.GetItemAction(0, 0), QString()) << "CDATA is not part of the value";
}

TEST(ParseXml, LongValuesLoadWhole)
{
    std::string name;
    for (int i = 0; i < 80; ++i)
        name += "\xE2\x82\xAC"; // 240 bytes
    std::string text(100000, 'x');
    text[0] = 'A';
    text[99999] = 'Z';
    CheckListContainer c{QString()};
    Load load(c, "<doc><list><name>" + name + "</name><item><name>" + text + "</name><action>" +
                     name + "</action></item></list></doc>");
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(c.GetListName(0), QString(80, QChar(0x20AC)));
    EXPECT_EQ(c.GetItemText(0, 0), QString::fromStdString(text));
    EXPECT_EQ(c.GetItemAction(0, 0), QString(80, QChar(0x20AC)));
}

TEST(ParseXml, ProcessingInstructionsNamedLikeElementsAreIgnored)
{
    CheckListContainer c{QString()};
    Load load(c, "<?doc x?><doc><?list a?><list><?name t?><name>L</name><?item i?>"
                 "<item><?name p?><name>x</name><?action q?><action>y</action></item>"
                 "</list></doc>");
    EXPECT_TRUE(load.ok);
    EXPECT_EQ(Dump(c), QStringList{"L: x/y"});
}

TEST(ParseXml, LoadingTwiceAppendsASecondCopy)
{
    CheckListContainer c{QString()};
    Load(c, kEngineStart);
    Load(c, kEngineStart);
    EXPECT_EQ(Dump(c), (QStringList{"Engine start: Fuel pump/ON, A & B/<5>",
                                    "Engine start: Fuel pump/ON, A & B/<5>"}));
}

std::string Nested(int levels)
{
    std::string text = "<doc>";
    for (int i = 1; i < levels; ++i)
        text += "<a>";
    for (int i = 1; i < levels; ++i)
        text += "</a>";
    return text + "</doc>";
}

TEST(ParseXml, DeepNestingIsRefusedBeforeParsing)
{
    CheckListContainer c{QString()};
    c.AddList(QStringLiteral("kept"));
    Load deep(c, Nested(100000));
    EXPECT_FALSE(deep.ok);
    EXPECT_EQ(deep.stderrText, "Xml nesting is deeper than 256 levels.\n");
    EXPECT_EQ(Dump(c), QStringList{"kept: "});

    Load over(c, Nested(257));
    EXPECT_FALSE(over.ok);
    Load limit(c, Nested(256));
    EXPECT_TRUE(limit.ok);
    EXPECT_EQ(limit.stderrText, "");
}

TEST(ParseXml, TraceFilteredOffStillLoads)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    CheckListContainer c{QString()};
    Load load(c, kEngineStart);
    QLoggingCategory::setFilterRules(QString());
    EXPECT_TRUE(load.ok);
    EXPECT_TRUE(load.trace.isEmpty());
    EXPECT_EQ(c.GetItemCount(0), 2);
}

// The values are read into a 212-byte buffer that grows when a value does not fit: 211 bytes
// and the terminator fill it exactly.
TEST(ParseXml, ValuesAroundTheReadBufferSizeLoadWhole)
{
    // Each ending as written in the file and as the bytes it reads back as; the references'
    // source text straddles the buffer's end while the value itself is shorter.
    const struct
    {
        const char* written;
        const char* read;
    } endings[] = {
        {"z", "z"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"\xF0\x9F\x9A\x80", "\xF0\x9F\x9A\x80"},
        {"\xE2\x82\xACz", "\xE2\x82\xACz"},
        {"\xF0\x9F\x9A\x80zz", "\xF0\x9F\x9A\x80zz"},
        {"&#x20AC;", "\xE2\x82\xAC"},
        {"&amp;", "&"},
        {"&amp;z", "&z"},
        {"&amp;zzz", "&zzz"},
        {"&amp;zzzzz", "&zzzzz"},
    };
    for (const std::size_t length : {210u, 211u, 212u, 213u}) {
        for (const auto& ending : endings) {
            const std::string front(length - std::strlen(ending.read), 'a');
            const std::string value = front + ending.written;
            const QString expected = QString::fromStdString(front + ending.read);
            ASSERT_EQ(expected.toUtf8().size(), static_cast<int>(length));
            CheckListContainer c{QString()};
            Load load(c, "<doc><list><name>" + value + "</name><item><name>" + value +
                             "</name><action>" + value + "</action></item></list></doc>");
            ASSERT_TRUE(load.ok);
            EXPECT_EQ(c.GetListName(0), expected) << length << " bytes ending " << ending.read;
            EXPECT_EQ(c.GetItemText(0, 0), expected) << length << " bytes ending " << ending.read;
            EXPECT_EQ(c.GetItemAction(0, 0), expected) << length << " bytes ending " << ending.read;
        }
    }
}

TEST(ParseXml, EachValueLoadsWholeAfterTheBufferHasGrown)
{
    // Every value is one byte longer than the one before (209, 210, ... 223 bytes), so each
    // meets the end of the buffer as the values before it left it; a short value after the long
    // ones is not cut either.
    std::string text = "<doc><list><name>" + std::string(209, 'n') + "</name>";
    for (std::size_t length = 210; length < 224; length += 2)
        text += "<item><name>" + std::string(length - 1, 'i') + "&amp;</name><action>" +
                std::string(length + 1, 'a') + "</action></item>";
    text += "<item><name>short</name><action></action></item></list></doc>";
    CheckListContainer c{QString()};
    Load load(c, text);
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(c.GetListName(0), QString(209, QLatin1Char('n')));
    ASSERT_EQ(c.GetItemCount(0), 8);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(c.GetItemText(0, i), QString(209 + 2 * i, QLatin1Char('i')) + QLatin1Char('&'))
            << i;
        EXPECT_EQ(c.GetItemAction(0, i), QString(211 + 2 * i, QLatin1Char('a'))) << i;
    }
    EXPECT_EQ(c.GetItemText(0, 7), QStringLiteral("short"));
    EXPECT_EQ(c.GetItemAction(0, 7), QString());
}

} // namespace
