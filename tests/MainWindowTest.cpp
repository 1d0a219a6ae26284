#include "app/BoundedTextDelegate.h"
#include "app/ClipboardCommand.h"
#include "app/PrintCommand.h"
#include "support/Files.h"
#include "support/GuiDriver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <utility>

using zuchecklist::CheckListContainer;

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest() : tester(window) {}

    // Loads a document straight into the model and shows it, as Open does.
    void Load(std::initializer_list<int> itemCounts)
    {
        gui::FillModel(tester.Model(), itemCounts);
        window.RebuildTree();
    }
    void Select(int list, int item = -1)
    {
        QTreeWidgetItem* row = tree()->topLevelItem(list);
        tree()->setCurrentItem(item < 0 ? row : row->child(item));
    }
    // Clicks a button whose command should open a dialog, answered by 'answer'.
    void ClickWithDialog(const char* button, ModalAnswerer::Answer answer)
    {
        answerer.Arm(std::move(answer));
        ASSERT_TRUE(gui::Click(&window, button));
        EXPECT_TRUE(answerer.Answered()) << button << " showed no dialog";
    }
    void ClickWithoutDialog(const char* button)
    {
        const int before = answerer.Unexpected();
        ASSERT_TRUE(gui::Click(&window, button));
        EXPECT_EQ(answerer.Unexpected(), before) << button << " showed a dialog";
    }
    // Answers Clear's warning with 'button' (Escape: the key) and keeps its text.
    ModalAnswerer::Answer AnswerQuestion(QMessageBox::StandardButton button)
    {
        return [this, button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr) << "not the question";
            question = box->windowTitle() + QLatin1Char('|') + box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
            if (button == QMessageBox::Escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(button)->click();
        };
    }
    void Press(const char* keys)
    {
        QApplication::setActiveWindow(&window); // a closed dialog may have left none
        QTest::keySequence(tree(), QKeySequence(QLatin1String(keys)));
    }
    QTreeWidget* tree() const { return tester.Tree(); }
    const CheckListContainer& model() const { return tester.Model(); }
    QString Mismatch() const { return gui::CompareTreeWithModel(tree(), model()); }

    MainWindow window;
    MainWindowTester tester;
    ModalAnswerer answerer;
    QString question; // title and text of the last question answered, joined by '|'
};

const QString kQuestion =
    QStringLiteral("Warning|Changes were not saved.\nDo you want to continue and lose changes?");

TEST_F(MainWindowTest, StartsEmptyAt640x480WithItsWidgets)
{
    // Set before showing: the header then stretches its last section over the free width.
    EXPECT_EQ(tree()->columnWidth(0), 240);
    EXPECT_EQ(tree()->columnWidth(1), 220);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vellorin"));
    EXPECT_EQ(window.objectName(), QStringLiteral("MainWindow"));
    EXPECT_EQ(window.size(), QSize(640, 480));
    EXPECT_EQ(window.minimumSize(), QSize(640, 480));
    EXPECT_FALSE(window.windowIcon().isNull());

    ASSERT_NE(window.findChild<QMenuBar*>(QStringLiteral("menuBar")), nullptr);
    EXPECT_TRUE(window.menuBar()->actions().isEmpty());
    auto* toolBar = window.findChild<QToolBar*>(QStringLiteral("mainToolBar"));
    ASSERT_NE(toolBar, nullptr);
    EXPECT_TRUE(toolBar->actions().isEmpty());
    EXPECT_EQ(window.statusBar()->objectName(), QStringLiteral("statusBar"));
    EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("centralWidget")), nullptr)
        << "the placeholder central widget is replaced";

    EXPECT_EQ(tree()->columnCount(), 2);
    EXPECT_EQ(tree()->headerItem()->text(0), QStringLiteral("Name"));
    EXPECT_EQ(tree()->headerItem()->text(1), QStringLiteral("Action"));
    EXPECT_EQ(tree()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_EQ(tree()->currentItem(), nullptr);

    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(model().GetFileName(), QStringLiteral("CheckList.xml"));
    EXPECT_FALSE(tester.Modified());
}

TEST_F(MainWindowTest, ButtonsSitInTheirRowsInOrder)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const char* top[] = {"Open", "Save", "Clear"};
    const char* bottom[] = {"Add List", "Add Item", "Edit", "Delete", "Up", "Down"};
    QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 9);
    auto byCaption = [&](const char* caption) -> QPushButton* {
        for (QPushButton* b : buttons)
            if (b->text() == QLatin1String(caption))
                return b;
        return nullptr;
    };
    int lastX = -1;
    for (const char* caption : top) {
        QPushButton* b = byCaption(caption);
        ASSERT_NE(b, nullptr) << caption;
        EXPECT_LT(b->mapTo(&window, QPoint()).y(), tree()->mapTo(&window, QPoint()).y());
        EXPECT_GT(b->x(), lastX);
        EXPECT_EQ(b->width(), b->sizeHint().width()) << caption << ": top row keeps left";
        lastX = b->x();
    }
    // Measured against the buttons themselves, so that it holds for any font size.
    QPushButton* clear = byCaption("Clear");
    const int freeRight = window.width() - clear->mapTo(&window, QPoint(clear->width(), 0)).x();
    EXPECT_LT(byCaption("Open")->mapTo(&window, QPoint()).x(), freeRight) << "top row keeps left";
    lastX = -1;
    int totalWidth = 0;
    for (const char* caption : bottom) {
        QPushButton* b = byCaption(caption);
        ASSERT_NE(b, nullptr) << caption;
        EXPECT_GT(b->mapTo(&window, QPoint()).y(), tree()->mapTo(&window, QPoint()).y());
        EXPECT_GT(b->x(), lastX);
        lastX = b->x();
        totalWidth += b->width();
    }
    EXPECT_GT(totalWidth, window.width() * 3 / 4) << "bottom row shares the whole width";
}

TEST_F(MainWindowTest, DeclaresTheNineSlotsInOrder)
{
    const QMetaObject* meta = window.metaObject();
    EXPECT_STREQ(meta->className(), "MainWindow");
    const char* expectedSlots[] = {"OnFileOpen()",   "OnFileSave()", "OnClearList()",
                                   "OnMoveUp()",     "OnMoveDown()", "OnDelete()",
                                   "OnInsertItem()", "OnEdit()",     "OnAddList()"};
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 9);
    for (int i = 0; i < 9; ++i) {
        const QMetaMethod method = meta->method(meta->methodOffset() + i);
        EXPECT_EQ(method.methodSignature(), QByteArray(expectedSlots[i]));
        EXPECT_EQ(method.access(), QMetaMethod::Private);
    }
}

TEST_F(MainWindowTest, RebuildMirrorsModelAndExpandsEveryList)
{
    window.RebuildTree();
    EXPECT_EQ(tree()->topLevelItemCount(), 0);

    Load({3, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1}); // eleven lists: the last carries "10"
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->topLevelItem(10)->text(2), QStringLiteral("10"));
    EXPECT_EQ(tree()->topLevelItem(1)->childCount(), 0);
    EXPECT_EQ(tree()->currentItem(), nullptr);
    for (int l = 0; l < tree()->topLevelItemCount(); ++l)
        EXPECT_TRUE(tree()->topLevelItem(l)->isExpanded()) << l;
    EXPECT_FALSE(tester.Modified());
}

// The text the tree's delegate hands to the style for a row's name.
class ShownText : public BoundedTextDelegate
{
public:
    using BoundedTextDelegate::initStyleOption;
};

QString Shown(const QTreeWidget* tree, int list)
{
    EXPECT_NE(qobject_cast<BoundedTextDelegate*>(tree->itemDelegate()), nullptr);
    QStyleOptionViewItem option;
    option.initFrom(tree);
    ShownText().initStyleOption(&option, tree->model()->index(list, 0));
    return option.text;
}

