// ParseXML on a generated 10 MB checklist against a bare RapidXML parse of the same bytes: on
// its own (it scans the text first), given the reader's scan as Open does, and the scan alone.
#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/LoadChecks.h"

#include <rapidxml/rapidxml.hpp>

#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const std::string& Text()
{
    static const std::string text = [] {
        std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\n";
        for (int l = 0; t.size() < 10 * 1000 * 1000; ++l) {
            t += "   <list>\n      <name>Checklist " + std::to_string(l) + "</name>\n";
            for (int i = 0; i < 50; ++i) {
                t += "      <item>\n         <name>Item " + std::to_string(i) +
                     " &amp; caf\xC3\xA9 check</name>\n         <action>ON " + std::to_string(i) +
                     "</action>\n      </item>\n";
            }
            t += "   </list>\n";
        }
        return t + "</doc>\n";
    }();
    return text;
}

void DiscardMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

// 'checked': Load is given the scan the reader made, as Open does; otherwise ParseXML walks the
// text for its depth alone.
void Run(benchmark::State& state, bool trace, bool checked = false)
{
    const XmlScan scan = zuchecklist::LoadChecks::Scan(Text().c_str());
    QLoggingCategory::setFilterRules(trace ? QStringLiteral("default.debug=true")
                                           : QStringLiteral("default.debug=false"));
    QtMessageHandler previous = qInstallMessageHandler(DiscardMessages);
    std::vector<char> buffer;
    for (auto _ : state) {
        state.PauseTiming();
        buffer.assign(Text().begin(), Text().end());
        buffer.push_back(0);
        auto container = std::make_unique<zuchecklist::CheckListContainer>(QString());
        state.ResumeTiming();
        if (checked)
            benchmark::DoNotOptimize(container->Load(buffer.data(), scan).Ok());
        else
            benchmark::DoNotOptimize(container->ParseXML(buffer.data()));
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
    qInstallMessageHandler(previous);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}

void ParseXmlTraceOff(benchmark::State& state)
{
    Run(state, false);
}
void ParseXmlTraceOn(benchmark::State& state)
{
    Run(state, true);
}

void ParseXmlChecked(benchmark::State& state)
{
    Run(state, false, true);
}

void BareRapidXml(benchmark::State& state)
{
    std::vector<char> buffer;
    for (auto _ : state) {
        state.PauseTiming();
        buffer.assign(Text().begin(), Text().end());
        buffer.push_back(0);
        auto document = std::make_unique<rapidxml::xml_document<char>>();
        state.ResumeTiming();
        document->parse<rapidxml::parse_full>(buffer.data());
        benchmark::DoNotOptimize(document->first_node());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}

// The pieces of ParseXML, to see where the time goes.
void ScanOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(zuchecklist::LoadChecks::Scan(Text().c_str()).depth);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Text().size()));
}

BENCHMARK(BareRapidXml)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseXmlTraceOff)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseXmlTraceOn)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseXmlChecked)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
