// Printing checklists of 1,000 to 100,000 items to a PDF on A4, beside the floor in the same run:
//   Print    PrintChecklist on a QPdfWriter: both passes, every text laid out and painted;
//   Floor    the same texts on the same number of pages, one QPainter::drawText each at fixed
//            places, nothing measured: what any printing of these texts costs at least;
//   Preview  the toolkit's print preview widget laying out and recording the same pages.
// Each reports its peak memory (peak_MB, see PeakMemory.h), measured once in a forked child,
// and the pages. After the run the ratios are printed from the medians (CPU time).
//
//   BenchPrint --one ITEMS FILE.pdf
// prints one document of ITEMS items to FILE.pdf once and tells the time, the pages and the
// peak memory: bench/stress-print.sh runs it under an address-space limit.
//
//   BenchPrint --alternate ITEMS RUNS
// runs Print and Floor in turn, RUNS times each, and tells the ratio of their median CPU times.
#include "PeakMemory.h"
#include "SampleChecklist.h"

#include "app/ChecklistPrint.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

const int kSizes[] = {1000, 10000, 100000};

QString Folder()
{
    static QTemporaryDir dir(QFile::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/vellorin-bench-XXXXXX")
                                 : QString());
    return dir.path();
}

const zuchecklist::CheckListContainer& Document(int items)
{
    static std::map<int, std::unique_ptr<zuchecklist::CheckListContainer>> documents;
    auto& document = documents[items];
    if (!document) {
        document = std::make_unique<zuchecklist::CheckListContainer>(QStringLiteral("bench.xml"));
        sample::Fill(*document, items);
    }
    return *document;
}

void SetUp(QPagedPaintDevice* device)
{
    const qreal m = kChecklistMarginMm;
    device->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(m, m, m, m), QPageLayout::Millimeter));
}

int PrintPdf(const zuchecklist::CheckListContainer& document, const QString& file)
{
    QPdfWriter writer(file);
    SetUp(&writer);
    return PrintChecklist(document, &writer, QStringLiteral("bench.xml"));
}

// The pages PrintChecklist gives each size, for the floor.
int Pages(int items)
{
    static std::map<int, int> pages;
    auto found = pages.find(items);
    if (found == pages.end())
        found = pages.emplace(items, PrintPdf(Document(items), Folder() + "/pages.pdf")).first;
    return found->second;
}

void Floor(const zuchecklist::CheckListContainer& document, const QString& file, int pages)
{
    QPdfWriter writer(file);
    SetUp(&writer);
    int rows = 0;
    for (int l = 0; l < document.GetListCount(); ++l)
        rows += 1 + document.GetItemCount(l);
    const int perPage = (rows + pages - 1) / pages;
    QPainter painter(&writer);
    QFont font = QGuiApplication::font();
    font.setPointSizeF(11);
    painter.setFont(font);
    const qreal pitch = writer.height() / static_cast<qreal>(perPage + 1);
    const qreal action = writer.width() * 0.6;
    int row = 0;
    const auto next = [&] {
        if (row == perPage) {
            writer.newPage();
            row = 0;
        }
        return ++row * pitch;
    };
    for (int l = 0; l < document.GetListCount(); ++l) {
        painter.drawText(QPointF(0, next()), document.GetListName(l));
        for (int i = 0; i < document.GetItemCount(l); ++i) {
            const qreal y = next();
            painter.drawText(QPointF(0, y), document.GetItemText(l, i));
            painter.drawText(QPointF(action, y), document.GetItemAction(l, i));
        }
    }
}

// Each benchmark runs its step once untimed and measures its peak then, in a forked child; every
// timed run starts from a heap that has given its free pages back, so that no benchmark gains
// or pays for the pages the one before it left (see BenchOpen).
template <typename Step> void Run(benchmark::State& state, const char* name, Step step)
{
    static std::map<std::string, std::int64_t> peaks;
    const std::string key = name + ("/" + std::to_string(state.range(0)));
    auto found = peaks.find(key);
    if (found == peaks.end()) {
        found = peaks.emplace(key, peak::InChild(step)).first;
        step();
    }
    state.counters["peak_MB"] = found->second < 0 ? -1.0 : found->second / (1024.0 * 1024.0);
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        state.ResumeTiming();
        step();
    }
}

void Print(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    const auto& document = Document(items);
    const QString file = Folder() + "/print.pdf";
    auto step = [&] {
        if (PrintPdf(document, file) != Pages(items))
            state.SkipWithError("the pages differ");
    };
    Run(state, "Print", step);
    state.counters["pages"] = Pages(items);
    state.counters["file_MB"] = QFile(file).size() / (1024.0 * 1024.0);
}