// A text its cell cuts shows whole in a tooltip where the pointer rests, up to a limit; a text
// that fits has none.
TEST_F(MainWindowTest, CutTextsShowInATooltip)
{
    const struct
    {
        QString text;
        QString tooltip; // empty: none
    } cases[] = {
        {QStringLiteral("Fuel"), QString()},
        {QStringLiteral("Fuel selector & tank valves, both wings, before start"),
         QStringLiteral("<p>Fuel selector &amp; tank valves, both wings, before start</p>")},
        {QString(5000, QLatin1Char('x')),
         QStringLiteral("<p>") + QString(BoundedTextDelegate::kTooltipCharacters, 'x') +
             QChar(0x2026) + QStringLiteral("</p>")},
    };
    for (const auto& c : cases)
        tester.Model().AddList(c.text);
    window.show();
    window.RebuildTree();
    for (int l = 0; l < static_cast<int>(std::size(cases)); ++l) {
        QToolTip::hideText();
        const QRect cell = tree()->visualRect(tree()->model()->index(l, 0));
        QHelpEvent help(QEvent::ToolTip, cell.center(),
                        tree()->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(tree()->viewport(), &help);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), cases[l].tooltip) << l;
    }
    QToolTip::hideText();
}

// Around the cut, a character outside the Basic Multilingual Plane is shown whole or not at
// all, and no other unit is left out.
TEST_F(MainWindowTest, TreeCutsLongTextsBetweenCharacters)
{
    const int cut = BoundedTextDelegate::kShownCharacters;
    const QString emoji = QStringLiteral("\U0001F600");
    QStringList texts;
    for (int lead = 0; lead < 4; ++lead)
        texts << QString(lead, QLatin1Char('a')) + emoji.repeated(cut / 2 + 2);
    texts << QString(cut - 2, QLatin1Char('a')) + emoji
          << QString(cut - 1, QLatin1Char('a')) + emoji;
    for (const QString& text : texts)
        tester.Model().AddList(text);
    window.RebuildTree();
    for (int l = 0; l < texts.size(); ++l) {
        const QString shown = Shown(tree(), l);
        const QString& text = texts[l];
        EXPECT_TRUE(text.startsWith(shown)) << l;
        EXPECT_EQ(shown.size(),
                  qMin(text.size(), text.at(cut - 1).isHighSurrogate() ? cut - 1 : cut))
            << l;
        EXPECT_FALSE(shown.back().isHighSurrogate()) << l;
    }
}

// However wide the user makes a column, the cut text still reaches its edge, so the style
// elides it there as it would the whole text. Beyond any screen, in the narrowest letter.
TEST_F(MainWindowTest, TreeShowsLongTextsAcrossAVeryWideColumn)
{
    const int wide = 8192;
    tree()->setColumnWidth(0, wide);
    const QFontMetrics metrics(tree()->font());
    QChar narrowest = QLatin1Char('!');
    for (char c = '!'; c <= '~'; ++c) {
        if (metrics.horizontalAdvance(QLatin1Char(c)) < metrics.horizontalAdvance(narrowest))
            narrowest = QLatin1Char(c);
    }
    tester.Model().AddList(QString(100000, narrowest));
    window.RebuildTree();
    EXPECT_GT(metrics.horizontalAdvance(Shown(tree(), 0)), tree()->columnWidth(0))
        << "'" << narrowest.toLatin1() << "' is " << metrics.horizontalAdvance(narrowest)
        << " px wide";
}

