// Saving 100,000 and 1,000,000 items, each beside its references in the same run:
// WriteXML against one fwrite of the same bytes (the limit) and against one-byte QFile::write
// calls (the floor of writing byte by byte); WriteXML over a file with a user attribute (the
// attribute is copied to the new file) and over a hard-linked file (written in place from a
// record of the new content, kept in memory as the file is); the fixed cost of one save of nothing,
// with and without an attribute. Then the whole Open path of 100,000 items against the DOM check
// alone.
#include "tests/support/GuiDriver.h"

#include "Common/File/FileReplacer.h"

#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr int kItemsPerList = 100;
constexpr int kOpenItems = 100000;

// Temporary files go to memory where possible, so the figures show the code, not the disk.
QString Folder()
{
    static QTemporaryDir dir(QFile::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/vellorin-bench-XXXXXX")
                                 : QString());
    return dir.path();
}

void Fill(zuchecklist::CheckListContainer& model, int items)
{
    for (int l = 0; l < items / kItemsPerList; ++l) {
        model.AddList(QStringLiteral("Checklist %1").arg(l));
        for (int i = 0; i < kItemsPerList; ++i)
            model.AddItem(QStringLiteral("Item %1 & caf\u00e9 <%2>").arg(i).arg(l),
                          QStringLiteral("ON %1").arg(i), l);
    }
}

// The file WriteXML produces for that many items, written once.
const QByteArray& Saved(int items)
{
    static std::map<int, QByteArray> saved;
    QByteArray& bytes = saved[items];
    if (bytes.isEmpty()) {
        zuchecklist::CheckListContainer model(Folder() + QStringLiteral("/reference.xml"));
        Fill(model, items);
        model.WriteXML();
        QFile file(model.GetFileName());
        file.open(QIODevice::ReadOnly);
        bytes = file.readAll();
        file.remove();
    }
    return bytes;
}

enum class Target
{
    Plain,
    WithAttribute,
    HardLinked
};

void WriteXmlOver(benchmark::State& state, Target target)
{
    const int items = static_cast<int>(state.range(0));
    zuchecklist::CheckListContainer model(Folder() + QStringLiteral("/write.xml"));
    Fill(model, items);
    const QByteArray name = QFile::encodeName(model.GetFileName());
    model.WriteXML();
    if (target == Target::WithAttribute &&
        ::setxattr(name.constData(), "user.xdg.origin.url", "https://example.org/", 20, 0) != 0)
        state.SkipWithError("no user attributes in the benchmark's folder");
    const QByteArray link = name + ".link";
    if (target == Target::HardLinked)
        ::link(name.constData(), link.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(model.WriteXML());
    state.SetBytesProcessed(state.iterations() * Saved(items).size());
    ::unlink(link.constData());
    ::unlink(name.constData());
}

void WriteXml(benchmark::State& state)
{
    WriteXmlOver(state, Target::Plain);
}

void WriteXmlWithAttribute(benchmark::State& state)
{
    WriteXmlOver(state, Target::WithAttribute);
}

void WriteXmlInPlace(benchmark::State& state)
{
    WriteXmlOver(state, Target::HardLinked);
}

// Begin and Commit of an empty content: the fixed cost of a save, lock and attribute copy
// included (state.range(0) attributes).
void SaveNothing(benchmark::State& state)
{
    const QString name = Folder() + QStringLiteral("/nothing.xml");
    QFile(name).open(QIODevice::WriteOnly);
    if (state.range(0) > 0 &&
        ::setxattr(QFile::encodeName(name).constData(), "user.a", "x", 1, 0) != 0)
        state.SkipWithError("no user attributes in the benchmark's folder");
    for (auto _ : state) {
        file::FileReplacer replacer(name, zuchecklist::CheckListContainer::FileNames());
        benchmark::DoNotOptimize(replacer.Begin().Ok() && replacer.Commit().Ok());
    }
    QFile::remove(name);
}

void OneFwrite(benchmark::State& state)
{
    const QByteArray& bytes = Saved(static_cast<int>(state.range(0)));
    const QByteArray name = QFile::encodeName(Folder() + QStringLiteral("/fwrite.xml"));
    for (auto _ : state) {
        std::FILE* file = std::fopen(name.constData(), "wb");
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file);
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    ::unlink(name.constData());
}

void OneByteQFileWrites(benchmark::State& state)
{
    const QByteArray& bytes = Saved(static_cast<int>(state.range(0)));
    const QString name = Folder() + QStringLiteral("/bytes.xml");
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        const char* p = bytes.constData();
        for (int i = 0; i < bytes.size(); ++i)
            file.write(p + i, 1);
        file.close();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    QFile::remove(name);
}

QString SavedFile()
{
    const QString name = Folder() + QStringLiteral("/open.xml");
    if (!QFile::exists(name)) {
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        file.write(Saved(kOpenItems));
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
    state.SetBytesProcessed(state.iterations() * Saved(kOpenItems).size());
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
    state.SetBytesProcessed(state.iterations() * Saved(kOpenItems).size());
}

BENCHMARK(WriteXml)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(OneFwrite)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(OneByteQFileWrites)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteXmlWithAttribute)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteXmlInPlace)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveNothing)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenPath)->Unit(benchmark::kMillisecond);
BENCHMARK(DomCheckOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qputenv("XDG_STATE_HOME", QFile::encodeName(Folder() + QStringLiteral("/state")));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
