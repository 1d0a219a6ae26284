// Opening, saving and showing checklists of 1,000 to 1,000,000 items, each beside its reference
// in the same run, on the same file written by WriteXML:
//   Open       the window's whole Open path (reader with its checks, ParseXML, RebuildTree);
//   BareSteps  the same work done bare one step after the other: QFile::readAll,
//              QString::fromUtf8, QDomDocument::setContent, toUtf8, ParseXML, RebuildTree;
//   DomCheck   the DOM check alone on bytes already in memory (fromUtf8 + setContent);
//   Reader     CheckListReader::ReadFile alone, the first step of Open;
//   Scan       the reader's one scan (LoadChecks::Scan) alone;
//   Save       WriteXML;              Fwrite    one fwrite of the same bytes;
//   RebuildTree on a shown window;    BulkFill  a bare QTreeWidget filled in bulk with the rows.
// Open, BareSteps and DomCheck also report their peak memory (peak_MB, see PeakMemory.h), each
// measured once in a forked child, and run once untimed before they are timed. Each timed run
// of these and of Reader starts from a trimmed heap (StartCold). The ratios are printed after the
// run from the medians (or the single runs without --benchmark_repetitions), on the CPU time of the
// process: on a shared machine that moves less than the wall time. Open against the bare steps is
// also given for the fastest repetitions, the figure least disturbed by other work.
#include "PeakMemory.h"
#include "SampleChecklist.h"

#include "Common/CheckList/CheckListReader.h"
#include "Common/CheckList/LoadChecks.h"
#include "tests/support/GuiDriver.h"

#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

using sample::kItemsPerList;
const int kSizes[] = {1000, 10000, 100000, 1000000};

// Temporary files go to memory where possible, so the figures show the code, not the disk.
QString Folder()
{
    static QTemporaryDir dir(QFile::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/vellorin-bench-XXXXXX")
                                 : QString());
    return dir.path();
}

// The file of one size, written by WriteXML, and its bytes. Only one size is kept at a time:
// the benchmarks run size by size.
struct Saved
{
    QString file;
    QByteArray bytes;
};

const Saved& SavedFile(int items)
{
    static int current = 0;
    static Saved saved;
    if (current != items) {
        if (!saved.file.isEmpty())
            QFile::remove(saved.file);
        saved = Saved{Folder() + QStringLiteral("/open-%1.xml").arg(items), QByteArray()};
        {
            zuchecklist::CheckListContainer model(saved.file);
            sample::Fill(model, items);
            model.WriteXML();
        }
        QFile file(saved.file);
        file.open(QIODevice::ReadOnly);
        saved.bytes = file.readAll();
        current = items;
    }
    return saved;
}

// A document loaded from the saved file, as Open leaves it.
std::unique_ptr<zuchecklist::CheckListContainer> Loaded(const Saved& saved, const QString& name)
{
    auto model = std::make_unique<zuchecklist::CheckListContainer>(name);
    QByteArray text = saved.bytes;
    model->ParseXML(text.data());
    return model;
}

// Each peak is measured once per benchmark and size, however often the benchmark runs. The
// first time, the steps also run once untimed, so that no benchmark pays for being the first
// of its size in the process.
template <typename Step> void ReportPeak(benchmark::State& state, const std::string& key, Step step)
{
    static std::map<std::string, std::int64_t> peaks;
    auto found = peaks.find(key);
    if (found == peaks.end()) {
        found = peaks.emplace(key, peak::InChild(step)).first;
        step();
    }
    state.counters["peak_MB"] = found->second < 0 ? -1.0 : found->second / (1024.0 * 1024.0);
}

bool g_keepMemory = false;

// Each run of the steps Open is compared with starts from the same heap: one that has given
// back to the system every page it does not use. Otherwise a run inherits the pages, warm or
// trimmed, that the previous benchmark happened to leave, and the order of the benchmarks
// decides part of the ratio. With --keep-memory the heap keeps its pages instead.
void StartCold(benchmark::State& state)
{
    if (g_keepMemory)
        return;
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
}

void Finish(benchmark::State& state, const Saved& saved)
{
    state.SetBytesProcessed(state.iterations() * saved.bytes.size());
    state.counters["file_MB"] = saved.bytes.size() / (1024.0 * 1024.0);
}

void Open(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    MainWindow window;
    MainWindowTester tester(window);
    auto open = [&] {
        tester.OpenFile(saved.file);
        if (tester.Model().GetListCount() != state.range(0) / kItemsPerList)
            state.SkipWithError("the file did not open");
    };
    ReportPeak(state, "Open/" + std::to_string(state.range(0)), open);
    for (auto _ : state) {
        StartCold(state);
        open();
    }
    Finish(state, saved);
}