TEST_F(MainWindowTest, AddListAppendsAndSelectsTheNewRow)
{
    Load({1});
    Select(0, 0); // the current row does not matter
    ClickWithDialog("addListButton", [](QWidget* dialog) {
        EXPECT_EQ(dialog->findChild<QLineEdit*>("listNameEdit")->text(), "New List");
        gui::Type(dialog, "listNameEdit", QStringLiteral("Before takeoff"));
        gui::ClickOk(dialog);
    });
    EXPECT_EQ(model().GetListCount(), 2);
    EXPECT_EQ(model().GetListName(1), QStringLiteral("Before takeoff"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->currentItem(), tree()->topLevelItem(1));
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, AddListCancelledOrEscapedAddsNothingButSetsModified)
{
    ClickWithDialog("addListButton", gui::Cancel());
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(tester.Modified());

    tester.SetModified(false);
    ClickWithDialog("addListButton", [](QWidget* dialog) { gui::PressEscape(dialog); });
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, AddItemWithoutCurrentRowShowsNoDialogButSetsModified)
{
    Load({2});
    ClickWithoutDialog("addItemButton");
    EXPECT_EQ(model().GetItemCount(0), 2);
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, AddItemGoesToTheEndOfTheCurrentRowsList)
{
    Load({0, 3});
    Select(1, 1); // second of three items
    ClickWithDialog("addItemButton", [](QWidget* dialog) {
        EXPECT_EQ(dialog->findChild<QLineEdit*>("itemTextEdit")->text(), "New item");
        EXPECT_EQ(dialog->findChild<QLineEdit*>("actionTextEdit")->text(), QString());
        gui::Type(dialog, "itemTextEdit", QStringLiteral("Flaps"));
        gui::Type(dialog, "actionTextEdit", QStringLiteral("UP"));
        gui::ClickOk(dialog);
    });
    ASSERT_EQ(model().GetItemCount(1), 4);
    EXPECT_EQ(model().GetItemText(1, 3), QStringLiteral("Flaps"));
    EXPECT_EQ(model().GetItemAction(1, 3), QStringLiteral("UP"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->currentItem(), tree()->topLevelItem(1)->child(3));
    EXPECT_EQ(tree()->currentItem()->text(3), QStringLiteral("3"));

    Select(0); // a list without items gets item index 0
    ClickWithDialog("addItemButton", gui::AcceptItem(QStringLiteral("x"), QStringLiteral("y")));
    EXPECT_EQ(model().GetItemCount(0), 1);
    EXPECT_EQ(tree()->currentItem()->text(3), QStringLiteral("0"));
    EXPECT_EQ(Mismatch(), QString());
}

TEST_F(MainWindowTest, AddItemCancelledAddsNothingButSetsModified)
{
    Load({1});
    Select(0);
    ClickWithDialog("addItemButton", gui::Cancel());
    EXPECT_EQ(model().GetItemCount(0), 1);
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, EditRewritesTheCurrentRowAndItsEntryOnly)
{
    Load({2, 2, 1});
    Select(1, 1);
    ClickWithDialog("editButton", [](QWidget* dialog) {
        EXPECT_EQ(dialog->findChild<QLineEdit*>("itemTextEdit")->text(), "L1I1");
        EXPECT_EQ(dialog->findChild<QLineEdit*>("actionTextEdit")->text(), "A1");
        gui::Type(dialog, "itemTextEdit", QStringLiteral("Gear"));
        gui::Type(dialog, "actionTextEdit", QStringLiteral("DOWN"));
        gui::ClickOk(dialog);
    });
    EXPECT_EQ(model().GetItemText(1, 1), QStringLiteral("Gear"));
    EXPECT_EQ(model().GetItemAction(1, 1), QStringLiteral("DOWN"));
    EXPECT_EQ(model().GetItemText(1, 0), QStringLiteral("L1I0"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_TRUE(tester.Modified());

    tester.SetModified(false);
    Select(2); // renaming the third list
    ClickWithDialog("editButton", gui::AcceptList(QStringLiteral("Landing")));
    EXPECT_EQ(model().GetListName(2), QStringLiteral("Landing"));
    EXPECT_EQ(model().GetListName(1), QStringLiteral("L1"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->currentItem(), tree()->topLevelItem(2));
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, EditWithoutCurrentRowOrCancelledChangesNothing)
{
    Load({1});
    ClickWithoutDialog("editButton");
    EXPECT_FALSE(tester.Modified());

    Select(0, 0);
    ClickWithDialog("editButton", gui::Cancel());
    Select(0);
    ClickWithDialog("editButton", [](QWidget* dialog) { gui::PressEscape(dialog); });
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I0"));
    EXPECT_EQ(model().GetListName(0), QStringLiteral("L0"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_FALSE(tester.Modified());
}

TEST_F(MainWindowTest, EditAcceptedUnchangedCutsLongTextsToTheFieldLimits)
{
    tester.Model().AddList(QString(100, QLatin1Char('n')));
    tester.Model().AddItem(QString(100, QLatin1Char('t')), QString(30, QLatin1Char('a')), 0);
    window.RebuildTree();
    Select(0, 0);
    const auto said = [this] { return window.statusBar()->currentMessage(); };
    ClickWithDialog("editButton", gui::AcceptItem(QString(), QString()));
    EXPECT_EQ(model().GetItemText(0, 0), QString(70, QLatin1Char('t')));
    EXPECT_EQ(model().GetItemAction(0, 0), QString(16, QLatin1Char('a')));
    EXPECT_TRUE(
        said().endsWith(QStringLiteral(" Its item and action texts were cut to the dialog's "
                                       "limits; Ctrl+Z brings them back whole.")))
        << said().toStdString();
    Select(0);
    ClickWithDialog("editButton", gui::AcceptList(QString()));
    EXPECT_EQ(model().GetListName(0), QString(80, QLatin1Char('n')));
    EXPECT_TRUE(said().endsWith(
        QStringLiteral(". Its name was cut to the dialog's limit; Ctrl+Z brings it back whole.")))
        << said().toStdString();
    EXPECT_EQ(Mismatch(), QString());
    // Texts that fit, or typed over, are not cut.
    window.show();
    Press("Ctrl+Z");
    Press("Ctrl+Z");
    Select(0, 0);
    ClickWithDialog("editButton", gui::AcceptItem(QStringLiteral("typed"), QString()));
    EXPECT_TRUE(said().endsWith(QStringLiteral(" Its action text was cut to the dialog's limit; "
                                               "Ctrl+Z brings it back whole.")))
        << said().toStdString();
    ClickWithDialog("editButton", gui::AcceptItem(QString(), QString()));
    EXPECT_TRUE(said().endsWith(QStringLiteral("Ctrl+Z undoes it."))) << said().toStdString();
}

TEST_F(MainWindowTest, DeleteWithoutCurrentRowOnlySetsModified)
{
    Load({2});
    ClickWithoutDialog("deleteButton");
    EXPECT_EQ(model().GetItemCount(0), 2);
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, DeleteItemRenumbersTheLaterItemsInPlace)
{
    Load({3, 2});
    tree()->topLevelItem(1)->setExpanded(false);
    Select(0, 0);
    ClickWithoutDialog("deleteButton");
    ASSERT_EQ(model().GetItemCount(0), 2);
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I1"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->topLevelItem(0)->child(1)->text(3), QStringLiteral("1"));
    EXPECT_FALSE(tree()->topLevelItem(1)->isExpanded()) << "a collapsed list stays collapsed";
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, DeleteListRemovesItsItemsAndRenumbersTheLaterLists)
{
    Load({2, 3, 1});
    tree()->topLevelItem(2)->setExpanded(false);
    Select(0);
    ClickWithoutDialog("deleteButton"); // no question, though the list holds items
    ASSERT_EQ(model().GetListCount(), 2);
    EXPECT_EQ(model().GetListName(0), QStringLiteral("L1"));
    EXPECT_EQ(model().GetItemCount(0), 3);
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_TRUE(tree()->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(tree()->topLevelItem(1)->isExpanded());

    // The renumbered rows address their own entries afterwards.
    Select(1, 0);
    ClickWithoutDialog("deleteButton");
    EXPECT_EQ(model().GetItemCount(1), 0);
    EXPECT_EQ(model().GetItemCount(0), 3);
    EXPECT_EQ(Mismatch(), QString());
}

TEST_F(MainWindowTest, UpAndDownAtTheEdgesChangeNothingButRebuild)
{
    Load({3});
    tree()->topLevelItem(0)->setExpanded(false);
    Select(0, 0);
    ClickWithoutDialog("upButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I0"));
    EXPECT_TRUE(tester.Modified());
    EXPECT_EQ(tree()->currentItem(), nullptr);
    EXPECT_TRUE(tree()->topLevelItem(0)->isExpanded()) << "rebuilt, all expanded";

    Select(0, 2);
    ClickWithoutDialog("downButton");
    EXPECT_EQ(model().GetItemText(0, 2), QStringLiteral("L0I2"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->currentItem(), nullptr);
}

TEST_F(MainWindowTest, UpAndDownSwapWithTheNeighbourAndLeaveNoCurrentRow)
{
    Load({3});
    Select(0, 1);
    ClickWithoutDialog("upButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I1"));
    EXPECT_EQ(model().GetItemText(0, 1), QStringLiteral("L0I0"));
    EXPECT_EQ(Mismatch(), QString());
    EXPECT_EQ(tree()->currentItem(), nullptr);

    // Without choosing a row again, the button does nothing.
    tester.SetModified(false);
    ClickWithoutDialog("upButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I1"));
    EXPECT_FALSE(tester.Modified());

    Select(0, 0);
    ClickWithoutDialog("downButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I0"));
    EXPECT_EQ(model().GetItemText(0, 1), QStringLiteral("L0I1"));
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowTest, ListRowMovesItsFirstItem)
{
    Load({2});
    Select(0);
    ClickWithoutDialog("downButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I1"));
    EXPECT_EQ(model().GetItemText(0, 1), QStringLiteral("L0I0"));
    Select(0);
    tester.SetModified(false);
    ClickWithoutDialog("upButton");
    EXPECT_EQ(model().GetItemText(0, 0), QStringLiteral("L0I1"));
    EXPECT_TRUE(tester.Modified());
    EXPECT_EQ(Mismatch(), QString());
}

TEST_F(MainWindowTest, ClearWarnsOnlyWithUnsavedChangesAndRows)
{
    window.show();
    // Without a window manager nothing activates a shown window: ask for it once it is mapped.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Nothing modified, rows present: no warning.
    Load({1});
    window.findChild<QPushButton*>(QStringLiteral("clearButton"))->setFocus();
    ClickWithoutDialog("clearButton");
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(tester.Modified());
    EXPECT_EQ(QApplication::focusWidget(), tree()) << "Clear hands the focus to the tree";

    // Modified, but the tree is empty: no warning, though Clear set the flag.
    ClickWithoutDialog("clearButton");

    // After Add List there are changes and a row.
    ClickWithDialog("addListButton", gui::AcceptList(QStringLiteral("x")));
    ClickWithDialog("clearButton", AnswerQuestion(QMessageBox::Cancel));
    EXPECT_EQ(question, kQuestion);
    EXPECT_EQ(model().GetListCount(), 1);
    EXPECT_TRUE(tester.Modified());
    ClickWithDialog("clearButton", AnswerQuestion(QMessageBox::Escape));
    EXPECT_EQ(tree()->topLevelItemCount(), 1);

    ClickWithDialog("clearButton", AnswerQuestion(QMessageBox::Ok));
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(tester.Modified());
}

// Closing and Open ask to save only when the document differs from the file last opened or
// saved; Return saves and Escape cancels, and a save that does not end in the file keeps all.
TEST_F(MainWindowTest, LeavingChangesAsksToSaveThemFirst)
{
    enum State
    {
        Fresh,   // nothing done since the window started
        Opened,  // a file opened after changes
        Changed, // a list added to an opened file
        Undone,  // that change undone
        Saved    // that change saved
    };
    enum Save
    {
        NotAsked,
        Cancelled,
        Failed,
        Succeeded
    };
    const struct
    {
        bool closing; // or Open
        State state;
        QMessageBox::StandardButton answer; // NoButton: no question; Escape and Ok: the keys
        Save save;
        bool leaves;
    } rows[] = {
        {true, Fresh, QMessageBox::NoButton, NotAsked, true},
        {true, Opened, QMessageBox::NoButton, NotAsked, true},
        {true, Undone, QMessageBox::NoButton, NotAsked, true},
        {true, Saved, QMessageBox::NoButton, NotAsked, true},
        {true, Changed, QMessageBox::Save, Cancelled, false},
        {true, Changed, QMessageBox::Save, Failed, false},
        {true, Changed, QMessageBox::Save, Succeeded, true},
        {true, Changed, QMessageBox::Discard, NotAsked, true},
        {true, Changed, QMessageBox::Cancel, NotAsked, false},
        {true, Changed, QMessageBox::Ok, Succeeded, true},
        {true, Changed, QMessageBox::Escape, NotAsked, false},
        {false, Fresh, QMessageBox::NoButton, NotAsked, true},
        {false, Opened, QMessageBox::NoButton, NotAsked, true},
        {false, Undone, QMessageBox::NoButton, NotAsked, true},
        {false, Changed, QMessageBox::Save, Cancelled, false},
        {false, Changed, QMessageBox::Save, Failed, false},
        {false, Changed, QMessageBox::Save, Succeeded, true},
        {false, Changed, QMessageBox::Discard, NotAsked, true},
        {false, Changed, QMessageBox::Cancel, NotAsked, false},
        {false, Changed, QMessageBox::Ok, Cancelled, false},
        {false, Changed, QMessageBox::Escape, NotAsked, false},
    };
    const QString opened = QStringLiteral(VELLORIN_TEST_DATA "/engine-start.xml");
    const QString engine = QStringLiteral("Engine start");
    for (const auto& c : rows) {
        const std::string where = QStringLiteral("closing %1, state %2, answer %3, save %4")
                                      .arg(c.closing)
                                      .arg(c.state)
                                      .arg(c.answer)
                                      .arg(c.save)
                                      .toStdString();
        auto window = std::make_unique<MainWindow>();
        MainWindowTester tester(*window);
        window->show();
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString saved = dir.filePath(QStringLiteral("saved.xml"));
        const auto addList = [&] {
            answerer.Arm(gui::AcceptList(QStringLiteral("unsaved")));
            ASSERT_TRUE(gui::Click(window.get(), "addListButton"));
        };
        if (c.state != Fresh) {
            addList();
            tester.OpenFile(opened);
        }
        if (c.state >= Changed)
            addList();
        if (c.state == Undone) {
            QApplication::setActiveWindow(window.get());
            QTest::keySequence(tester.Tree(), QKeySequence(QStringLiteral("Ctrl+Z")));
        }
        if (c.state == Saved) {
            answerer.Arm([&](QWidget* modal) { gui::ChooseFile(modal, saved); });
            ASSERT_TRUE(gui::Click(window.get(), "saveButton"));
        }
        const int lists = tester.Model().GetListCount();

        // The question, then whatever it leads to: the Save command's dialog and a failure's
        // box, Open's file dialog, which chooses the file again.
        QString asked;
        bool failureTold = false;
        bool chosen = false;
        ModalAnswerer::Answer answer;
        answer = [&](QWidget* modal) {
            answerer.Arm(answer);
            auto* box = qobject_cast<QMessageBox*>(modal);
            auto* files = qobject_cast<QFileDialog*>(modal);
            if (files && files->windowTitle() == QStringLiteral("Open File")) {
                chosen = true;
                gui::ChooseFile(modal, opened);
            } else if (files && c.save == Failed) {
                gui::ChooseFile(modal, dir.filePath(QStringLiteral("none/saved.xml")), false);
            } else if (files) {
                if (c.save == Cancelled)
                    files->reject();
                else
                    gui::ChooseFile(modal, saved);
            } else if (box && box->objectName() != QStringLiteral("saveChangesBox")) {
                failureTold = box->text().contains(QStringLiteral("could not be saved"));
                box->reject();
            } else if (box) {
                asked = box->windowTitle() + QLatin1Char('|') + box->text();
                EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Save)) << where;
                EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel)) << where;
                if (c.answer == QMessageBox::Escape)
                    QTest::keyClick(box, Qt::Key_Escape);
                else if (c.answer == QMessageBox::Ok)
                    QTest::keyClick(box, Qt::Key_Return);
                else if (c.answer == QMessageBox::NoButton)
                    box->reject(); // asked where it should not: the check below fails
                else
                    box->button(c.answer)->click();
            }
        };
        answerer.Arm(answer);
        bool left = false;
        if (c.closing) {
            // A close request from the window manager or the session arrives as this event.
            QCloseEvent event;
            QApplication::sendEvent(window.get(), &event);
            left = event.isAccepted();
        } else {
            ASSERT_TRUE(gui::Click(window.get(), "openButton"));
            left = chosen;
        }
        answerer.Arm(nullptr);
        EXPECT_EQ(failureTold, c.save == Failed) << where;
        EXPECT_EQ(asked.isEmpty(), c.answer == QMessageBox::NoButton)
            << where << asked.toStdString();
        if (!asked.isEmpty()) {
            EXPECT_EQ(asked, c.closing ? QStringLiteral("Close|Save the changes to "
                                                        "\"engine-start.xml\" before closing?")
                                       : QStringLiteral("Open File|Save the changes to "
                                                        "\"engine-start.xml\" before opening "
                                                        "another file?"))
                << where;
        }
        EXPECT_EQ(left, c.leaves) << where;
        EXPECT_EQ(QFileInfo::exists(saved), c.state == Saved || c.save == Succeeded) << where;
        if (c.save == Succeeded) {
            EXPECT_EQ(window->statusBar()->currentMessage(),
                      QStringLiteral("Saved \"%1\".").arg(QDir::toNativeSeparators(saved)))
                << where;
        }
        if (!c.leaves) {
            // Nothing closed or opened, the changes still unsaved.
            EXPECT_EQ(tester.Model().GetListCount(), lists) << where;
            EXPECT_EQ(tester.Model().GetListName(lists - 1), QStringLiteral("unsaved")) << where;
            EXPECT_TRUE(tester.Unsaved()) << where;
            EXPECT_TRUE(window->isVisible()) << where;
        } else if (!c.closing) {
            EXPECT_EQ(tester.Model().GetListName(0), engine) << where;
            EXPECT_FALSE(tester.Unsaved()) << where;
        }
        EXPECT_EQ(gui::CompareTreeWithModel(tester.Tree(), tester.Model()), QString()) << where;
        window.reset();
    }
}

