#include "support/GuiDriver.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString Data(const char* name)
{
    return QStringLiteral(VELLORIN_TEST_DATA "/") + QLatin1String(name);
}

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers a file dialog by choosing 'path' (empty: Cancel) after checking its parameters.
ModalAnswerer::Answer ChooseFile(const QString& path, const QString& caption,
                                 const QStringList& filters)
{
    return [=](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), caption);
        EXPECT_EQ(dialog->nameFilters(), filters);
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir::current().canonicalPath());
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        }
    };
}

const QStringList kOpenFilters{"Checklist Xml (*.xml)", "All files (*.*)"};
const QStringList kSaveFilters{"Checklist Xml (*.xml)"};

class MainWindowFileTest : public ::testing::Test
{
protected:
    MainWindowFileTest() : tester(window) { QDir::setCurrent(dir.path()); }
    ~MainWindowFileTest() override { QDir::setCurrent(QDir::rootPath()); }

    void Open(const QString& path)
    {
        answerer.Arm(ChooseFile(path, QStringLiteral("Open File"), kOpenFilters));
        ASSERT_TRUE(gui::Click(&window, "openButton"));
        EXPECT_TRUE(answerer.Answered());
    }
    void Save(const QString& path)
    {
        answerer.Arm(ChooseFile(path, QStringLiteral("Save File"), kSaveFilters));
        ASSERT_TRUE(gui::Click(&window, "saveButton"));
        EXPECT_TRUE(answerer.Answered());
    }
    // Clicks Clear; 'answer' answers the warning, if one comes.
    bool ClearWarned(QMessageBox::StandardButton answer)
    {
        QString text;
        answerer.Arm([&text, answer](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            text = box->windowTitle() + QLatin1Char('|') + box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
            if (answer == QMessageBox::Escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(answer)->click();
        });
        EXPECT_TRUE(gui::Click(&window, "clearButton"));
        const bool warned = answerer.Answered();
        answerer.Arm(nullptr);
        if (warned) {
            EXPECT_EQ(text, QStringLiteral("Warning|Changes were not saved.\n"
                                           "Do you want to continue and lose changes?"));
        }
        return warned;
    }
    QTreeWidget* tree() const { return tester.Tree(); }
    const zuchecklist::CheckListContainer& model() const { return tester.Model(); }

    QTemporaryDir dir;
    MainWindow window;
    MainWindowTester tester;
    ModalAnswerer answerer;
};

TEST_F(MainWindowFileTest, OpenLoadsTheFileAndKeepsTheFlag)
{
    tester.SetModified(true);
    Open(Data("engine-start.xml"));
    ASSERT_EQ(model().GetListCount(), 2);
    EXPECT_EQ(model().GetFileName(), Data("engine-start.xml"));
    EXPECT_EQ(model().GetItemText(0, 1), QStringLiteral("A & B"));
    EXPECT_EQ(model().GetItemAction(0, 1), QStringLiteral("<5>"));
    EXPECT_EQ(model().GetListName(1), QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
    EXPECT_EQ(gui::CompareTreeWithModel(tree(), model()), QString());
    EXPECT_TRUE(tree()->topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree()->currentItem(), nullptr);
    EXPECT_TRUE(tester.Modified());

    tester.SetModified(false);
    Open(Data("no-lists.xml"));
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(tester.Modified());
    EXPECT_EQ(answerer.Unexpected(), 0) << "no message box";
}

TEST_F(MainWindowFileTest, OpenAcceptsByteOrderMarkDoctypeCommentsAndInstructions)
{
    Open(Data("prolog.xml"));
    ASSERT_EQ(model().GetListCount(), 1);
    EXPECT_EQ(model().GetListName(0), QStringLiteral("Prolog \u00e9"));
    EXPECT_EQ(model().GetItemAction(0, 0), QStringLiteral("y"));
}

TEST_F(MainWindowFileTest, OpenCancelledOrMissingChangesNothing)
{
    gui::FillModel(tester.Model(), {1});
    window.RebuildTree();
    tester.SetModified(true);
    Open(QString());
    tester.OpenFile(dir.path() + QStringLiteral("/missing.xml"));
    EXPECT_EQ(model().GetFileName(), QStringLiteral("CheckList.xml"));
    EXPECT_EQ(model().GetListCount(), 1);
    EXPECT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowFileTest, OpenOfABrokenFileLeavesAnEmptyDocumentSilently)
{
    for (const char* name : {"cut-short.xml", "nul-inside.xml"}) {
        gui::FillModel(tester.Model(), {2});
        window.RebuildTree();
        Open(Data(name));
        EXPECT_EQ(model().GetListCount(), 0) << name;
        EXPECT_EQ(model().GetFileName(), Data(name));
        EXPECT_EQ(tree()->topLevelItemCount(), 0) << name;
        EXPECT_FALSE(tester.Modified());
    }
    Open(Data("nul-at-end.xml")); // read up to the NUL, which ends a complete document
    EXPECT_EQ(model().GetListName(0), QStringLiteral("ok"));
    EXPECT_EQ(answerer.Unexpected(), 0);
}

TEST_F(MainWindowFileTest, OpenRefusesDeepNestingWithOneDiagnostic)
{
    const QString name = dir.path() + QStringLiteral("/deep.xml");
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<doc>");
        for (int i = 0; i < 100000; ++i)
            file.write("<a>");
        for (int i = 0; i < 100000; ++i)
            file.write("</a>");
        file.write("</doc>");
    }
    gui::FillModel(tester.Model(), {1});
    window.RebuildTree();
    testing::internal::CaptureStderr();
    tester.OpenFile(name);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Xml nesting is deeper than 256 levels.\n");
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(model().GetFileName(), name);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
}

// The stream reader that measures the nesting stops at an undeclared entity, which the DOM
// check skips: such a file still loads, unless its nesting cannot be bounded.
TEST_F(MainWindowFileTest, OpenLoadsUndeclaredEntitiesButStillRefusesDeepNesting)
{
    auto write = [this](const char* name, const QByteArray& bytes) {
        const QString path = dir.path() + QLatin1Char('/') + QLatin1String(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    Open(write("nbsp.xml", "<doc><list><name>a&nbsp;b</name></list></doc>"));
    ASSERT_EQ(model().GetListCount(), 1);
    EXPECT_EQ(model().GetListName(0), QStringLiteral("a&nbsp;b"));

    const QByteArray levels =
        QByteArray("<a>").repeated(60000) + QByteArray("</a>").repeated(60000);
    const QString deep = write("deep.xml", "<doc>&nbsp;" + levels + "</doc>");
    const QString entity =
        write("entity.xml", "<!DOCTYPE doc [<!ENTITY e \"" + levels + "\">]><doc>&nbsp;&e;</doc>");
    const QString broken = write("broken.xml", "<?XML a b?><doc>&nbsp;" + levels + "</doc>");
    for (const QString& name : {deep, entity, broken}) {
        gui::FillModel(tester.Model(), {1});
        window.RebuildTree();
        testing::internal::CaptureStderr();
        tester.OpenFile(name);
        const std::string diagnostic = testing::internal::GetCapturedStderr();
        EXPECT_EQ(diagnostic, name == deep ? "Xml nesting is deeper than 256 levels.\n" : "");
        EXPECT_EQ(model().GetListCount(), 0);
        EXPECT_EQ(tree()->topLevelItemCount(), 0);
    }
}

TEST_F(MainWindowFileTest, SaveWritesTheChosenNameAsIsAndClearsTheFlag)
{
    gui::FillModel(tester.Model(), {2, 0});
    window.RebuildTree();
    tester.SetModified(true);
    const QString name = dir.path() + QStringLiteral("/no-extension");
    Save(name);
    EXPECT_FALSE(tester.Modified());
    EXPECT_EQ(model().GetFileName(), name);
    EXPECT_TRUE(QFile::exists(name)) << "nothing is appended to the name";
    EXPECT_FALSE(QFile::exists(name + QStringLiteral(".xml")));
    EXPECT_TRUE(ReadAll(name).contains("<name>L0I1</name>"));
    const QByteArray lint = "'" VELLORIN_XMLLINT "' --noout '" + QFile::encodeName(name) + "'";
    EXPECT_EQ(std::system(lint.constData()), 0) << "an independent parser reads it";
    EXPECT_EQ(gui::CompareTreeWithModel(tree(), model()), QString());

    // Open it again: the same document.
    Open(name);
    EXPECT_EQ(model().GetListCount(), 2);
    EXPECT_EQ(model().GetItemText(0, 1), QStringLiteral("L0I1"));
}

TEST_F(MainWindowFileTest, SaveCancelledChangesNothing)
{
    tester.SetModified(true);
    Save(QString());
    EXPECT_TRUE(tester.Modified());
    EXPECT_EQ(model().GetFileName(), QStringLiteral("CheckList.xml"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(MainWindowFileTest, FailedSaveWarnsWithTheFileNameAndKeepsTheFlag)
{
    gui::FillModel(tester.Model(), {1});
    tester.SetModified(true);
    const QString name = dir.path() + QStringLiteral("/missing/x.xml");
    QString warning;
    answerer.Arm([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(name);
        // The dialog itself would refuse a missing folder; return the name directly.
        QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
        answerer.Arm([&](QWidget* box) {
            if (auto* message = qobject_cast<QMessageBox*>(box)) {
                warning = message->text();
                message->accept();
            }
        });
    });
    ASSERT_TRUE(gui::Click(&window, "saveButton"));
    QTest::qWait(50);
    if (model().GetFileName() == name) {
        EXPECT_TRUE(warning.contains(name)) << warning.toStdString();
        EXPECT_TRUE(tester.Modified());
    } else {
        ADD_FAILURE() << "the dialog did not return the chosen name";
    }
}

TEST_F(MainWindowFileTest, ClearWarnsOnlyWithUnsavedChangesAndRows)
{
    window.show();
    // Without a window manager nothing activates a shown window: ask for it once it is mapped.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // Nothing modified, rows present: no warning.
    gui::FillModel(tester.Model(), {1});
    window.RebuildTree();
    window.findChild<QPushButton*>(QStringLiteral("clearButton"))->setFocus();
    EXPECT_FALSE(ClearWarned(QMessageBox::Ok));
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(tester.Modified());
    EXPECT_EQ(QApplication::focusWidget(), tree()) << "Clear hands the focus to the tree";

    // Modified, but the tree is empty: no warning, though Clear set the flag.
    EXPECT_FALSE(ClearWarned(QMessageBox::Ok));

    // After Add List there are changes and a row.
    answerer.Arm(gui::AcceptList(QStringLiteral("x")));
    gui::Click(&window, "addListButton");
    EXPECT_TRUE(ClearWarned(QMessageBox::Cancel));
    EXPECT_EQ(model().GetListCount(), 1);
    EXPECT_TRUE(tester.Modified());
    EXPECT_TRUE(ClearWarned(QMessageBox::Escape));
    EXPECT_EQ(tree()->topLevelItemCount(), 1);

    EXPECT_TRUE(ClearWarned(QMessageBox::Ok));
    EXPECT_EQ(model().GetListCount(), 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(tester.Modified());
}

TEST_F(MainWindowFileTest, OpenDiscardsUnsavedChangesWithoutAQuestion)
{
    answerer.Arm(gui::AcceptList(QStringLiteral("unsaved")));
    gui::Click(&window, "addListButton");
    Open(Data("engine-start.xml"));
    EXPECT_EQ(model().GetListName(0), QStringLiteral("Engine start"));
    EXPECT_EQ(answerer.Unexpected(), 0);
    EXPECT_TRUE(tester.Modified()) << "changes before Open still count as unsaved";
}

} // namespace