void FloorBench(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    const auto& document = Document(items);
    const int pages = Pages(items);
    const QString file = Folder() + "/floor.pdf";
    auto step = [&] { Floor(document, file, pages); };
    Run(state, "Floor", step);
    state.counters["pages"] = pages;
    state.counters["file_MB"] = QFile(file).size() / (1024.0 * 1024.0);
}

void Preview(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    const auto& document = Document(items);
    auto step = [&] {
        QPrinter printer(QPrinter::HighResolution);
        SetUp(&printer);
        QPrintPreviewWidget preview(&printer);
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter* on) {
            PrintChecklist(document, on, QStringLiteral("bench.xml"));
        });
        preview.updatePreview();
        if (preview.pageCount() != Pages(items))
            state.SkipWithError("the preview's pages differ");
    };
    Run(state, "Preview", step);
    state.counters["pages"] = Pages(items);
}

// Prints the ratios of the medians (or single runs) at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            if (!median && run.repetition_index > 0)
                continue;
            auto& figures = m_figures[run.run_name.function_name + "/" + run.run_name.args];
            figures.first =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const auto peakCounter = run.counters.find("peak_MB");
            if (peakCounter != run.counters.end())
                figures.second = peakCounter->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const
    {
        std::printf("\n%-9s %10s %10s %6s %10s %9s %9s %10s\n", "items", "Print ms", "Floor ms",
                    "P/F", "Preview ms", "Print MB", "Floor MB", "Preview MB");
        for (int items : kSizes) {
            const auto get = [&](const char* name) {
                const auto found = m_figures.find(std::string(name) + "/" + std::to_string(items));
                return found == m_figures.end() ? std::pair<double, double>{0, -1} : found->second;
            };
            const auto print = get("Print"), floor = get("Floor"), preview = get("Preview");
            if (print.first > 0)
                std::printf("%-9d %10.1f %10.1f %6.2f %10.1f %9.1f %9.1f %10.1f\n", items,
                            print.first * 1e3, floor.first * 1e3,
                            floor.first > 0 ? print.first / floor.first : 0.0, preview.first * 1e3,
                            print.second, floor.second, preview.second);
        }
        std::fflush(stdout);
    }

private:
    std::map<std::string, std::pair<double, double>> m_figures; // CPU seconds, peak MiB
};

// One print of a document of 'items' items to 'file': the time, the pages and the peak.
int One(int items, const char* file)
{
    const std::int64_t base = peak::Begin();
    zuchecklist::CheckListContainer document(QStringLiteral("stress.xml"));
    sample::Fill(document, items);
    const std::int64_t filled = peak::End(base);
    const auto start = std::chrono::steady_clock::now();
    const int pages = PrintPdf(document, QString::fromLocal8Bit(file));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::int64_t top = peak::End(base);
    std::printf("%d items: %d pages in %.1f s, %.1f MB; peak %.0f MiB above the start, of which "
                "the document %.0f MiB\n",
                items, pages, seconds, QFile(QString::fromLocal8Bit(file)).size() / 1e6,
                top / (1024.0 * 1024.0), filled / (1024.0 * 1024.0));
    return pages > 0 ? 0 : 1;
}

// Print and the floor in turn, 'runs' times each in one process, each run from a trimmed heap:
// a load on the machine that comes and goes then weighs on both alike. Prints the CPU time of
// every pair and the medians' ratio.
int Alternate(int items, int runs)
{
    const auto& document = Document(items);
    const int pages = Pages(items);
    const QString file = Folder() + "/alternate.pdf";
    const auto cpu = [](const std::function<void()>& step) {
        malloc_trim(0);
        const std::clock_t start = std::clock();
        step();
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    std::vector<double> print, floor;
    for (int run = 0; run < runs; ++run) {
        print.push_back(cpu([&] { PrintPdf(document, file); }));
        floor.push_back(cpu([&] { Floor(document, file, pages); }));
        std::printf("%d items: print %.3f s, floor %.3f s, %.2f\n", items, print.back(),
                    floor.back(), print.back() / floor.back());
    }
    std::sort(print.begin(), print.end());
    std::sort(floor.begin(), floor.end());
    std::printf("medians: print %.3f s, floor %.3f s, print / floor %.2f\n", print[runs / 2],
                floor[runs / 2], print[runs / 2] / floor[runs / 2]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--one") == 0)
        return One(std::atoi(argv[2]), argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--alternate") == 0)
        return Alternate(std::atoi(argv[2]), std::max(1, std::atoi(argv[3])));
    for (int items : kSizes) {
        using Function = void (*)(benchmark::State&);
        const std::pair<const char*, Function> benchmarks[] = {
            {"Print", Print}, {"Floor", FloorBench}, {"Preview", Preview}};
        for (const auto& [name, function] : benchmarks)
            benchmark::RegisterBenchmark(name, function)->Arg(items)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