// A simple reference of the document and of what each command does to it.
struct Reference
{
    using Item = std::pair<QString, QString>;
    struct List
    {
        QString name;
        std::vector<Item> items;
        bool operator==(const List& other) const
        {
            return name == other.name && items == other.items;
        }
    };
    // Items outside any list, then lists: what the clipboard carries.
    struct Piece
    {
        std::vector<Item> items;
        std::vector<List> lists;
    };
    struct Found
    {
        int list = -1, item = -1, rank = 0, count = 0;
    };

    std::vector<List> lists;
    bool modified = false;
    // The documents before each change that undo can bring back, and after each undone one.
    std::vector<std::vector<List>> past, future;
    QString findText;

    // Ctrl+Z ('back') or Ctrl+Shift+Z / Ctrl+Y: the document moves one change along its history.
    void Step(bool back)
    {
        if (auto& from = back ? past : future; !from.empty()) {
            (back ? future : past).push_back(std::exchange(lists, std::move(from.back())));
            from.pop_back();
            modified = true;
        }
    }
    Piece At(int list, int item) const
    {
        Piece piece;
        if (item < 0)
            piece.lists.push_back(lists[list]);
        else
            piece.items.push_back(lists[list].items[item]);
        return piece;
    }
    void Remove(int list, int item)
    {
        if (item < 0)
            lists.erase(lists.begin() + list);
        else
            lists[list].items.erase(lists[list].items.begin() + item);
    }
    // Items after the item, or at the end of the list; lists after the list, or at the end.
    // The first row pasted, or none when the items have nowhere to go.
    std::pair<int, int> Paste(const Piece& piece, int list, int item)
    {
        if (piece.items.empty() && piece.lists.empty())
            return {-1, -1};
        if (!piece.items.empty() && list < 0)
            return {-1, -1};
        std::pair<int, int> first{list < 0 ? int(lists.size()) : list + 1, -1};
        if (!piece.items.empty()) {
            auto& items = lists[list].items;
            const int at = item < 0 ? int(items.size()) : item + 1;
            items.insert(items.begin() + at, piece.items.begin(), piece.items.end());
            first = {list, at};
        }
        lists.insert(lists.begin() + (list < 0 ? lists.size() : list + 1), piece.lists.begin(),
                     piece.lists.end());
        return first;
    }
    // The rows in the order shown, each list's own row before its items.
    Found Find(const QString& text, int list, int item, bool forward) const
    {
        std::vector<std::pair<int, int>> rows, hits;
        for (int l = 0; l < int(lists.size()); ++l) {
            rows.push_back({l, -1});
            if (lists[l].name.contains(text, Qt::CaseInsensitive))
                hits.push_back(rows.back());
            for (int i = 0; i < int(lists[l].items.size()); ++i) {
                rows.push_back({l, i});
                const Item& it = lists[l].items[i];
                if (it.first.contains(text, Qt::CaseInsensitive) ||
                    it.second.contains(text, Qt::CaseInsensitive))
                    hits.push_back(rows.back());
            }
        }
        Found found;
        found.count = int(hits.size());
        if (hits.empty())
            return found;
        const auto order = [&rows](std::pair<int, int> row) {
            return int(std::find(rows.begin(), rows.end(), row) - rows.begin());
        };
        const int from = list < 0 ? (forward ? -1 : int(rows.size())) : order({list, item});
        int chosen = forward ? 0 : found.count - 1;
        for (int h = 0; h < found.count; ++h) {
            const int at = order(hits[h]);
            if (forward ? at > from : at < from) {
                chosen = h;
                if (forward)
                    break;
            }
        }
        found.list = hits[chosen].first;
        found.item = hits[chosen].second;
        found.rank = chosen + 1;
        return found;
    }
};