void BareSteps(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    MainWindow window;
    MainWindowTester tester(window);
    auto steps = [&] {
        // The previous document and its rows go first, as in Open.
        tester.Tree()->clear();
        tester.Model() = zuchecklist::CheckListContainer(saved.file);
        QFile file(saved.file);
        file.open(QIODevice::ReadOnly);
        QByteArray bytes = file.readAll();
        file.close();
        const QString text = QString::fromUtf8(bytes);
        bytes.clear();
        {
            QDomDocument check;
            benchmark::DoNotOptimize(check.setContent(text, false));
        }
        QByteArray utf8 = text.toUtf8();
        zuchecklist::CheckListContainer model(saved.file);
        model.ParseXML(utf8.data());
        utf8.clear();
        tester.Model() = std::move(model);
        window.RebuildTree();
    };
    ReportPeak(state, "BareSteps/" + std::to_string(state.range(0)), steps);
    for (auto _ : state) {
        StartCold(state);
        steps();
    }
    Finish(state, saved);
}

void DomCheck(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    auto check = [&] {
        const QString text = QString::fromUtf8(saved.bytes);
        QDomDocument document;
        benchmark::DoNotOptimize(document.setContent(text, false));
    };
    ReportPeak(state, "DomCheck/" + std::to_string(state.range(0)), check);
    for (auto _ : state) {
        StartCold(state);
        check();
    }
    Finish(state, saved);
}

// The first step of Open alone: the reader with its checks, the DOM check among them.
void Reader(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        StartCold(state);
        zuchecklist::CheckListReader reader;
        if (!reader.ReadFile(saved.file).Ok())
            state.SkipWithError("the reader refused the file");
    }
    Finish(state, saved);
}

// The reader's linear walk alone, which Open does beyond the bare steps.
void Scan(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(zuchecklist::LoadChecks::Scan(saved.bytes.constData()).elements);
    Finish(state, saved);
}

void Save(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    const auto model = Loaded(saved, Folder() + QStringLiteral("/save.xml"));
    for (auto _ : state)
        benchmark::DoNotOptimize(model->WriteXML());
    Finish(state, saved);
}

void Fwrite(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    const QByteArray name = QFile::encodeName(Folder() + QStringLiteral("/fwrite.xml"));
    for (auto _ : state) {
        std::FILE* file = std::fopen(name.constData(), "wb");
        std::fwrite(saved.bytes.constData(), 1, static_cast<std::size_t>(saved.bytes.size()), file);
        std::fclose(file);
    }
    Finish(state, saved);
}

void RebuildTree(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    MainWindow window;
    MainWindowTester tester(window);
    tester.Model() = std::move(*Loaded(saved, saved.file));
    window.show();
    for (auto _ : state) {
        window.RebuildTree();
        QCoreApplication::processEvents(); // the view lays out the expanded rows
    }
    Finish(state, saved);
}

// The same rows, from the same document, handed to a bare tree in one call.
void BulkFill(benchmark::State& state)
{
    const Saved& saved = SavedFile(static_cast<int>(state.range(0)));
    const auto model = Loaded(saved, saved.file);
    QVector<QString> numbers;
    for (int i = 0; i < qMax(model->GetListCount(), kItemsPerList); ++i)
        numbers << QString::number(i);
    QTreeWidget view;
    QTreeWidget* tree = &view;
    tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Action")});
    tree->resize(640, 480);
    tree->show();
    for (auto _ : state) {
        tree->clear();
        QList<QTreeWidgetItem*> top;
        for (int l = 0; l < model->GetListCount(); ++l) {
            auto* row = new QTreeWidgetItem(
                QStringList{model->GetListName(l), QString(), numbers[l], QString()});
            QList<QTreeWidgetItem*> children;
            for (int i = 0; i < model->GetItemCount(l); ++i)
                children.append(new QTreeWidgetItem(QStringList{
                    model->GetItemText(l, i), model->GetItemAction(l, i), numbers[l], numbers[i]}));
            row->addChildren(children);
            top.append(row);
        }
        tree->addTopLevelItems(top);
        tree->expandAll();
        QCoreApplication::processEvents();
    }
    Finish(state, saved);
}

