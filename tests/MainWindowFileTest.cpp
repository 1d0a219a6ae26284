#include "Common/CheckList/CheckListContainer.h"
#include "Common/File/SaveRecord.h"
#include "app/CommandLine.h"
#include "support/Files.h"
#include "support/GuiDriver.h"
#include "support/Toolkit.h"
#include "support/Watchdog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Data(const char* name)
{
    return QStringLiteral(VELLORIN_TEST_DATA "/") + QLatin1String(name);
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
        if (path.isEmpty())
            dialog->reject();
        else
            gui::ChooseFile(dialog, path);
    };
}

// The toolkit's own warnings (such as an X server's answers to focus requests, "qt.qpa...")
// share the standard error stream with the editor's diagnostics.
std::string WithoutToolkitMessages(const std::string& captured)
{
    std::string kept;
    std::size_t start = 0;
    while (start < captured.size()) {
        std::size_t end = captured.find('\n', start);
        end = end == std::string::npos ? captured.size() : end + 1;
        if (captured.compare(start, 3, "qt.") != 0)
            kept += captured.substr(start, end - start);
        start = end;
    }
    return kept;
}

const QStringList kOpenFilters{"Checklist Xml (*.xml)", "All files (*.*)"};
const QStringList kSaveFilters{"Checklist Xml (*.xml)"};

class MainWindowFileTest : public ::testing::Test
{
protected:
    MainWindowFileTest() : tester(window) { QDir::setCurrent(dir.Path()); }
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
    // Opens 'path' as Open does after its dialog; returns the title and text of the message box
    // that came, joined by '|', or an empty string.
    QString OpenWarned(const QString& path)
    {
        QString warning;
        answerer.Arm([&warning](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor over a box";
            warning = box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        });
        tester.OpenFile(path);
        answerer.Arm(nullptr);
        return warning;
    }
    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.Write(QLatin1String(name), bytes);
        EXPECT_FALSE(path.isEmpty()) << "cannot write " << name;
        return path;
    }
    QTreeWidget* tree() const { return tester.Tree(); }
    const zuchecklist::CheckListContainer& model() const { return tester.Model(); }

    support::TempFolder dir;
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
    Open(QString()); // nothing unsaved, so the file dialog comes at once
    EXPECT_FALSE(tester.Modified());
    // What follows the dialog asks nothing, and a missing file changes nothing.
    tester.SetModified(true);
    tester.OpenFile(dir.Path() + QStringLiteral("/missing.xml"));
    EXPECT_EQ(model().GetFileName(), QStringLiteral("CheckList.xml"));
    EXPECT_EQ(model().GetListCount(), 1);
    EXPECT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_TRUE(tester.Modified());
}