// A piece as another program puts it on the clipboard: lines of items split by a tab or by the
// paper form's dots, list names, blank lines, Unix or Windows line ends.
QString AsText(const Reference::Piece& piece, const std::function<int(int)>& pick)
{
    QStringList lines;
    const auto item = [&](const Reference::Item& it) {
        if (pick(4) == 0)
            lines << QString(pick(3), QLatin1Char(' '));
        if (!it.second.isEmpty() && pick(2) == 0)
            lines << it.first + QString(pick(2), QLatin1Char(' ')) +
                         QString(3 + pick(5), QLatin1Char('.')) + QLatin1Char(' ') + it.second;
        else
            lines << it.first + QLatin1Char('\t') + it.second;
    };
    for (const auto& it : piece.items)
        item(it);
    for (const auto& list : piece.lists) {
        lines << list.name;
        for (const auto& it : list.items)
            item(it);
    }
    return lines.join(QLatin1String(pick(2) == 0 ? "\n" : "\r\n"));
}

// The same in the document's own XML form, as another window of the program puts it.
QByteArray AsXml(const Reference::Piece& piece)
{
    QString xml = QStringLiteral("<doc>");
    const auto item = [&xml](const Reference::Item& it) {
        xml += QStringLiteral("<item><name>%1</name><action>%2</action></item>")
                   .arg(it.first.toHtmlEscaped(), it.second.toHtmlEscaped());
    };
    for (const auto& it : piece.items)
        item(it);
    for (const auto& list : piece.lists) {
        xml += QStringLiteral("<list><name>%1</name>").arg(list.name.toHtmlEscaped());
        for (const auto& it : list.items)
            item(it);
        xml += QStringLiteral("</list>");
    }
    return (xml + QStringLiteral("</doc>")).toUtf8();
}

