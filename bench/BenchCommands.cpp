// The window's commands on the 1,000,000-item document, each pressed as its button and as its
// keys, and undone and redone; and a paste of 100,000 items beside opening a file of the same
// lists. Every command, key and paste is timed with the events it leaves (the view's layout),
// and taken back untimed, so that every run starts from the same document:
//   Button/<command>, Key/<command>/<keys>   the change alone;
//   Undo/<command>                           Ctrl+Z then Ctrl+Y after the button's change;
//   Open/100000, PasteText/100000, PasteOwn/100000
//                                            the lists opened from a file, or pasted into an
//                                            empty document as plain text or in the own form.
// With --buttons only the buttons and their undo are registered, which any version of the
// window has.
#include "SampleChecklist.h"

#include "Common/CheckList/CheckListClipboard.h"
#include "tests/support/GuiDriver.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 1000000;
constexpr int kPasted = 100000;

// One shown window per document size, kept for the whole run.
struct Shown
{
    MainWindow window;
    MainWindowTester tester{window};

    explicit Shown(int items)
    {
        sample::Fill(tester.Model(), items);
        window.RebuildTree();
        window.show();
        QCoreApplication::processEvents();
    }
    void Select(int list, int item)
    {
        QTreeWidgetItem* row = tester.Tree()->topLevelItem(list);
        tester.Tree()->setCurrentItem(item < 0 ? row : row->child(item));
    }
    void Press(const char* keys)
    {
        QApplication::setActiveWindow(&window);
        QTest::keySequence(tester.Tree(), QKeySequence(QLatin1String(keys)));
        QCoreApplication::processEvents();
    }
    void Click(const char* button)
    {
        window.findChild<QPushButton*>(QLatin1String(button))->click();
        QCoreApplication::processEvents();
    }
};

// Left to the end of the process: widgets outlive no application object.
Shown& Large()
{
    static Shown* shown = new Shown(kItems);
    return *shown;
}

// Accepts the dialog the next command opens, with 'text' in its first field where given.
void AcceptNextDialog(const QString& text = QString())
{
    QTimer::singleShot(0, [text] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!text.isNull())
            dialog->findChild<QLineEdit*>()->setText(text);
        dialog->accept();
    });
}

struct Command
{
    const char* name;
    int list, item;      // the row made current first; item -1 for the list row
    const char* button;  // the button, or null
    bool dialog;         // the command asks in a dialog
    const char* keys[3]; // keys that do the same
};

const Command kCommands[] = {
    {"DeleteItem", 5000, 50, "deleteButton", false, {"Del", "Ctrl+X"}},
    {"DeleteList", 5000, -1, "deleteButton", false, {"Del", "Ctrl+X"}},
    {"EditItem", 5000, 50, "editButton", true, {"Return", "F2"}},
    // Add Item puts its item at the end of the list, and a paste or a duplicate of the last
    // item too; in the middle of a list they put it after the current one.
    {"AddItem", 5000, 99, "addItemButton", true, {"Ins", "Ctrl+V", "Ctrl+D"}},
    {"AddItemMiddle", 5000, 50, "addItemButton", true, {"Ctrl+V", "Ctrl+D"}},
    // The same for lists, at the end of the document and in its middle.
    {"AddList", 9999, -1, "addListButton", true, {"Ctrl+Shift+N", "Ctrl+V", "Ctrl+D"}},
    {"AddListMiddle", 5000, -1, "addListButton", true, {"Ctrl+V", "Ctrl+D"}},
    {"MoveItem", 5000, 50, "upButton", false, {"Alt+Up"}},
    {"MoveList", 5000, -1, "upButton", false, {"Alt+Up"}},
};

// What Ctrl+V pastes for a command: the row itself, copied.
void PrepareClipboard(Shown& shown, const Command& command)
{
    shown.Select(command.list, command.item);
    shown.Press("Ctrl+C");
}

void Run(benchmark::State& state, const Command& command, const char* keys, bool undo)
{
    Shown& shown = Large();
    if (keys && std::strcmp(keys, "Ctrl+V") == 0)
        PrepareClipboard(shown, command);
    for (auto _ : state) {
        state.PauseTiming();
        shown.Select(command.list, command.item);
        if (undo) {
            if (command.dialog)
                AcceptNextDialog();
            shown.Click(command.button);
            state.ResumeTiming();
            shown.Press("Ctrl+Z");
            shown.Press("Ctrl+Y");
        } else {
            const bool copies =
                keys && (std::strcmp(keys, "Ctrl+V") == 0 || std::strcmp(keys, "Ctrl+D") == 0);
            const bool asks = command.dialog && !copies;
            if (asks)
                AcceptNextDialog();
            state.ResumeTiming();
            if (keys)
                shown.Press(keys);
            else
                shown.Click(command.button);
        }
        state.PauseTiming();
        shown.Press("Ctrl+Z");
        shown.tester.SetModified(false);
        state.ResumeTiming();
    }
}

// The same lists as a file and as the clipboard's two forms.
struct Pasted
{
    QTemporaryDir folder;
    QString file;
    QString empty;
    zuchecklist::CheckListPiece piece;
};

Pasted& Lists()
{
    static Pasted pasted;
    if (pasted.file.isEmpty()) {
        pasted.file = pasted.folder.filePath(QStringLiteral("lists.xml"));
        pasted.empty = pasted.folder.filePath(QStringLiteral("empty.xml"));
        zuchecklist::CheckListContainer document(pasted.file);
        sample::Fill(document, kPasted);
        document.WriteXML();
        zuchecklist::CheckListContainer(pasted.empty).WriteXML();
        pasted.piece.lists = document.TakeLists(0, document.GetListCount());
    }
    return pasted;
}

void OpenOrPaste(benchmark::State& state, int form)
{
    Pasted& lists = Lists();
    static Shown& shown = *new Shown(0);
    auto* data = new QMimeData;
    if (form == 1)
        data->setText(zuchecklist::CheckListClipboard::ToText(lists.piece));
    else
        zuchecklist::CheckListClipboard::Put(
            lists.piece, QStringLiteral("application/x-vellorin-checklist+xml"), data);
    QGuiApplication::clipboard()->setMimeData(data);
    for (auto _ : state) {
        state.PauseTiming();
        shown.tester.OpenFile(lists.empty);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        if (form == 0)
            shown.tester.OpenFile(lists.file);
        else
            shown.Press("Ctrl+V");
        QCoreApplication::processEvents();
        if (shown.tester.Model().GetListCount() != kPasted / sample::kItemsPerList)
            state.SkipWithError("the lists did not arrive");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bool buttonsOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--buttons") == 0) {
            buttonsOnly = true;
            std::rotate(argv + i, argv + i + 1, argv + argc);
            argv[--argc] = nullptr;
            break;
        }
    }
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    for (const Command& command : kCommands) {
        const std::string name = command.name;
        benchmark::RegisterBenchmark(("Button/" + name).c_str(), Run, command, nullptr, false)
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Undo/" + name).c_str(), Run, command, nullptr, true)
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
        for (const char* keys : command.keys) {
            if (keys && !buttonsOnly)
                benchmark::RegisterBenchmark(("Key/" + name + "/" + keys).c_str(), Run, command,
                                             keys, false)
                    ->Iterations(5)
                    ->Unit(benchmark::kMillisecond);
        }
    }
    if (!buttonsOnly) {
        const char* forms[] = {"Open", "PasteText", "PasteOwn"};
        for (int form = 0; form < 3; ++form)
            benchmark::RegisterBenchmark((std::string(forms[form]) + "/100000").c_str(),
                                         OpenOrPaste, form)
                ->Iterations(3)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
