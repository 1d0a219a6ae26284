// Saving and opening 100,000 items, each beside its reference in the same run:
// WriteXML against one fwrite of the same bytes (the limit) and against one-byte QFile::write
// calls (the floor of writing byte by byte); the whole Open path against the DOM check alone.
#include "tests/support/GuiDriver.h"

#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int kLists = 1000;
constexpr int kItemsPerList = 100;

// Temporary files go to memory where possible, so the figures show the code, not the disk.
QString Folder()
{
    static QTemporaryDir dir(QFile::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/vellorin-bench-XXXXXX")
                                 : QString());
    return dir.path();
}

void Fill(zuchecklist::CheckListContainer& model)
{
    for (int l = 0; l < kLists; ++l) {
        model.AddList(QStringLiteral("Checklist %1").arg(l));
        for (int i = 0; i < kItemsPerList; ++i)
            model.AddItem(QStringLiteral("Item %1 & caf\u00e9 <%2>").arg(i).arg(l),
                          QStringLiteral("ON %1").arg(i), l);
    }
}

// The file WriteXML produces, written once.
const QByteArray& Saved()
{
    static const QByteArray bytes = [] {
        zuchecklist::CheckListContainer model(Folder() + QStringLiteral("/reference.xml"));
        Fill(model);
        model.WriteXML();
        QFile file(model.GetFileName());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    return bytes;
}

void WriteXml(benchmark::State& state)
{
    zuchecklist::CheckListContainer model(Folder() + QStringLiteral("/write.xml"));
    Fill(model);
    for (auto _ : state)
        benchmark::DoNotOptimize(model.WriteXML());
    state.SetBytesProcessed(state.iterations() * Saved().size());
}

void OneFwrite(benchmark::State& state)
{
    const QByteArray name = QFile::encodeName(Folder() + QStringLiteral("/fwrite.xml"));
    for (auto _ : state) {
        std::FILE* file = std::fopen(name.constData(), "wb");
        std::fwrite(Saved().constData(), 1, static_cast<size_t>(Saved().size()), file);
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * Saved().size());
}

void OneByteQFileWrites(benchmark::State& state)
{
    const QString name = Folder() + QStringLiteral("/bytes.xml");
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        const char* p = Saved().constData();
        for (int i = 0; i < Saved().size(); ++i)
            file.write(p + i, 1);
        file.close();
    }
    state.SetBytesProcessed(state.iterations() * Saved().size());
}

QString SavedFile()
{
    const QString name = Folder() + QStringLiteral("/open.xml");
    if (!QFile::exists(name)) {
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        file.write(Saved());
    }
    return name;
}

void OpenPath(benchmark::State& state)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    MainWindow window;
    MainWindowTester tester(window);
    const QString name = SavedFile();
    for (auto _ : state) {
        tester.OpenFile(name);
        benchmark::DoNotOptimize(tester.Model().GetListCount());
    }
    state.SetBytesProcessed(state.iterations() * Saved().size());
}

void DomCheckOnly(benchmark::State& state)
{
    const QString name = SavedFile();
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        const QString text = QString::fromUtf8(file.readAll());
        QDomDocument check;
        benchmark::DoNotOptimize(check.setContent(text, false));
    }
    state.SetBytesProcessed(state.iterations() * Saved().size());
}

BENCHMARK(WriteXml)->Unit(benchmark::kMillisecond);
BENCHMARK(OneFwrite)->Unit(benchmark::kMillisecond);
BENCHMARK(OneByteQFileWrites)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenPath)->Unit(benchmark::kMillisecond);
BENCHMARK(DomCheckOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