// Commands by their buttons and keys, copies and pastes, finds, undos and redos in a random
// order, with a reference of the document, its history and the clipboard.
TEST_F(MainWindowTest, RandomCommandSequenceKeepsTreeModelAndFlagInStep)
{
    window.show();
    std::mt19937 random(20261207);
    const std::function<int(int)> pick = [&random](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    Reference ref;
    Reference::Piece clip; // what a paste brings in
    bool refused = false;  // the clipboard holds what a paste refuses
    QGuiApplication::clipboard()->clear();
    int counter = 0;
    // A button, or one of the keys that do the same, with the dialog the command shows.
    const auto act = [&](const char* button, std::vector<const char*> keys,
                         ModalAnswerer::Answer answer) {
        const int choice = pick(int(keys.size()) + 1);
        const bool asks = bool(answer);
        if (asks)
            answerer.Arm(std::move(answer));
        const int unexpected = answerer.Unexpected();
        if (choice == 0)
            ASSERT_TRUE(gui::Click(&window, button));
        else
            Press(keys[choice - 1]);
        if (asks)
            EXPECT_TRUE(answerer.Answered()) << button << " showed no dialog";
        else
            EXPECT_EQ(answerer.Unexpected(), unexpected) << button << " showed a dialog";
    };
    const auto currentRow = [&]() -> std::pair<int, int> {
        QTreeWidgetItem* row = tree()->currentItem();
        if (!row)
            return {-1, -1};
        if (QTreeWidgetItem* parent = row->parent())
            return {tree()->indexOfTopLevelItem(parent), parent->indexOfChild(row)};
        return {tree()->indexOfTopLevelItem(row), -1};
    };

    for (int step = 0; step < 3000; ++step) {
        const std::vector<Reference::List> before = ref.lists;

        // Keep the current row, or choose one: none, a list row or an item row.
        const int rows = tree()->topLevelItemCount();
        if (pick(4) != 0) {
            if (rows > 0 && pick(5) != 0) {
                const int l = pick(rows);
                const int items = tree()->topLevelItem(l)->childCount();
                Select(l, items > 0 && pick(3) != 0 ? pick(items) : -1);
            } else {
                tree()->setCurrentItem(nullptr);
            }
        }
        const auto [list, item] = currentRow();
        std::pair<int, int> expected{-2, -2}; // the row current afterwards, where it is known
        bool changes = false;
        const bool accept = pick(4) != 0;
        const QString text = QStringLiteral("t%1").arg(++counter);
        const QString action = QStringLiteral("a%1").arg(counter);
        auto answerList = accept ? gui::AcceptList(text) : gui::Cancel();
        auto answerItem = accept ? gui::AcceptItem(text, action) : gui::Cancel();

        const int op = pick(25); // each command twice as often as Open and Save
        switch (op < 24 ? op / 2 : 12) {
        case 0:
            act("addListButton", {"Ctrl+Shift+N"}, answerList);
            changes = accept;
            if (accept)
                ref.lists.push_back({text, {}});
            ref.modified = true;
            break;
        case 1:
            if (list < 0) {
                act("addItemButton", {"Ins", "Ctrl+N"}, {});
            } else {
                act("addItemButton", {"Ins", "Ctrl+N"}, answerItem);
                changes = accept;
                if (accept)
                    ref.lists[list].items.push_back({text, action});
            }
            ref.modified = true;
            break;
        case 2:
            if (list < 0) {
                act("editButton", {"Return", "Enter", "F2"}, {});
                break;
            }
            if (pick(4) == 0) { // a double click on the row
                answerer.Arm(item < 0 ? answerList : answerItem);
                QTreeWidgetItem* row = tree()->currentItem();
                tree()->scrollToItem(row);
                // The view takes a double click on the row it saw pressed.
                const QPoint at = tree()->visualItemRect(row).center();
                QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, at);
                EXPECT_TRUE(answerer.Answered()) << "a double click edits";
            } else {
                act("editButton", {"Return", "Enter", "F2"}, item < 0 ? answerList : answerItem);
            }
            changes = accept;
            if (accept) {
                if (item < 0)
                    ref.lists[list].name = text;
                else
                    ref.lists[list].items[item] = {text, action};
                ref.modified = true;
            }
            break;
        case 3:
            act("deleteButton", {"Del"}, {});
            changes = list >= 0;
            if (changes)
                ref.Remove(list, item);
            ref.modified = true;
            break;
        case 4: {
            const int offset = pick(2) == 0 ? -1 : 1;
            ClickWithoutDialog(offset < 0 ? "upButton" : "downButton");
            if (list >= 0) {
                auto& items = ref.lists[list].items;
                const int from = item < 0 ? 0 : item;
                const int to = from + offset;
                changes = from < static_cast<int>(items.size()) && to >= 0 &&
                          to < static_cast<int>(items.size());
                if (changes)
                    std::swap(items[from], items[to]);
                ref.modified = true;
            }
            break;
        }
        case 5: { // keys move the row, which stays current
            const int offset = pick(2) == 0 ? -1 : 1;
            Press(offset < 0 ? "Alt+Up" : "Alt+Down");
            const int to = (item < 0 ? list : item) + offset;
            const int count = item < 0   ? int(ref.lists.size())
                              : list < 0 ? 0
                                         : int(ref.lists[list].items.size());
            changes = list >= 0 && to >= 0 && to < count;
            if (changes) {
                if (item < 0)
                    std::swap(ref.lists[list], ref.lists[to]);
                else
                    std::swap(ref.lists[list].items[item], ref.lists[list].items[to]);
                expected = item < 0 ? std::pair{to, -1} : std::pair{list, to};
                ref.modified = true;
            }
            break;
        }
        case 6:
        case 7: { // copy, or cut
            const bool cut = pick(2) == 0;
            Press(cut ? "Ctrl+X" : "Ctrl+C");
            if (list >= 0) {
                clip = ref.At(list, item);
                refused = false;
                changes = cut;
                if (cut) {
                    ref.Remove(list, item);
                    ref.modified = true;
                }
            }
            break;
        }
        case 8:
        case 9: { // paste what was copied, or what another program or window put there
            const int source = pick(4);
            Reference::Piece piece;
            if (source > 0) {
                const int loose = list >= 0 ? pick(3) : pick(4) == 0;
                const auto pasted = [&](bool action) {
                    const int n = ++counter;
                    return Reference::Item{QStringLiteral("p%1").arg(n),
                                           action ? QStringLiteral("q%1").arg(n) : QString()};
                };
                for (int i = 0; i < loose; ++i)
                    piece.items.push_back(pasted(pick(3) != 0));
                for (int l = pick(3); l > 0; --l) {
                    piece.lists.push_back({QStringLiteral("P%1").arg(++counter), {}});
                    for (int i = pick(4); i > 0; --i)
                        piece.lists.back().items.push_back(pasted(true));
                }
                auto* data = new QMimeData;
                if (source == 1) {
                    data->setText(AsText(piece, pick));
                } else {
                    data->setData(QLatin1String(ClipboardCommand::kMimeType),
                                  source == 2 ? AsXml(piece) : QByteArray("<doc><list></doc>"));
                    data->setText(QStringLiteral("not\tthis"));
                }
                QGuiApplication::clipboard()->setMimeData(data);
                clip = piece;
                refused = source == 3;
            }
            if (refused) {
                answerer.Arm([](QWidget* modal) {
                    EXPECT_TRUE(gui::Describe(modal).contains(QLatin1String("could not be pasted")))
                        << gui::Describe(modal).toStdString();
                    qobject_cast<QMessageBox*>(modal)->accept();
                });
                Press("Ctrl+V");
                EXPECT_TRUE(answerer.Answered()) << "a refused paste tells why";
                break;
            }
            Press("Ctrl+V");
            const std::pair<int, int> first = ref.Paste(clip, list, item);
            changes = first.first >= 0;
            if (changes) {
                expected = first;
                ref.modified = true;
            }
            break;
        }
        case 10:
            Press("Ctrl+D");
            changes = list >= 0;
            if (changes) {
                expected = ref.Paste(ref.At(list, item), list, item);
                ref.modified = true;
            }
            break;
        case 11: { // find a text anew, then the next or the previous, a few times
            const QString sought =
                (pick(2) ? QStringLiteral("T%1") : QStringLiteral("a%1")).arg(pick(20));
            expected = {list, item};
            for (int times = 1 + pick(3); times > 0; --times) {
                const int how = ref.findText.isEmpty() ? 0 : pick(3);
                if (how == 0) {
                    answerer.Arm([&sought](QWidget* modal) {
                        auto* edit = modal->findChild<QLineEdit*>();
                        ASSERT_NE(edit, nullptr) << gui::Describe(modal).toStdString();
                        edit->setText(sought);
                        qobject_cast<QDialog*>(modal)->accept();
                    });
                    ref.findText = sought;
                }
                Press(how == 0 ? "Ctrl+F" : how == 1 ? "F3" : "Shift+F3");
                if (how == 0) {
                    EXPECT_TRUE(answerer.Answered()) << "Ctrl+F asks";
                }
                const Reference::Found found =
                    ref.Find(ref.findText, expected.first, expected.second, how != 2);
                const QString quoted = QStringLiteral("\"%1\"").arg(ref.findText);
                EXPECT_EQ(window.statusBar()->currentMessage(),
                          found.count == 0 ? QStringLiteral("No row contains %1.").arg(quoted)
                                           : QStringLiteral("Row %1 of the %2 that contain %3.")
                                                 .arg(found.rank)
                                                 .arg(found.count)
                                                 .arg(quoted))
                    << "step " << step;
                if (found.count > 0)
                    expected = {found.list, found.item};
            }
            break;
        }
        default: { // the keys of Open and Save show what the buttons show
            const bool open = pick(2) == 0;
            const bool asks = open && !ref.past.empty(); // the history is at its start
            bool shown = false;
            if (asks)
                answerer.Arm([](QWidget* modal) {
                    ASSERT_EQ(modal->objectName(), QStringLiteral("saveChangesBox"));
                    QTest::keyClick(modal, Qt::Key_Escape);
                });
            else
                answerer.Arm([&shown, open](QWidget* modal) {
                    auto* files = qobject_cast<QFileDialog*>(modal);
                    ASSERT_NE(files, nullptr) << gui::Describe(modal).toStdString();
                    shown = files->windowTitle() == QLatin1String(open ? "Open File" : "Save File");
                    files->reject();
                });
            Press(open ? "Ctrl+O" : "Ctrl+S");
            EXPECT_TRUE(answerer.Answered() && (asks || shown)) << "step " << step;
            break;
        }
        }

        // Now and then F1: every key of the window is in the list it shows, and none does two
        // things, which would make it do neither.
        if (step % 1000 == 0) {
            answerer.Arm([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                ASSERT_NE(box, nullptr) << gui::Describe(modal).toStdString();
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Keys"));
                QList<QKeySequence> seen;
                for (const QAction* action : window.actions()) {
                    for (const QKeySequence& key : action->shortcuts()) {
                        EXPECT_FALSE(seen.contains(key)) << key.toString().toStdString();
                        seen << key;
                        EXPECT_TRUE(box->text().contains(key.toString(QKeySequence::NativeText)))
                            << key.toString().toStdString();
                    }
                    EXPECT_TRUE(box->text().contains(action->text()))
                        << action->text().toStdString();
                }
                EXPECT_GE(seen.size(), 20);
                box->accept();
            });
            Press("F1");
            EXPECT_TRUE(answerer.Answered()) << "F1 shows the keys";
        }
        if (changes) { // a change went into the history, whatever it changed
            ref.past.push_back(before);
            ref.future.clear();
        }
        if (expected.first != -2) {
            ASSERT_EQ(currentRow(), expected) << "step " << step;
        }
        // Sometimes the user starts over.
        if (pick(200) == 0) {
            tester.SetModified(false);
            ClickWithoutDialog("clearButton");
            ref.past.push_back(std::move(ref.lists));
            ref.future.clear();
            ref.lists.clear();
            ref.modified = true;
        }
        // Runs of undos and redos, by each of their keys.
        while (pick(3) == 0) {
            const int key = pick(3);
            Press(key == 0 ? "Ctrl+Z" : key == 1 ? "Ctrl+Shift+Z" : "Ctrl+Y");
            ref.Step(key == 0);
        }

        ASSERT_EQ(Mismatch(), QString()) << "step " << step;
        ASSERT_EQ(model().GetListCount(), static_cast<int>(ref.lists.size())) << "step " << step;
        for (int l = 0; l < model().GetListCount(); ++l) {
            ASSERT_EQ(model().GetListName(l), ref.lists[l].name) << "step " << step;
            ASSERT_EQ(model().GetItemCount(l), static_cast<int>(ref.lists[l].items.size()));
            for (int i = 0; i < model().GetItemCount(l); ++i) {
                ASSERT_EQ(model().GetItemText(l, i), ref.lists[l].items[i].first) << step;
                ASSERT_EQ(model().GetItemAction(l, i), ref.lists[l].items[i].second) << step;
            }
        }
        ASSERT_EQ(tester.Modified(), ref.modified) << "step " << step;
    }
}

