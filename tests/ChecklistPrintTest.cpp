// Printed checklists read back as the paper reads: each document of the table goes to a PDF on
// A4 and on A5, and pdftotext -layout must read the table's lines on their pages. Every page
// must end in its footer, and the whole text of the document must come out in order, nothing
// cut or lost, beside the dots, the footers and the repeated names.

#include "app/ChecklistPrint.h"
#include "Common/CheckList/CheckListContainer.h"
#include "support/Files.h"

#include <QDate>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <vector>

using zuchecklist::CheckListContainer;

namespace {

struct List
{
    QString name;
    std::vector<std::pair<QString, QString>> items; // text, action
};

// Items "<item> 1" .. "<item> <count>" with the actions "DONE 1" ..
List Numbered(const char* name, const char* item, int count)
{
    List list{QString::fromUtf8(name), {}};
    for (int i = 1; i <= count; ++i)
        list.items.push_back({QStringLiteral("%1 %2").arg(QLatin1String(item)).arg(i),
                              QStringLiteral("DONE %1").arg(i)});
    return list;
}

// A line pdftotext must read on a page of each paper (from 1).
struct Line
{
    int pageA4;
    int pageA5;
    const char* pattern;
};

struct Case
{
    const char* what;
    std::vector<List> lists;
    int pagesA4;
    int pagesA5;
    std::vector<Line> lines;
};

const QString kTitle = QStringLiteral("engine start.xml");
// Words of a few letters: the text wraps at spaces.
const QString kLongItem = QStringLiteral("Check that every cabin door and every baggage door is "
                                         "closed, latched and locked before taxi");
const QString kLongAction =
    QStringLiteral("SET TO THE TOWER FREQUENCY GIVEN ON THE ATIS AND CHECKED TWICE");
// One word wider than a line, longer than a piece of the layout: it wraps between characters.
const QString kHugeWord = QStringLiteral("abcdefghij").repeated(300);

std::vector<Case> Cases()
{
    return {
        {"a short list, an empty one and an item without an action",
         {{QStringLiteral("Before start"),
           {{QStringLiteral("Fuel selector"), QStringLiteral("BOTH")},
            {QStringLiteral("Mixture"), QStringLiteral("RICH")},
            {QStringLiteral("Parking brake"), QStringLiteral("SET")}}},
          {QStringLiteral("Empty"), {}},
          {QStringLiteral("Notes"), {{QStringLiteral("Remarks"), QString()}}}},
         1,
         1,
         {{1, 1, "^Before start$"},
          {1, 1, "^Fuel selector \\.{3,} BOTH$"},
          {1, 1, "^Mixture \\.{3,} RICH$"},
          {1, 1, "^Parking brake \\.{3,} SET$"},
          {1, 1, "^Empty$"},
          {1, 1, "^Notes$"},
          {1, 1, "^Remarks$"}}},
        {"an item whose text wraps, and one of two lines",
         {{QStringLiteral("Doors"),
           {{kLongItem, QStringLiteral("CLOSED")},
            {QStringLiteral("Windows\nand hatches"), QStringLiteral("SHUT")}}}},
         1,
         1,
         {{1, 1, "^Check that every cabin [^.]+$"},
          {1, 1, "^\\S.* taxi \\.{3,} CLOSED$"},
          {1, 1, "^Windows$"},
          {1, 1, "^and hatches \\.{3,} SHUT$"}}},
        {"an action that wraps at the right",
         {{QStringLiteral("Radio"), {{QStringLiteral("Radio"), kLongAction}}}},
         1,
         1,
         {{1, 1, "^Radio \\.{3,} SET TO THE [A-Z ]+$"}, {1, 1, "^ {20,}[A-Z ]+ TWICE$"}}},
        {"a list longer than a page",
         {Numbered("Long list", "Step", 80)},
         3,
         4,
         {{1, 1, "^Long list$"},
          {1, 1, "^Step 23 \\.{3,} DONE 23$"},
          {1, 2, "^Step 24 \\.{3,} DONE 24$"},
          {1, 2, "^Step 35 \\.{3,} DONE 35$"},
          {2, 2, "^Long list \\(continued\\)$"},
          {2, 2, "^Step 36 \\.{3,} DONE 36$"},
          {2, 2, "^Step 46 \\.{3,} DONE 46$"},
          {2, 3, "^Step 47 \\.{3,} DONE 47$"},
          {3, 3, "^Long list \\(continued\\)$"},
          {3, 4, "^Long list \\(continued\\)$"},
          {3, 4, "^Step 80 \\.{3,} DONE 80$"}}},
        {"a list that would straddle a page break moves to the next page whole",
         {Numbered("First", "One", 14), Numbered("Second", "Two", 14),
          Numbered("Third", "Three", 14)},
         2,
         3,
         {{1, 1, "^One 14 \\.{3,} DONE 14$"},
          {1, 2, "^Second$"},
          {1, 2, "^Two 14 \\.{3,} DONE 14$"},
          {2, 3, "^Third$"},
          {2, 3, "^Three 1 \\.{3,} DONE 1$"}}},
        {"a word longer than lines and pages wraps between characters",
         {{QStringLiteral("Huge"), {{kHugeWord, QStringLiteral("READ")}}}},
         2,
         4,
         {{1, 1, "^Huge$"},
          {1, 1, "^(abcdefghij)+[a-j]*$"},
          {2, 2, "^Huge \\(continued\\)$"},
          {2, 4, "^Huge \\(continued\\)$"},
          {2, 4, "^[a-j]+ \\.{3,} READ$"}}},
        {"Greek, CJK, right-to-left scripts, characters beyond the basic plane",
         {{QStringLiteral("Έλεγχος"),
           {{QStringLiteral("Καύσιμα"), QStringLiteral("ΕΛΕΓΧΟΣ")},
            {QStringLiteral("检查燃油"), QStringLiteral("確認済み")},
            {QStringLiteral("בדוק דלק"), QStringLiteral("OK")},
            {QStringLiteral("افحص الوقود"), QStringLiteral("OK")},
            {QStringLiteral("Gothic \U00010348 and \U0001D400 bold"), QStringLiteral("SEEN")}}}},
         1,
         1,
         {{1, 1, "^Έλεγχος$"},
          {1, 1, "^Καύσιμα \\.{3,} ΕΛΕΓΧΟΣ$"},
          {1, 1, "^检查燃油 \\.{3,} 確認済み$"},
          // pdftotext reads a right-to-left text after a blank, and the dots right after it.
          {1, 1, "^ ?בדוק דלק ?\\.{3,} OK$"},
          {1, 1, "^ ?افحص الوقود ?\\.{3,} OK$"},
          {1, 1, "^Gothic +and +bold \\.{3,} SEEN$"}}},
        {"an empty document", {}, 0, 0, {}},
    };
}

// What pdftotext reads as a reader of the paper would: ligatures and the presentation forms of
// Arabic as the letters they are, without the marks it puts around right-to-left text.
QString Reading(const QString& text)
{
    QString plain = text.normalized(QString::NormalizationForm_KC);
    plain.remove(QRegularExpression(QStringLiteral("[\u202A-\u202E]")));
    return plain;
}

// What pdftotext reads from 'pdf' in 'mode' (-layout, -tsv); 'error' set where it failed.
QString PdfToText(const QString& pdf, const char* mode, QString* error)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QLatin1String(mode), QStringLiteral("-enc"),
                                                QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        *error += QStringLiteral("pdftotext: ") + process.errorString() +
                  QString::fromUtf8(process.readAllStandardError());
        process.kill();
        process.waitForFinished();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The lines of each page, without blank ones, from pdftotext -layout.
std::vector<QStringList> Pages(const QString& layout)
{
    std::vector<QStringList> pages;
    QStringList texts = Reading(layout).split(QLatin1Char('\f'));
    texts.removeLast(); // what follows the last page's form feed
    for (const QString& text : texts) {
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const QString& line) { return line.trimmed().isEmpty(); }),
                    lines.end());
        pages.push_back(lines);
    }
    return pages;
}

