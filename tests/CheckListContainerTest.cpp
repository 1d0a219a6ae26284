#include "Common/CheckList/CheckListContainer.h"

#include <QStringList>

#include <utility>

#include <gtest/gtest.h>

using zuchecklist::CheckListContainer;

namespace {

QStringList Items(const CheckListContainer& c, int list)
{
    QStringList texts;
    for (int i = 0; i < c.GetItemCount(list); ++i)
        texts << c.GetItemText(list, i) + QLatin1Char('/') + c.GetItemAction(list, i);
    return texts;
}

QStringList Lists(const CheckListContainer& c)
{
    QStringList names;
    for (int l = 0; l < c.GetListCount(); ++l)
        names << c.GetListName(l);
    return names;
}

CheckListContainer WithItems(const QStringList& texts)
{
    CheckListContainer c(QStringLiteral("x.xml"));
    c.AddList(QStringLiteral("L"));
    for (const QString& t : texts)
        c.AddItem(t, t.toUpper(), 0);
    return c;
}

TEST(CheckListContainer, NewContainerIsEmptyAndNamed)
{
    CheckListContainer c(QStringLiteral("CheckList.xml"));
    EXPECT_EQ(c.GetListCount(), 0);
    EXPECT_EQ(c.GetItemCount(0), 0);
    EXPECT_EQ(c.GetListName(0), QString());
    EXPECT_EQ(c.GetFileName(), QStringLiteral("CheckList.xml"));
    c.SetFileName(QStringLiteral("other.xml"));
    EXPECT_EQ(c.GetFileName(), QStringLiteral("other.xml"));
}

TEST(CheckListContainer, IndicesOutOfRangeOnEitherSideAreIgnored)
{
    CheckListContainer c{QString()};
    c.AddList(QStringLiteral("X"));
    c.AddItem(QStringLiteral("a"), QStringLiteral("A"), 0);

    for (int bad : {-1, 1, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(c.GetListName(bad), QString()) << bad;
        EXPECT_EQ(c.GetItemCount(bad), 0) << bad;
        EXPECT_EQ(c.GetItemText(bad, 0), QString()) << bad;
        EXPECT_EQ(c.GetItemText(0, bad), QString()) << bad;
        EXPECT_EQ(c.GetItemAction(0, bad), QString()) << bad;
        c.SetListName(QStringLiteral("changed"), bad);
        c.SetItem(QStringLiteral("changed"), QStringLiteral("changed"), 0, bad);
        c.SetItem(QStringLiteral("changed"), QStringLiteral("changed"), bad, 0);
        c.AddItem(QStringLiteral("added"), QString(), bad);
        c.DeleteItem(0, bad);
        c.DeleteItem(bad, 0);
        c.DeleteList(bad);
        c.MoveItem(bad, 0, 0);
        c.MoveItem(0, bad, 0);
        c.MoveList(bad, 0);
        c.MoveList(0, bad);
        EXPECT_FALSE(c.TakeItem(0, bad) || c.TakeItem(bad, 0) || c.TakeList(bad)) << bad;
        EXPECT_FALSE(c.GetList(bad)) << bad;
        // A range that starts or reaches past the end takes nothing.
        const int tooMany = bad == 1 ? 2 : bad;
        for (const auto& [at, count] : {std::pair{bad, 1}, {0, tooMany}, {bad, tooMany}}) {
            EXPECT_TRUE(c.TakeLists(at, count).empty() && c.TakeItems(0, at, count).empty() &&
                        c.TakeItems(bad, 0, 1).empty())
                << at << " " << count;
        }
        const int past = bad == 1 ? 2 : bad; // the count itself is a place to insert at
        c.InsertLists(past, {{QStringLiteral("inserted"), {}}});
        c.InsertItems(0, past, {{QStringLiteral("inserted"), QString()}});
        c.InsertItems(bad, 0, {{QStringLiteral("inserted"), QString()}});
    }
    EXPECT_EQ(Lists(c), QStringList{"X"});
    EXPECT_EQ(Items(c, 0), QStringList{"a/A"});
}

TEST(CheckListContainer, DeleteListClosesTheGap)
{
    CheckListContainer c{QString()};
    for (const char* name : {"X", "Y", "Z"})
        c.AddList(QLatin1String(name));
    c.AddItem(QStringLiteral("z"), QString(), 2);
    c.DeleteList(1);
    EXPECT_EQ(Lists(c), (QStringList{"X", "Z"}));
    EXPECT_EQ(Items(c, 1), QStringList{"z/"});
}

TEST(CheckListContainer, SetAndDeleteItemAddressOnlyTheirEntry)
{
    CheckListContainer c = WithItems({"one", "two", "one"});
    c.AddList(QStringLiteral("L")); // same name, own position
    c.AddItem(QStringLiteral("other"), QString(), 1);

    c.SetItem(QString(), QString(), 0, 1); // emptied, not removed
    EXPECT_EQ(Items(c, 0), (QStringList{"one/ONE", "/", "one/ONE"}));
    c.DeleteItem(0, 0);
    EXPECT_EQ(Items(c, 0), (QStringList{"/", "one/ONE"}));
    EXPECT_EQ(Items(c, 1), QStringList{"other/"});
    c.SetListName(QStringLiteral("M"), 1);
    EXPECT_EQ(Lists(c), (QStringList{"L", "M"}));
}

TEST(CheckListContainer, MoveItemBySmallAndLargeOffsets)
{
    CheckListContainer c = WithItems({"one", "two", "three"});
    c.MoveItem(0, 1, -1);
    EXPECT_EQ(Items(c, 0), (QStringList{"two/TWO", "one/ONE", "three/THREE"}));

    c = WithItems({"one", "two", "three", "four"});
    c.MoveItem(0, 0, +2);
    EXPECT_EQ(Items(c, 0), (QStringList{"two/TWO", "three/THREE", "one/ONE", "four/FOUR"}));
    c.MoveItem(0, 3, -3);
    EXPECT_EQ(Items(c, 0), (QStringList{"four/FOUR", "two/TWO", "three/THREE", "one/ONE"}));
    c.MoveItem(0, 1, 0);
    EXPECT_EQ(Items(c, 0), (QStringList{"four/FOUR", "two/TWO", "three/THREE", "one/ONE"}));
}

TEST(CheckListContainer, MoveItemOutsideTheListChangesNothing)
{
    const QStringList start{"one/ONE", "two/TWO", "three/THREE"};
    CheckListContainer c = WithItems({"one", "two", "three"});
    c.MoveItem(0, 0, -1);
    c.MoveItem(0, 2, +1);
    c.MoveItem(0, 0, +3);
    c.MoveItem(0, 3, -1); // valid target, but no item 3
    c.MoveItem(0, 1, 2147483647);
    c.MoveItem(0, 1, -2147483647 - 1);
    EXPECT_EQ(Items(c, 0), start);
}

} // namespace