// Each command, by its button or its keys, undone and redone through the window's keys: the
// saved document and the tree come back as they were, with the row the change touched current,
// and the status bar says so. A paste pastes 'clip': the own XML form where it starts with '<',
// another program's text otherwise.
TEST_F(MainWindowTest, EveryChangeIsUndoneAndRedoneExactly)
{
    window.show();
    support::TempFolder folder;
    // The document as saved, what differs between the tree and the document, and which lists
    // are unfolded.
    const auto state = [&] {
        const QString name = model().GetFileName(), saved = folder.Path(QStringLiteral("s.xml"));
        tester.Model().SetFileName(saved);
        EXPECT_TRUE(model().WriteXML().Ok());
        tester.Model().SetFileName(name);
        QByteArray unfolded;
        for (int l = 0; l < tree()->topLevelItemCount(); ++l)
            unfolded += tree()->topLevelItem(l)->isExpanded() ? 'v' : '>';
        return (support::ReadAll(saved) + Mismatch().toUtf8() + unfolded).toStdString();
    };
    const auto current = [&] {
        return tree()->currentItem() ? tree()->currentItem()->text(0) : QStringLiteral("none");
    };
    const struct
    {
        int list, item;               // the current row; -1 for none or a list row
        const char* command;          // a button's name, or keys
        ModalAnswerer::Answer answer; // empty: the command shows no dialog
        QString done;                 // what the status bar says
        QString undone, redone;       // the name of the row current afterwards
        QString clip = {};
        QString note = {}; // what the status bar says after the change's sentence
    } cases[] = {
        {-1, -1, "addListButton", gui::AcceptList("New"), "Added the list \"New\"", "L2", "New"},
        {-1, -1, "Ctrl+Shift+N", gui::AcceptList("New"), "Added the list \"New\"", "L2", "New"},
        {1, 0, "addItemButton", gui::AcceptItem("N", "A"), "Added the item \"N\"", "L1", "N"},
        {1, 0, "Ins", gui::AcceptItem("N", "A"), "Added the item \"N\"", "L1", "N"},
        {2, 1, "editButton", gui::AcceptItem("E", "X"), "Edited the item \"E\"", "L2I1", "E"},
        {2, 1, "Return", gui::AcceptItem("E", "X"), "Edited the item \"E\"", "L2I1", "E"},
        {0, -1, "editButton", gui::AcceptList("R"), "Edited the list \"R\"", "L0", "R"},
        {0, -1, "F2", gui::AcceptList("R"), "Edited the list \"R\"", "L0", "R"},
        {2, 1, "deleteButton", {}, "Deleted the item \"L2I1\"", "L2I1", "L2I2"},
        {2, 2, "Del", {}, "Deleted the item \"L2I2\"", "L2I2", "L2I1"},
        {1, -1, "deleteButton", {}, "Deleted the list \"L1\"", "L1", "L2"},
        {2, 1, "Ctrl+X", {}, "Cut the item \"L2I1\"", "L2I1", "L2I2"},
        {1, -1, "Ctrl+X", {}, "Cut the list \"L1\"", "L1", "L2"},
        {2, 1, "upButton", {}, "Moved the item \"L2I1\" up", "L2I1", "L2I1"},
        {0, -1, "downButton", {}, "Moved the item \"L0I0\" down", "L0I0", "L0I0"},
        {2, 1, "Alt+Up", {}, "Moved the item \"L2I1\" up", "L2I1", "L2I1"},
        {0, 0, "Alt+Down", {}, "Moved the item \"L0I0\" down", "L0I0", "L0I0"},
        {1, -1, "Alt+Up", {}, "Moved the list \"L1\" up", "L1", "L1"},
        {0, -1, "Alt+Down", {}, "Moved the list \"L0\" down", "L0", "L0"},
        {2, 2, "Ctrl+D", {}, "Duplicated the item \"L2I2\"", "L2I2", "L2I2"},
        {0, -1, "Ctrl+D", {}, "Duplicated the list \"L0\"", "L0", "L0"},
        {2, 0, "Ctrl+V", {}, "Pasted the item \"Flaps\"", "L2I0", "Flaps", "Flaps\tUP"},
        {1, -1, "Ctrl+V", {}, "Pasted 2 items", "L1", "a", "a\t1\r\n\r\nb ..... 2"},
        {0, 1, "Ctrl+V", {}, "Pasted 1 list and 1 item", "L0I1", "x", "x\t1\nTaxi\ny\t2"},
        {-1, -1, "Ctrl+V", {}, "Pasted the list \"Taxi\"", "none", "Taxi", "Taxi\nBrakes\tTEST"},
        {0, -1, "Ctrl+V", {}, "Pasted 2 lists", "L0", "A", "A\nB"},
        {2,
         2,
         "Ctrl+V",
         {},
         "Pasted the item \"AB\"",
         "L2I2",
         "AB",
         "A\x01"
         "B\tC",
         "It left out 1 character that XML does not allow."},
        {1,
         0,
         "Ctrl+V",
         {},
         "Pasted 1 list and 1 item",
         "L1I0",
         " i ",
         "<doc><item><name> i </name><action>a&#10;b</action></item>"
         "<list><name>M</name><item><name>m</name><action/></item></list></doc>"},
        {-1, -1, "clearButton", {}, "Cleared the document", "L0", "none"},
    };
    for (const auto& test : cases) {
        const std::string where = std::string(test.command) + " " + test.done.toStdString();
        tester.SetModified(false);
        ClickWithoutDialog("clearButton");
        Load({3, 1, 3});
        tester.SetModified(false);
        test.list < 0 ? tree()->setCurrentItem(nullptr) : Select(test.list, test.item);
        const bool button = QByteArray(test.command).endsWith("Button");
        const bool rebuilds = button && (QByteArray(test.command).startsWith("up") ||
                                         QByteArray(test.command).startsWith("down"));
        // A list the user folded stays folded, but where Up, Down and Clear show the document
        // anew.
        if (!rebuilds && QByteArray(test.command) != "clearButton")
            tree()->topLevelItem(test.list == 0 ? 2 : 0)->setExpanded(false);
        const std::string before = state();
        auto* data = new QMimeData;
        if (test.clip.startsWith(QLatin1Char('<')))
            data->setData(QLatin1String(ClipboardCommand::kMimeType), test.clip.toUtf8());
        else
            data->setText(test.clip);
        QGuiApplication::clipboard()->setMimeData(data);
        if (test.answer)
            answerer.Arm(test.answer);
        const int unexpected = answerer.Unexpected();
        if (button)
            ASSERT_TRUE(gui::Click(&window, test.command));
        else
            Press(test.command);
        EXPECT_TRUE(test.answer ? answerer.Answered() : answerer.Unexpected() == unexpected)
            << where;
        const std::string after = state();
        ASSERT_NE(after, before) << where;
        EXPECT_EQ(current(), rebuilds ? QStringLiteral("none") : test.redone) << where;
        EXPECT_EQ(window.statusBar()->currentMessage(),
                  test.done + ". Ctrl+Z undoes it." +
                      (test.note.isEmpty() ? QString() : QLatin1Char(' ') + test.note));

        for (const bool back : {true, false}) {
            tester.SetModified(false);
            Press(back ? "Ctrl+Z" : test.list < 0 ? "Ctrl+Shift+Z" : "Ctrl+Y");
            EXPECT_EQ(state(), back ? before : after) << where;
            EXPECT_EQ(current(), back ? test.undone : test.redone) << where;
            EXPECT_TRUE(tester.Modified()) << where;
            EXPECT_EQ(window.statusBar()->currentMessage(),
                      back ? "Undone: " + test.done + ". Ctrl+Shift+Z redoes it."
                           : "Redone: " + test.done + ". Ctrl+Z undoes it.");
        }
    }

    // The history starts again with each document opened; its ends are told.
    tester.OpenFile(QStringLiteral(VELLORIN_TEST_DATA "/engine-start.xml"));
    Press("Ctrl+Y");
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("Nothing to redo."));
    const std::string opened = state();
    Press("Ctrl+Z");
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("Nothing to undo."));
    EXPECT_EQ(state(), opened);
}

