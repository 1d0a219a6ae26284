#include "Common/CheckList/CheckListClipboard.h"
#include "Common/CheckList/LoadLimits.h"

#include <QMimeData>
#include <QStringList>

#include <gtest/gtest.h>

using zuchecklist::CheckListClipboard;
using zuchecklist::CheckListPiece;

namespace {

// A piece as lines: "- text|action" for an item outside the lists, "# name" for a list and
// "  text|action" for each of its items.
QString Shape(const CheckListPiece& piece)
{
    QStringList lines;
    for (const auto& item : piece.items)
        lines << QStringLiteral("- ") + item.m_text + QLatin1Char('|') + item.m_action;
    for (const auto& list : piece.lists) {
        lines << QStringLiteral("# ") + list.m_name;
        for (const auto& item : list.m_items)
            lines << QStringLiteral("  ") + item.m_text + QLatin1Char('|') + item.m_action;
    }
    return lines.join(QLatin1Char('\n'));
}

const QString kOwnType = QStringLiteral("application/x-test-checklist+xml");

QString TooManyLines()
{
    using namespace zuchecklist::limits;
    return QStringLiteral("x\n").repeated(static_cast<int>(kMemoryBudgetBytes / kCostPerRow + 1));
}

// Each text read as a paste, from another program's plain text or from the own XML form, and
// what it gives: the piece, the characters left out, the plain text it is written back as,
// and the same piece through the own form.
TEST(CheckListClipboard, TextsGiveTheirListsAndItemsBothWays)
{
    const QString emoji = QStringLiteral("\U0001F600");
    const QString lone = QString(QChar(0xD800));
    const struct
    {
        QString input;
        bool xml;
        QString shape;
        int leftOut;
        const char* written; // null: the input itself
        const char* refused; // what the refusal says, in part; null when read
    } cases[] = {
        // An item is a line with a tab, split at the first.
        {"Fuel pump\tON", false, "- Fuel pump|ON", 0, nullptr, nullptr},
        {"Cell A\tCell B\tCell C", false, "- Cell A|Cell B\tCell C", 0, nullptr, nullptr},
        {"\t\nItem\t\n\tON", false, "- |\n- Item|\n- |ON", 0, nullptr, nullptr},
        // Any other line names a list, and the items that follow go into it; items before the
        // first name stay outside.
        {"Engine start\nFuel pump\tON\nMaster\tON\nEmpty", false,
         "# Engine start\n  Fuel pump|ON\n  Master|ON\n# Empty", 0, nullptr, nullptr},
        {"a\t1\nL\nb\t2", false, "- a|1\n# L\n  b|2", 0, nullptr, nullptr},
        // Blank lines are skipped; Windows', old Macs' and Unix line ends all end a line.
        {"L\r\n\r\n   \r\nx\t1\ry\t2\n\n", false, "# L\n  x|1\n  y|2", 0, "L\nx\t1\ny\t2", nullptr},
        // The paper form: three dots or more, spaced as typeset or not, or an ellipsis, between
        // two texts; the blanks next to them dropped, the others kept.
        {"Fuel selector ........ BOTH", false, "- Fuel selector|BOTH", 0, "Fuel selector\tBOTH",
         nullptr},
        {" Flaps . . . . UP ", false, "-  Flaps|UP ", 0, " Flaps\tUP ", nullptr},
        {"Mixture\u2026RICH", false, "- Mixture|RICH", 0, "Mixture\tRICH", nullptr},
        {"Wait... go ... now", false, "- Wait|go ... now", 0, "Wait\tgo ... now", nullptr},
        {"Version 1..2\nLoading...\n...and more\n. . x", false,
         "# Version 1..2\n# Loading...\n# ...and more\n# . . x", 0, nullptr, nullptr},
        // Texts whole, however long, with their blanks; characters XML does not allow left out.
        {QString(100, QLatin1Char('n')) + "\n  " + QString(90, QLatin1Char('t')) + "\t" +
             QString(30, QLatin1Char('a')) + "  ",
         false,
         "# " + QString(100, QLatin1Char('n')) + "\n    " + QString(90, QLatin1Char('t')) + "|" +
             QString(30, QLatin1Char('a')) + "  ",
         0, nullptr, nullptr},
        {emoji + "\t\u2713", false, "- " + emoji + "|\u2713", 0, nullptr, nullptr},
        {"A\x01"
         "B\t" +
             lone + "C\uFFFF\n\x02",
         false, "- AB|C", 4, "AB\tC", nullptr},
        // The own form keeps what plain text cannot: line breaks, tabs, empty names; written
        // as text, they become blanks.
        {"<doc><item><name>a&#9;b</name><action>c&#10;d</action></item>"
         "<list><name>x&#9;y&#10;z</name></list><list><name></name></list></doc>",
         true, "- a\tb|c\nd\n# x\ty\nz\n# ", 0, "a b\tc d\nx y z\n", nullptr},
        {"<doc><list><name>Before start</name><item><name>Seats &amp; belts</name>"
         "<action>LOCKED</action></item></list></doc>",
         true, "# Before start\n  Seats & belts|LOCKED", 0, "Before start\nSeats & belts\tLOCKED",
         nullptr},
        // What Open refuses, a paste refuses, and the same memory budget bounds plain text.
        {"<doc><list><name>x</name></doc>", true, "", 0, "", "not well-formed"},
        {"<doc><list><name>&#1;</name></list></doc>", true, "", 0, "", "not allow"},
        {TooManyLines(), false, "", 0, "", "Pasting it would need more than 1792 MiB of memory."},
    };
    for (const auto& c : cases) {
        const std::string where = c.input.left(60).toStdString();
        const CheckListClipboard::Read read = c.xml ? CheckListClipboard::FromXml(c.input.toUtf8())
                                                    : CheckListClipboard::FromText(c.input);
        EXPECT_EQ(Shape(read.piece), c.shape) << where;
        EXPECT_EQ(read.leftOut, c.leftOut) << where;
        EXPECT_EQ(read.outcome.Ok(), c.refused == nullptr) << where;
        if (c.refused) {
            EXPECT_TRUE(read.outcome.sentence.contains(QLatin1String(c.refused)))
                << where << ": " << read.outcome.sentence.toStdString();
            continue;
        }

        QMimeData both;
        CheckListClipboard::Put(read.piece, kOwnType, &both);
        EXPECT_EQ(both.text(), c.written ? QString::fromUtf8(c.written) : c.input) << where;
        // The own form, where there is one, is what a paste reads.
        both.setText(QStringLiteral("other\tprogram"));
        const CheckListClipboard::Read again = CheckListClipboard::Take(both, kOwnType);
        EXPECT_EQ(Shape(again.piece), c.shape) << where;
        EXPECT_TRUE(again.outcome.Ok()) << where;
    }
}

} // namespace