// Keeps the median (or the only run) and the fastest run of every benchmark, to print the
// ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    struct Figures
    {
        double seconds = 0; // the median, or the only run
        double fastest = 0;
        double peakMB = -1;
    };

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            // Such as "Open/10000".
            Figures& figures = m_figures[run.run_name.function_name + "/" + run.run_name.args];
            const double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (median) {
                figures.seconds = seconds;
            } else {
                if (run.repetition_index <= 0)
                    figures.seconds = seconds;
                if (figures.fastest == 0 || seconds < figures.fastest)
                    figures.fastest = seconds;
            }
            const auto peakCounter = run.counters.find("peak_MB");
            if (peakCounter != run.counters.end())
                figures.peakMB = peakCounter->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const
    {
        auto get = [&](const char* name, int items) {
            const auto found = m_figures.find(std::string(name) + "/" + std::to_string(items));
            return found == m_figures.end() ? Figures{} : found->second;
        };
        auto ratio = [](double a, double b) { return a > 0 && b > 0 ? a / b : 0.0; };
        std::printf("\nOpen (CPU ms, peak MB; O/B fastest: the ratio of the fastest runs)\n%-9s "
                    "%9s %9s %9s "
                    "%9s %9s %6s %6s %6s %9s %9s %9s %6s %6s\n",
                    "items", "Open", "Bare", "DOM", "Reader", "Scan", "O/B", "O/D", "fast",
                    "Open MB", "Bare MB", "DOM MB", "O/B", "O/D");
        for (int items : kSizes) {
            const Figures open = get("Open", items), bare = get("BareSteps", items),
                          dom = get("DomCheck", items), reader = get("Reader", items),
                          scan = get("Scan", items);
            if (open.seconds > 0)
                std::printf(
                    "%-9d %9.1f %9.1f %9.1f %9.1f %9.1f %6.2f %6.2f %6.2f %9.1f %9.1f %9.1f %6.2f "
                    "%6.2f\n",
                    items, open.seconds * 1e3, bare.seconds * 1e3, dom.seconds * 1e3,
                    reader.seconds * 1e3, scan.seconds * 1e3, ratio(open.seconds, bare.seconds),
                    ratio(open.seconds, dom.seconds), ratio(open.fastest, bare.fastest),
                    open.peakMB, bare.peakMB, dom.peakMB, ratio(open.peakMB, bare.peakMB),
                    ratio(open.peakMB, dom.peakMB));
        }
        std::printf("\nSave and tree (CPU ms)\n%-9s %9s %9s %9s %9s %9s %9s\n", "items", "Save",
                    "fwrite", "S/F", "Tree", "Bulk", "T/B");
        for (int items : kSizes) {
            const Figures save = get("Save", items), fwrite = get("Fwrite", items),
                          tree = get("RebuildTree", items), bulk = get("BulkFill", items);
            if (save.seconds > 0 || tree.seconds > 0)
                std::printf("%-9d %9.1f %9.1f %9.2f %9.1f %9.1f %9.2f\n", items, save.seconds * 1e3,
                            fwrite.seconds * 1e3, ratio(save.seconds, fwrite.seconds),
                            tree.seconds * 1e3, bulk.seconds * 1e3,
                            ratio(tree.seconds, bulk.seconds));
        }
        std::fflush(stdout);
    }

private:
    std::map<std::string, Figures> m_figures;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // --keep-memory: freed memory stays in the process, so that every iteration reuses pages
    // already touched instead of paying the page faults of fresh memory. The peaks are still
    // measured from a trimmed heap.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep-memory") == 0) {
            g_keepMemory = true;
            mallopt(M_TRIM_THRESHOLD, INT_MAX);
            mallopt(M_MMAP_THRESHOLD, 1 << 30);
            std::rotate(argv + i, argv + i + 1, argv + argc);
            argv[--argc] = nullptr;
            break;
        }
    }
    QApplication app(argc, argv);
    // The load trace writes a line per list and item; nobody reads it here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    for (int items : kSizes) {
        using Function = void (*)(benchmark::State&);
        const std::pair<const char*, Function> benchmarks[] = {
            {"Open", Open},           {"Reader", Reader},           {"Scan", Scan},
            {"BareSteps", BareSteps}, {"DomCheck", DomCheck},       {"Save", Save},
            {"Fwrite", Fwrite},       {"RebuildTree", RebuildTree}, {"BulkFill", BulkFill}};
        for (const auto& [name, function] : benchmarks) {
            auto* b = benchmark::RegisterBenchmark(name, function)
                          ->Arg(items)
                          ->Unit(benchmark::kMillisecond);
            if (items >= 1000000)
                b->Iterations(1); // several seconds each; the repetitions give the median
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