// The names given at start-up are bytes: the first opens (a relative one in the current folder)
// or a box says why not, and every other is named on stderr as given. Where Qt cannot turn the
// bytes into the name of the same file, the box says so: the file whose name the bytes decode to
// (U+FFFD for the byte that is not UTF-8) never opens in their place.
TEST_F(MainWindowFileTest, TheFileNamedAtStartUpIsTheOneItsBytesName)
{
    const QByteArray bytes("\xFF-notes.xml");
    const QByteArray decoded = QFile::encodeName(QFile::decodeName(bytes));
    auto writeNamed = [this](const QByteArray& name, const QByteArray& list) {
        const QByteArray path = QFile::encodeName(dir.Path()) + '/' + name;
        const QByteArray text = "<doc><list><name>" + list + "</name></list></doc>";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << path.constData();
        ASSERT_EQ(::write(fd, text.constData(), static_cast<std::size_t>(text.size())),
                  text.size());
        ::close(fd);
    };
    writeNamed("first.xml", "first");
    ASSERT_TRUE(QDir(dir.Path()).mkdir(QStringLiteral("sub")));
    writeNamed("sub/list.xml", "relative");
    writeNamed(decoded, "decoded");
    writeNamed(bytes, "bytes");
    const bool representable = decoded == bytes;
    const QString notOpened = QStringLiteral("Warning|The checklist could not be opened from \"");
    const std::string others = "vellorin: one file is opened at a time; not opened: ";
    const struct
    {
        QList<QByteArray> names;
        QString fileName; // the document's afterwards
        QString list;     // its first list's name
        QString box;
        std::string diagnostic;
    } cases[] = {
        {{"first.xml", "sub/list.xml", bytes},
         dir.Path(QStringLiteral("first.xml")),
         QStringLiteral("first"),
         QString(),
         others + "sub/list.xml\n" + others + bytes.toStdString() + "\n"},
        {{"sub/list.xml"},
         dir.Path(QStringLiteral("sub/list.xml")),
         QStringLiteral("relative"),
         QString(),
         ""},
        {{"sub"},
         dir.Path(QStringLiteral("sub")),
         QString(),
         notOpened + dir.Path(QStringLiteral("sub")) +
             QStringLiteral("\".\nIt is not a regular file."),
         ""},
        {{"missing.xml", "first.xml"},
         QStringLiteral("before.xml"),
         QString(),
         notOpened + QStringLiteral("missing.xml\".\nIt does not exist."),
         others + "first.xml\n"},
        {{bytes},
         representable ? QFile::decodeName(QFile::encodeName(dir.Path()) + '/' + bytes)
                       : QStringLiteral("before.xml"),
         representable ? QStringLiteral("bytes") : QString(),
         representable ? QString()
                       : notOpened + QStringLiteral("\\xFF-notes.xml\".\nQt cannot open a file of "
                                                    "that name: it is not valid in the encoding "
                                                    "of file names."),
         ""},
    };
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    for (const auto& c : cases) {
        const std::string what = c.names.first().toStdString();
        tester.Model() = zuchecklist::CheckListContainer(QStringLiteral("before.xml"));
        QString box;
        answerer.Arm([&box](QWidget* modal) {
            box =
                modal->windowTitle() + QLatin1Char('|') + qobject_cast<QMessageBox*>(modal)->text();
            qobject_cast<QMessageBox*>(modal)->accept();
        });
        testing::internal::CaptureStderr();
        CommandLine(c.names).Open(window);
        EXPECT_EQ(WithoutToolkitMessages(testing::internal::GetCapturedStderr()), c.diagnostic)
            << what;
        answerer.Arm(nullptr);
        EXPECT_EQ(box.toStdString(), c.box.toStdString()) << what;
        EXPECT_EQ(model().GetFileName(), c.fileName) << what;
        EXPECT_EQ(model().GetListCount() > 0 ? model().GetListName(0) : QString(), c.list) << what;
    }
    QLoggingCategory::setFilterRules(QString());
    EXPECT_EQ(answerer.Unexpected(), 0);
    // The temporary folder is removed by names Qt may not be able to make.
    EXPECT_EQ(::unlink((QFile::encodeName(dir.Path()) + '/' + bytes).constData()), 0);
}