// Of each page, in points: the right edges of the lines with dots, and of its last line, the
// footer, from the boxes of the words in pdftotext -tsv.
struct RightEdges
{
    std::vector<double> dotted;
    double footer = 0;
};

std::vector<RightEdges> Edges(const QString& tsv)
{
    std::vector<RightEdges> pages;
    double right = 0;
    bool dotted = false;
    const auto endLine = [&] {
        if (dotted)
            pages.back().dotted.push_back(right);
        if (right > 0)
            pages.back().footer = right;
        right = 0;
        dotted = false;
    };
    for (const QString& row : tsv.split(QLatin1Char('\n'))) {
        const QStringList field = row.split(QLatin1Char('\t'));
        if (field.size() < 12)
            continue;
        const QString& text = field[11];
        if (text == QLatin1String("###PAGE###")) {
            if (!pages.empty())
                endLine();
            pages.emplace_back();
        } else if (text == QLatin1String("###LINE###")) {
            endLine();
        } else if (field[0] == QLatin1String("5")) {
            right = std::max(right, field[6].toDouble() + field[8].toDouble());
            dotted = dotted || text.startsWith(QLatin1String("..."));
        }
    }
    if (!pages.empty())
        endLine();
    return pages;
}

// The characters of a text but its blanks, as the reading gives them; with 'supplementary'
// false, none beyond the basic plane.
QString Ink(QString text, bool supplementary = true)
{
    if (!supplementary)
        text.remove(QRegularExpression(QStringLiteral("[\\x{10000}-\\x{10FFFF}]")));
    QString ink;
    for (const QChar c : Reading(text)) {
        if (!c.isSpace())
            ink += c;
    }
    return ink;
}