// Every list of each example copied in one window and pasted in another, through the system
// clipboard, gives back the document byte for byte once saved: in the own form, and as the plain
// text another program sees.
TEST_F(MainWindowTest, CopiedAndPastedListsGiveBackTheDocument)
{
    support::TempFolder folder;
    window.show();
    MainWindow other;
    MainWindowTester into(other);
    other.show();
    const auto saved = [&folder](zuchecklist::CheckListContainer& document, const char* name) {
        document.SetFileName(folder.Path(QLatin1String(name)));
        EXPECT_TRUE(document.WriteXML().Ok());
        return support::ReadAll(document.GetFileName());
    };
    for (const bool plain : {false, true}) {
        for (const char* example : {"preflight", "sailing-departure", "kitchen-closing"}) {
            tester.OpenFile(QStringLiteral(VELLORIN_TEST_DATA "/../../examples/%1.xml")
                                .arg(QLatin1String(example)));
            into.OpenFile(QStringLiteral(VELLORIN_TEST_DATA "/no-lists.xml"));
            ASSERT_GT(model().GetListCount(), 1) << example;
            for (int l = 0; l < model().GetListCount(); ++l) {
                Select(l);
                Press("Ctrl+C");
                QClipboard* clipboard = QGuiApplication::clipboard();
                if (plain) {
                    auto* text = new QMimeData;
                    text->setText(clipboard->text());
                    clipboard->setMimeData(text);
                }
                QApplication::setActiveWindow(&other);
                QTest::keySequence(into.Tree(), QKeySequence(QKeySequence::Paste));
            }
            EXPECT_EQ(saved(into.Model(), "pasted.xml"), saved(tester.Model(), "copied.xml"))
                << example << (plain ? " as plain text" : " in the own form");
        }
    }
}

// The row that is current after Delete: the next row of the same level, the previous one when
// the last was deleted, the list row when its only item went; its index texts are renumbered.
TEST_F(MainWindowTest, DeleteLeavesTheNeighbourRowCurrent)
{
    const struct
    {
        int list;
        int item; // -1: the list row
        QStringList current;
    } cases[] = {
        {2, 0, {"L2I1", "A1", "2", "0"}}, // first item
        {2, 1, {"L2I2", "A2", "2", "1"}}, // middle item
        {2, 2, {"L2I1", "A1", "2", "1"}}, // last item
        {1, 0, {"L1", "", "1", ""}},      // only item
        {0, -1, {"L1", "", "0", ""}},     // first list
        {1, -1, {"L2", "", "1", ""}},     // middle list
        {2, -1, {"L1", "", "1", ""}},     // last list
    };
    for (const auto& test : cases) {
        tester.SetModified(false);
        ClickWithoutDialog("clearButton");
        Load({3, 1, 3});
        Select(test.list, test.item);
        ClickWithoutDialog("deleteButton");
        const QString where = QStringLiteral("deleting %1/%2").arg(test.list).arg(test.item);
        EXPECT_EQ(Mismatch(), QString()) << where.toStdString();
        const QTreeWidgetItem* row = tree()->currentItem();
        ASSERT_NE(row, nullptr) << where.toStdString();
        EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
                  test.current)
            << where.toStdString();
    }

    // The only list leaves no row current.
    tester.SetModified(false);
    ClickWithoutDialog("clearButton");
    Load({2});
    Select(0);
    ClickWithoutDialog("deleteButton");
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(tree()->currentItem(), nullptr);
}

// List and item positions that differ, so that each addresses another entry, or none, when
// taken for the other.
TEST_F(MainWindowTest, EditChangesTheItemAtItsListAndItemPosition)
{
    Load({4, 1, 1});
    QStringList edited; // "list/item" of the entries edited so far
    const struct
    {
        int list;
        int item;
    } cases[] = {{2, 0}, {0, 3}, {1, 0}, {0, 2}};
    for (const auto& [list, item] : cases) {
        const QString text = QStringLiteral("E%1-%2").arg(list).arg(item);
        Select(list, item);
        ClickWithDialog("editButton", gui::AcceptItem(text, QStringLiteral("X")));
        edited << QStringLiteral("%1/%2").arg(list).arg(item);
        EXPECT_EQ(tree()->currentItem()->text(0), text);
        EXPECT_EQ(Mismatch(), QString()) << text.toStdString();
        for (int l = 0; l < model().GetListCount(); ++l) {
            for (int i = 0; i < model().GetItemCount(l); ++i) {
                const bool changed = edited.contains(QStringLiteral("%1/%2").arg(l).arg(i));
                const QString expectedText = changed ? QStringLiteral("E%1-%2").arg(l).arg(i)
                                                     : QStringLiteral("L%1I%2").arg(l).arg(i);
                const QString expectedAction =
                    changed ? QStringLiteral("X") : QStringLiteral("A%1").arg(i);
                EXPECT_EQ(model().GetItemText(l, i), expectedText) << text.toStdString();
                EXPECT_EQ(model().GetItemAction(l, i), expectedAction) << text.toStdString();
            }
        }
    }
}

} // namespace

// Ctrl+P: an empty document has nothing to print; a document shows the preview of its pages,
// from which its Print action prints, here to a PDF file; a document too large for a preview
// goes to the print dialog alone. The document, the unsaved-changes flag and the history stay
// as they were.
TEST_F(MainWindowTest, PrintShowsThePagesAndChangesNothing)
{
    window.show();
    const int unexpected = answerer.Unexpected();
    Press("Ctrl+P");
    EXPECT_EQ(answerer.Unexpected(), unexpected) << "an empty document showed a window";
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("Nothing to print."));

    support::TempFolder folder;
    const struct
    {
        int items;
        bool preview;
        const char* told; // after the PDF's name
    } cases[] = {
        {5, true, "\"."},
        {int(PrintCommand::kMostPreviewRows), false,
         "\" without a preview: the checklist is too large for one."},
    };
    for (const auto& test : cases) {
        tester.SetModified(false);
        ClickWithoutDialog("clearButton");
        Load({test.items});
        for (const bool modified : {false, true}) {
            tester.SetModified(modified);
            const QString pdf =
                folder.Path(QStringLiteral("%1-%2.pdf").arg(test.items).arg(modified));
            int pages = -1;
            if (test.preview) {
                // What its Print action does once the print dialog is accepted.
                answerer.Arm([&](QWidget* modal) {
                    auto* preview = qobject_cast<QPrintPreviewDialog*>(modal);
                    ASSERT_NE(preview, nullptr) << gui::Describe(modal).toStdString();
                    auto* pagesShown = preview->findChild<QPrintPreviewWidget*>();
                    pages = pagesShown->pageCount();
                    preview->printer()->setOutputFormat(QPrinter::PdfFormat);
                    preview->printer()->setOutputFileName(pdf);
                    pagesShown->print();
                    preview->accept();
                });
            } else {
                // The print dialog, answered with a PDF file.
                answerer.Arm([&](QWidget* modal) {
                    EXPECT_TRUE(window.statusBar()->currentMessage().contains(
                        QLatin1String("too large for a preview")));
                    auto* dialog = qobject_cast<QPrintDialog*>(modal);
                    ASSERT_NE(dialog, nullptr) << gui::Describe(modal).toStdString();
                    auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
                    auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
                    ASSERT_TRUE(printers && file)
                        << "the print dialog has no printer or file field";
                    printers->setCurrentIndex(printers->count() - 1); // Print to File (PDF)
                    file->setText(pdf);
                    dialog->accept();
                });
            }
            Press("Ctrl+P");
            EXPECT_TRUE(answerer.Answered());
            EXPECT_EQ(pages, test.preview ? 1 : -1) << "the preview's pages";
            const QString told = window.statusBar()->currentMessage();
            EXPECT_TRUE(told.startsWith(
                            QLatin1String(test.preview ? "Printed 1 page to \"" : "Printed ")) &&
                        told.endsWith(QDir::toNativeSeparators(pdf) + QLatin1String(test.told)))
                << told.toStdString();
            EXPECT_TRUE(support::ReadAll(pdf).startsWith("%PDF")) << pdf.toStdString();
            EXPECT_EQ(tester.Modified(), modified);
            EXPECT_EQ(Mismatch(), QString());
        }
    }
    Press("Ctrl+Z");
    EXPECT_EQ(window.statusBar()->currentMessage(),
              QStringLiteral("Undone: Cleared the document. Ctrl+Shift+Z redoes it."));
}