// Every refused file leaves the new, empty document named after it, an empty tree and the
// flag as it was, and a warning that names the file and the reason.
TEST_F(MainWindowFileTest, OpenOfARefusedFileLeavesAnEmptyDocumentAndSaysWhy)
{
    const QString fifo = dir.Path() + QStringLiteral("/pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString locked = Write("locked.xml", "<doc/>\n");
    QFile holder(locked);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(holder.handle(), LOCK_EX), 0);
    const QString loop = dir.Path() + QStringLiteral("/loop.xml");
    ASSERT_TRUE(QFile::link(loop + QStringLiteral(".2"), loop));
    ASSERT_TRUE(QFile::link(loop, loop + QStringLiteral(".2")));
    const QByteArray levels =
        QByteArray("<a>").repeated(60000) + QByteArray("</a>").repeated(60000);
    const struct
    {
        QString name;
        const char* reason;
        const char* diagnostic;
    } cases[] = {
        {Data("cut-short.xml"), "It is not well-formed XML: ", ""},
        {Data("nul-inside.xml"), "It is not well-formed XML: ", ""},
        {fifo, "It is not a regular file.", ""},
        {loop, "It cannot be read: Too many levels of symbolic links.", ""},
        {dir.Path(), "It is not a regular file.", ""},
        {Write("latin1.xml", "<doc><list><name>Caf\xE9</name></list></doc>"),
         "It is not valid UTF-8 text.", ""},
        {Write("deep.xml", "<doc>&nbsp;" + levels + "</doc>"),
         "Its elements are nested deeper than 256 levels.",
         "Xml nesting is deeper than 256 levels.\n"},
        {Write("entity.xml", "<!DOCTYPE doc [<!ENTITY e \"" + levels + "\">]><doc>&nbsp;&e;</doc>"),
         "Its elements are nested deeper than 256 levels.",
         "Xml nesting is deeper than 256 levels.\n"},
        {Write("broken.xml", "<?XML a b?><doc>&nbsp;" + levels + "</doc>"),
         "It is not well-formed XML: ", ""},
        {Write("other-root.xml", "<Doc><list><name>x</name></list></Doc>"),
         "It cannot be loaded as a checklist: no <doc> element.", "Parse error in global part\n"},
        {Write("control.xml", "<doc>\n<list><name>A\x0c"
                              "B</name></list></doc>"),
         "It is not well-formed XML: a character XML does not allow at line 2, column 14.", ""},
    };
    for (bool modified : {false, true}) {
        for (const auto& c : cases) {
            Watchdog watchdog("opening a refused file", 60);
            gui::FillModel(tester.Model(), {2});
            window.RebuildTree();
            tester.SetModified(modified);
            testing::internal::CaptureStderr();
            const QString warning = OpenWarned(c.name);
            EXPECT_EQ(WithoutToolkitMessages(testing::internal::GetCapturedStderr()), c.diagnostic);
            const QString expected =
                QStringLiteral("Warning|The checklist could not be opened from \"") +
                QDir::toNativeSeparators(c.name) + QStringLiteral("\".\n") +
                QLatin1String(c.reason);
            EXPECT_TRUE(warning.startsWith(expected))
                << warning.toStdString() << "\nexpected: " << expected.toStdString();
            EXPECT_EQ(model().GetListCount(), 0);
            EXPECT_EQ(model().GetFileName(), c.name);
            EXPECT_EQ(tree()->topLevelItemCount(), 0);
            EXPECT_EQ(tester.Modified(), modified);
        }
    }
    EXPECT_TRUE(
        OpenWarned(Data("nul-at-end.xml"))
            .endsWith(QStringLiteral("a character XML does not allow at line 1, column 40.")))
        << "nothing is cut at a NUL";
    EXPECT_EQ(answerer.Unexpected(), 0);
}

