// The checklists in examples/ must load, stay within what the dialogs let a user type, and come
// back byte for byte when saved again: they document the file format.

#include "Common/CheckList/CheckListContainer.h"
#include "support/Files.h"
#include "support/MessageCapture.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

using zuchecklist::CheckListContainer;

namespace {

// The maximum lengths of the list name, item text and action text fields of the dialogs.
constexpr int kMaxListName = 80;
constexpr int kMaxItemText = 70;
constexpr int kMaxActionText = 16;

struct ItemSample
{
    int list;
    int item;
    const char* text; // UTF-8, decoded
    const char* action;
};

struct Example
{
    const char* file;
    std::vector<const char*> listNames; // every list, in order
    std::vector<int> itemCounts;        // per list
    std::vector<ItemSample> items;
};

// Lets the test names show the file.
void PrintTo(const Example& example, std::ostream* out)
{
    *out << example.file;
}

const std::vector<Example> kExamples = {
    {"preflight.xml",
     {"Before engine start", "Engine start", "Run-up"},
     {6, 8, 6},
     {
         {0, 1, "Seats & belts", "ADJUSTED, LOCKED"},
         {0, 5, "Brakes", "TEST & HOLD"},
         {1, 5, "Propeller area", "\"CLEAR!\""},
         {2, 1, "Magnetos: drop < 125 RPM each, difference < 50 RPM", "CHECK"},
         {2, 3, "Suction gauge", "4.5–5.4 in Hg"},
         {2, 5, "Throttle", "IDLE"},
     }},
    {"sailing-departure.xml",
     {"Avant l'appareillage", "Manœuvre de port", "Au large"},
     {6, 3, 3},
     {
         {0, 0, "Météo et bulletin côtier", "CONSULTÉS"},
         {0, 2, "Gilets & harnais pour tout l'équipage", "PORTÉS"},
         {1, 2, "Défenses rentrées", "À BORD"},
         {2, 1, "Feux de navigation (vent > 25 nœuds : 2ᵉ ris)", "SELON HEURE"},
     }},
    {"kitchen-closing.xml",
     {"Kitchen closing", "Κλείσιμο κουζίνας", "Front of house"},
     {6, 4, 4},
     {
         {0, 1, "Gas hobs & ovens", "OFF"},
         {0, 3, "Leftovers labelled <date>", "DONE"},
         {1, 0, "Φούρνοι και εστίες", "ΣΒΗΣΤΑ"},
         {1, 1, "Ψυγεία κάτω από 5 °C", "ΕΛΕΓΧΟΣ"},
         {2, 3, "Alarm", "SET"},
     }},
};

QString ExamplePath(const char* file)
{
    return QStringLiteral(VELLORIN_EXAMPLES "/") + QLatin1String(file);
}

class ExamplesTest : public ::testing::TestWithParam<Example>
{
};

TEST_P(ExamplesTest, LoadsFitsTheDialogsAndSavesBackByteForByte)
{
    const Example& example = GetParam();
    const QByteArray original = support::ReadAll(ExamplePath(example.file));
    ASSERT_NE(original, support::kUnreadable) << "cannot read " << example.file;

    CheckListContainer c(ExamplePath(example.file));
    QByteArray buffer = original; // parsed in place; QByteArray keeps a NUL after the data
    bool loaded = false;
    {
        // The load trace goes elsewhere, so that standard error holds only diagnostics.
        support::MessageCapture trace;
        testing::internal::CaptureStderr();
        loaded = c.ParseXML(buffer.data());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    ASSERT_TRUE(loaded);

    ASSERT_EQ(c.GetListCount(), static_cast<int>(example.listNames.size()));
    for (int l = 0; l < c.GetListCount(); ++l) {
        SCOPED_TRACE("list " + std::to_string(l));
        EXPECT_EQ(c.GetListName(l), QString::fromUtf8(example.listNames[l]));
        EXPECT_EQ(c.GetItemCount(l), example.itemCounts[l]);
        EXPECT_LE(c.GetListName(l).size(), kMaxListName) << c.GetListName(l).toStdString();
        for (int i = 0; i < c.GetItemCount(l); ++i) {
            EXPECT_LE(c.GetItemText(l, i).size(), kMaxItemText)
                << c.GetItemText(l, i).toStdString();
            EXPECT_LE(c.GetItemAction(l, i).size(), kMaxActionText)
                << c.GetItemAction(l, i).toStdString();
        }
    }
    for (const ItemSample& s : example.items) {
        SCOPED_TRACE("list " + std::to_string(s.list) + ", item " + std::to_string(s.item));
        EXPECT_EQ(c.GetItemText(s.list, s.item), QString::fromUtf8(s.text));
        EXPECT_EQ(c.GetItemAction(s.list, s.item), QString::fromUtf8(s.action));
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString saved = dir.filePath(QLatin1String(example.file));
    c.SetFileName(saved);
    ASSERT_TRUE(c.WriteXML().Ok());
    EXPECT_EQ(support::ReadAll(saved).toStdString(), original.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Examples, ExamplesTest, ::testing::ValuesIn(kExamples),
                         [](const testing::TestParamInfo<Example>& info) {
                             std::string name;
                             for (const char* p = info.param.file; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// A checklist added to the folder without a row above would go untested.
TEST(ExamplesFolder, HoldsExactlyTheTestedChecklists)
{
    QStringList tested;
    for (const Example& example : kExamples)
        tested << QLatin1String(example.file);
    tested.sort();
    const QStringList present =
        QDir(QStringLiteral(VELLORIN_EXAMPLES)).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(present, tested);
}

} // namespace
