// RebuildTree against a bare QTreeWidget filled in bulk with the same rows, in one run; Delete
// through the window and its history against the same steps without one; and, with
// --history-memory, what the history of the largest document holds.
#include "PeakMemory.h"
#include "tests/support/GuiDriver.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

constexpr int kRowsPerList = 100; // one list row and 99 item rows

void FillModel(zuchecklist::CheckListContainer& model, int rows)
{
    for (int l = 0; l < rows / kRowsPerList; ++l) {
        model.AddList(QStringLiteral("Checklist %1").arg(l));
        for (int i = 0; i < kRowsPerList - 1; ++i)
            model.AddItem(QStringLiteral("Item %1 of list %2").arg(i).arg(l),
                          QStringLiteral("CHECK %1").arg(i), l);
    }
}

void RebuildTree(benchmark::State& state)
{
    MainWindow window;
    MainWindowTester tester(window);
    FillModel(tester.Model(), static_cast<int>(state.range(0)));
    window.show();
    for (auto _ : state) {
        window.RebuildTree();
        QCoreApplication::processEvents(); // the view lays out the expanded rows
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same rows and texts, built without the document and handed over in one call.
void BareBulkFill(benchmark::State& state)
{
    const int lists = static_cast<int>(state.range(0)) / kRowsPerList;
    QVector<QString> names, texts, actions, numbers;
    for (int i = 0; i < qMax(lists, kRowsPerList); ++i)
        numbers << QString::number(i);
    for (int l = 0; l < lists; ++l) {
        names << QStringLiteral("Checklist %1").arg(l);
        for (int i = 0; i < kRowsPerList - 1; ++i)
            texts << QStringLiteral("Item %1 of list %2").arg(i).arg(l);
    }
    for (int i = 0; i < kRowsPerList - 1; ++i)
        actions << QStringLiteral("CHECK %1").arg(i);

    QWidget window;
    auto* tree = new QTreeWidget(&window);
    tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Action")});
    window.resize(640, 480);
    tree->resize(620, 400);
    window.show();
    for (auto _ : state) {
        tree->clear();
        QList<QTreeWidgetItem*> top;
        top.reserve(lists);
        int t = 0;
        for (int l = 0; l < lists; ++l) {
            auto* row = new QTreeWidgetItem;
            row->setText(0, names[l]);
            row->setText(2, numbers[l]);
            QList<QTreeWidgetItem*> children;
            children.reserve(kRowsPerList - 1);
            for (int i = 0; i < kRowsPerList - 1; ++i)
                children.append(new QTreeWidgetItem(
                    QStringList{texts[t++], actions[i], numbers[l], numbers[i]}));
            row->addChildren(children);
            top.append(row);
        }
        tree->addTopLevelItems(top);
        tree->expandAll();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Each iteration deletes the first item of the first list that has one, so the document stays
// near its size; with 'bare', as the window did before it kept a history.
void Delete(benchmark::State& state, bool bare)
{
    MainWindow window;
    MainWindowTester tester(window);
    FillModel(tester.Model(), static_cast<int>(state.range(0)));
    window.RebuildTree();
    window.show();
    QCoreApplication::processEvents();
    QTreeWidget* tree = tester.Tree();
    auto* button = window.findChild<QPushButton*>(QStringLiteral("deleteButton"));
    int list = 0;
    for (auto _ : state) {
        state.PauseTiming();
        while (tree->topLevelItem(list)->childCount() == 0)
            ++list;
        QTreeWidgetItem* listRow = tree->topLevelItem(list);
        tree->setCurrentItem(listRow->child(0));
        state.ResumeTiming();
        if (!bare) {
            button->click();
            continue;
        }
        QTreeWidgetItem* row = listRow->takeChild(0);
        tester.Model().DeleteItem(list, 0);
        delete row;
        for (int i = 0; i < listRow->childCount(); ++i)
            listRow->child(i)->setText(3, QString::number(i));
    }
}

std::int64_t Resident()
{
    malloc_trim(0);
    return peak::StatusBytes("VmRSS:");
}

// Resident memory the history holds after 100 Deletes of items and then a Clear.
void PrintHistoryMemory(int rows)
{
    MainWindow window;
    MainWindowTester tester(window);
    FillModel(tester.Model(), rows);
    window.RebuildTree();
    auto* history = window.findChild<QUndoStack*>(QStringLiteral("history"));
    for (int i = 0; i < 100; ++i) {
        tester.Tree()->setCurrentItem(tester.Tree()->topLevelItem(i)->child(0));
        window.findChild<QPushButton*>(QStringLiteral("deleteButton"))->click();
    }
    const std::int64_t deletes = Resident();
    history->clear();
    std::printf("history of %d rows: 100 Deletes hold %.1f KiB\n", rows,
                static_cast<double>(deletes - Resident()) / 1024);
    tester.SetModified(false);
    window.findChild<QPushButton*>(QStringLiteral("clearButton"))->click();
    const std::int64_t cleared = Resident();
    history->clear();
    std::printf("a Clear holds %.1f MiB, the document it replaced\n",
                static_cast<double>(cleared - Resident()) / (1 << 20));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep freed memory in the process: otherwise every iteration pays the page faults of a
    // fresh heap, and whichever benchmark runs second profits from the first one's.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--history-memory") == 0) {
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        PrintHistoryMemory(1000000);
        return 0;
    }
    for (const bool bare : {true, false})
        benchmark::RegisterBenchmark(bare ? "BareDelete" : "Delete", Delete, bare)
            ->Arg(1000000)
            ->Unit(benchmark::kMicrosecond);
    // Side by side at each size.
    for (int rows : {10000, 100000, 1000000}) {
        benchmark::RegisterBenchmark("BareBulkFill", BareBulkFill)
            ->Arg(rows)
            ->MinWarmUpTime(1.0)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("RebuildTree", RebuildTree)
            ->Arg(rows)
            ->MinWarmUpTime(1.0)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