// Qt 5's DOM check skips an undeclared entity, so such a file still loads there (Qt 6's refuses
// it, naming the entity); and so does a file in an encoding it declares.
TEST_F(MainWindowFileTest, OpenLoadsUndeclaredEntitiesAndDeclaredEncodings)
{
    const QString warned =
        OpenWarned(Write("nbsp.xml", "<doc><list><name>a&nbsp;b</name></list></doc>"));
    if (kDomCheckReadsUndeclaredEntities) {
        EXPECT_EQ(warned, QString());
        ASSERT_EQ(model().GetListCount(), 1);
        EXPECT_EQ(model().GetListName(0), QStringLiteral("a&nbsp;b"));
    } else {
        EXPECT_TRUE(warned.contains(QStringLiteral("Entity 'nbsp' not declared")))
            << warned.toStdString();
    }

    QByteArray utf16("\xFF\xFE", 2);
    for (QChar c : QStringLiteral("<doc><list><name>Caf\u00e9 \U0001F600</name></list></doc>"))
        utf16 += QByteArray(1, static_cast<char>(c.unicode() & 0xFF)) +
                 QByteArray(1, static_cast<char>(c.unicode() >> 8));
    EXPECT_EQ(OpenWarned(Write("utf16.xml", utf16)), QString());
    EXPECT_EQ(model().GetListName(0), QStringLiteral("Caf\u00e9 \U0001F600"));
    EXPECT_EQ(OpenWarned(Write("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                                             "<doc><list><name>Caf\xE9</name></list></doc>")),
              QString());
    EXPECT_EQ(model().GetListName(0), QStringLiteral("Caf\u00e9"));
}

// A text of megabytes loads whole, but the tree lays out no more of it than a column can show.
TEST_F(MainWindowFileTest, LongTextsLoadWholeAndTheTreeMeasuresOnlyTheirStart)
{
    Watchdog watchdog("showing a 10 MB list name", 120);
    const QByteArray name(10'000'000, 'W');
    EXPECT_EQ(OpenWarned(Write("long.xml", "<doc><list><name>" + name + "</name><item><name>" +
                                               name + "</name></item></list></doc>")),
              QString());
    ASSERT_EQ(model().GetListCount(), 1);
    EXPECT_EQ(model().GetListName(0).size(), name.size());
    QTreeWidgetItem* row = tree()->topLevelItem(0);
    EXPECT_EQ(row->text(0).size(), name.size());

    window.show();
    QApplication::processEvents();
    QStyleOptionViewItem option;
    option.initFrom(tree());
    const QModelIndex index = tree()->model()->index(0, 0);
    const int width = tree()->itemDelegate()->sizeHint(option, index).width();
    tree()->addTopLevelItem(new QTreeWidgetItem(QStringList{QString(4096, QLatin1Char('W'))}));
    const int shown =
        tree()->itemDelegate()->sizeHint(option, tree()->model()->index(1, 0)).width();
    EXPECT_EQ(width, shown);
    EXPECT_FALSE(tree()->grab().isNull());
}

TEST_F(MainWindowFileTest, SaveWritesTheChosenNameAsIsAndClearsTheFlag)
{
    gui::FillModel(tester.Model(), {2, 0});
    window.RebuildTree();
    tester.SetModified(true);
    const QString name = dir.Path() + QStringLiteral("/no-extension");
    Save(name);
    EXPECT_FALSE(tester.Modified());
    EXPECT_EQ(model().GetFileName(), name);
    EXPECT_TRUE(QFile::exists(name)) << "nothing is appended to the name";
    EXPECT_FALSE(QFile::exists(name + QStringLiteral(".xml")));
    EXPECT_TRUE(support::ReadAll(name).contains("<name>L0I1</name>"));
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
    EXPECT_TRUE(QDir(dir.Path()).entryList(QDir::Files).isEmpty());
}

// The warning names the file and the reason, and says the previous content is unchanged only
// where there was one.
TEST_F(MainWindowFileTest, FailedSaveWarnsWithTheFileNameAndTheTruth)
{
    const QString fifo = dir.Path() + QStringLiteral("/pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString locked = Write("locked.xml", "<doc/>\n");
    QFile holder(locked);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(holder.handle(), LOCK_EX), 0);
    const struct
    {
        QString name;
        const char* reason;
    } cases[] = {
        {dir.Path() + QStringLiteral("/missing/x.xml"),
         "It cannot be created: No such file or directory."},
        {fifo, "It is not a regular file.\nThe previous content of that file is unchanged."},
        // held by another program: the window waits, painted, until the user gives up
        {locked, "It is locked by another program.\nThe previous content of that file is "
                 "unchanged."},
    };
    for (const auto& c : cases) {
        gui::FillModel(tester.Model(), {1});
        tester.SetModified(true);
        QString warning;
        // The lock's wait dialog comes first where another program holds the file.
        ModalAnswerer::Answer answer = [&](QWidget* box) {
            if (auto* progress = qobject_cast<QProgressDialog*>(box)) {
                EXPECT_EQ(progress->objectName(), QStringLiteral("lockWaitDialog"));
                progress->cancel();
                answerer.Arm(answer);
            } else if (auto* message = qobject_cast<QMessageBox*>(box)) {
                EXPECT_EQ(message->icon(), QMessageBox::Warning);
                warning = message->windowTitle() + QLatin1Char('|') + message->text();
                message->accept();
            }
        };
        answerer.Arm([&](QWidget* modal) {
            // The dialog itself would refuse a missing folder; return the name directly.
            gui::ChooseFile(modal, c.name, false);
            answerer.Arm(answer);
        });
        ASSERT_TRUE(gui::Click(&window, "saveButton"));
        QTest::qWait(50);
        ASSERT_EQ(model().GetFileName(), c.name) << "the dialog did not return the chosen name";
        EXPECT_EQ(warning, QStringLiteral("Warning|The checklist could not be saved to \"") +
                               QDir::toNativeSeparators(c.name) + QStringLiteral("\".\n") +
                               QLatin1String(c.reason));
        EXPECT_TRUE(tester.Modified());
    }
    EXPECT_TRUE(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo));
}

// What an interrupted save kept is the user's to decide about once the file is read, also a file
// that is refused: opened in its place, unsaved, under the file's name where the record is proven
// to be its own, else under the record's; kept for later; or discarded, "anyway" where it is not
// proven. Only a save of it, or discarding it, ends it.
TEST_F(MainWindowFileTest, OpenLetsTheUserDecideAboutWhatAnInterruptedSaveKept)
{
    const QByteArray now("<doc><list><name>now</name></list></doc>");
    const struct
    {
        const char* button;
        const char* shown;
        bool recordStays;
        bool modified;
        QByteArray file;
        bool proven;
    } cases[] = {
        {"openKeptCopy", "kept", true, true, now, true},
        {"keepKeptCopy", "now", true, false, now, true},
        {"discardKeptCopy", "now", false, false, now, true},
        {"keepKeptCopy", "", true, false, "<doc><list>", true},
        {"discardKeptCopy", "", false, false, "<doc><list>", true},
        {"openKeptCopy", "kept", true, true, now, false},
        {"discardKeptCopy", "now", false, false, now, false},
    };
    for (const auto& c : cases) {
        const QString path = Write("list.xml", c.file);
        file::Identity identity;
        ASSERT_EQ(file::Identify(-1, QFile::encodeName(path), &identity), 0);
        if (!c.proven)
            identity.born = "000000000001"; // of a file that was at its place before
        QString kept;
        {
            // left as a save killed after it leaves it
            file::SaveRecord record(zuchecklist::CheckListContainer::FileNames());
            const QByteArray bytes("<doc><list><name>kept</name></list></doc>");
            ASSERT_TRUE(record.Start(identity, QFile::encodeName(path)));
            record.Output()->Write(bytes.constData(), static_cast<unsigned>(bytes.size()));
            ASSERT_TRUE(record.Publish());
            kept = record.Path();
        }
        QString asked, refused;
        answerer.Arm([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            asked = modal->objectName() + QLatin1Char('|') + box->text() + QLatin1Char('|') +
                    box->buttons().last()->text();
            answerer.Arm([&refused](QWidget* warning) {
                refused = qobject_cast<QMessageBox*>(warning)->text();
                qobject_cast<QMessageBox*>(warning)->accept();
            });
            EXPECT_TRUE(gui::Click(modal, c.button));
        });
        tester.OpenFile(path);
        QTest::qWait(50);
        answerer.Arm(nullptr);
        const QString said =
            c.proven
                ? QStringLiteral("A save of it on ")
                : QStringLiteral("A save of \"%1\" on ").arg(QFileInfo(path).canonicalFilePath());
        EXPECT_TRUE(asked.startsWith(QStringLiteral("keptCopyBox|\"%1\"\n").arg(path) + said))
            << asked.toStdString();
        EXPECT_TRUE(asked.endsWith(
            QStringLiteral(" Its new content is kept in \"%1\".|").arg(kept) +
            (c.proven ? QStringLiteral("Discard It") : QStringLiteral("Discard It Anyway"))))
            << asked.toStdString();
        EXPECT_EQ(refused.startsWith(QStringLiteral("The checklist could not be opened")),
                  c.file != now)
            << refused.toStdString();
        EXPECT_EQ(model().GetListName(0), QLatin1String(c.shown)) << c.button;
        EXPECT_EQ(model().GetFileName(),
                  c.proven || c.shown != QLatin1String("kept") ? path : kept);
        EXPECT_EQ(tester.Modified(), c.modified) << c.button;
        EXPECT_EQ(tester.Unsaved(), c.modified) << c.button; // closing asks first
        EXPECT_EQ(QFileInfo::exists(kept), c.recordStays) << c.button;
        QFile::remove(kept);
        tester.SetModified(false);
    }
    EXPECT_EQ(answerer.Unexpected(), 0);
}

} // namespace