class ChecklistPrintTest : public ::testing::TestWithParam<QPageSize::PageSizeId>
{
};

TEST_P(ChecklistPrintTest, ReadsAsTheTableSays)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is missing: install poppler-utils (tools/deps.sh tests does)";
    ASSERT_TRUE(QRawFont::fromFont(QFont(), QFontDatabase::SimplifiedChinese)
                    .supportsCharacter(QChar(0x68C0)))
        << "no font has Chinese characters: install fonts-wqy-microhei (tools/deps.sh does)";
    const bool a4 = GetParam() == QPageSize::A4;
    const QRegularExpression leader(QStringLiteral("\\.{3,}"));
    support::TempFolder folder;
    int number = 0;
    for (const Case& test : Cases()) {
        SCOPED_TRACE(test.what);
        CheckListContainer document(kTitle);
        QString text; // everything the document says, in order
        for (const List& list : test.lists) {
            document.AddList(list.name);
            text += list.name;
            for (const auto& item : list.items) {
                document.AddItem(item.first, item.second, document.GetListCount() - 1);
                text += item.first + item.second;
            }
        }
        const QString pdf = folder.Path(QStringLiteral("%1.pdf").arg(++number));
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        int printed;
        {
            QPdfWriter writer(pdf);
            writer.setPageLayout(QPageLayout(QPageSize(GetParam()), QPageLayout::Portrait,
                                             QMarginsF(kChecklistMarginMm, kChecklistMarginMm,
                                                       kChecklistMarginMm, kChecklistMarginMm),
                                             QPageLayout::Millimeter));
            printed = PrintChecklist(document, &writer, kTitle);
        }
        const int pages = a4 ? test.pagesA4 : test.pagesA5;
        EXPECT_EQ(printed, pages);
        if (pages == 0) {
            EXPECT_FALSE(QFile::exists(pdf)) << "a page was begun";
            continue;
        }
        QString error;
        const std::vector<QStringList> read = Pages(PdfToText(pdf, "-layout", &error));
        const std::vector<RightEdges> edges = Edges(PdfToText(pdf, "-tsv", &error));
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_EQ(static_cast<int>(read.size()), pages);
        ASSERT_EQ(static_cast<int>(edges.size()), pages);

        // The footers; the actions after dots end at the right margin, as the footer's date does;
        // a page repeats the name of the list it goes on with; and what is left of the pages
        // without footers, repeated names and dots.
        QString printedText;
        QString list; // the name of the list the text is in
        for (int p = 0; p < pages; ++p) {
            QStringList lines = read[p];
            const QRegularExpression footer(
                QStringLiteral("^%1 +Page %2 of %3 +(%4|%5)$")
                    .arg(QRegularExpression::escape(kTitle))
                    .arg(p + 1)
                    .arg(pages)
                    .arg(today, QDate::currentDate().toString(Qt::ISODate)));
            EXPECT_TRUE(footer.match(lines.value(lines.size() - 1)).hasMatch())
                << "page " << p + 1 << " ends in: " << lines.value(lines.size() - 1).toStdString();
            lines.removeLast();
            for (const double right : edges[p].dotted)
                EXPECT_NEAR(right, edges[p].footer, 0.5) << "an action off the right margin";
            if (p > 0 && lines.value(0).endsWith(QLatin1String(" (continued)"))) {
                EXPECT_EQ(lines.takeFirst().toStdString(), (list + " (continued)").toStdString());
            }
            for (const QString& line : lines) {
                if (std::any_of(test.lists.begin(), test.lists.end(),
                                [&](const List& named) { return named.name == line; }))
                    list = line;
                printedText += QString(line).replace(leader, QStringLiteral(" "));
            }
        }
        // The toolkit's PDF maps no glyph beyond the basic plane back to its character.
        EXPECT_EQ(Ink(printedText).toStdString(), Ink(text, false).toStdString());

        // The table's lines, each on its page; their order is the text's, above.
        for (const Line& expected : test.lines) {
            const QRegularExpression pattern(QString::fromUtf8(expected.pattern));
            const QStringList& page = read.at((a4 ? expected.pageA4 : expected.pageA5) - 1);
            EXPECT_TRUE(
                std::any_of(page.begin(), page.end(),
                            [&](const QString& line) { return pattern.match(line).hasMatch(); }))
                << "not on page " << (a4 ? expected.pageA4 : expected.pageA5) << ": "
                << expected.pattern;
        }
        if (HasFailure()) {
            for (int p = 0; p < pages; ++p)
                std::printf("-- page %d:\n%s\n", p + 1,
                            qPrintable(read[p].join(QLatin1Char('\n'))));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Papers, ChecklistPrintTest,
                         ::testing::Values(QPageSize::A4, QPageSize::A5));

} // namespace
