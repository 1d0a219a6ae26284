// The helper of bench/stress-open.sh: writes adversarial checklist files and opens one file the
// way the window does, measuring time and peak memory of each step.
//
//   StressOpen make SHAPE FILE [COUNT]
//       Writes FILE of COUNT repetitions of SHAPE's unit; without COUNT, as many as keep the
//       loader's memory estimate just below its budget (or the file within the size limit).
//   StressOpen open FILE LABEL
//       Opens FILE: CheckListReader::ReadFile (with the DOM check), ParseXML, RebuildTree, then
//       the first paint of the shown window. Prints one line: LABEL, file size, the loader's
//       estimate, the peak memory of each step above the memory before the Open, the times and
//       the verdict.
//   StressOpen calibrate SHAPE FOLDER
//       Prints SHAPE's row of the table of costs (a file in FOLDER, read as Open reads it).
//   StressOpen shapes [calibration]
//       Lists the shapes, or the shapes of the table of costs: one construct in one context each.
#include "PeakMemory.h"
#include "SampleChecklist.h"

#include "Common/CheckList/CheckListReader.h"
#include "Common/CheckList/LoadChecks.h"
#include "Common/CheckList/LoadLimits.h"
#include "tests/support/GuiDriver.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTreeWidget>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace limits = zuchecklist::limits;

// A file of 'head', 'count' units and 'tail'.
struct Shape
{
    const char* name;
    std::string head;
    std::function<std::string(std::size_t)> unit;
    std::string tail;
    std::size_t count; // 0: as many as the budget allows
};

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

std::string Numbered(const char* format, std::size_t i)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned long>(i));
    return buffer;
}

std::string Doctype(const std::string& value)
{
    return "<!DOCTYPE doc [<!ENTITY e \"" + value + "\">]><doc>";
}

// A document type whose attribute list gives every element named 'element' 'count' attributes,
// each with a default value of 'bytes' bytes.
std::string DefaultAttributes(std::size_t count, std::size_t bytes, const char* element)
{
    std::string list = "<!DOCTYPE doc [<!ATTLIST " + std::string(element);
    for (std::size_t i = 0; i < count; ++i)
        list += Numbered(" a%lu CDATA '", i) + Repeat('v', bytes) + "'";
    return list + ">]><doc>";
}

const std::vector<Shape>& Shapes()
{
    static const std::vector<Shape> shapes = {
        // At the memory budget.
        {"lists", "<doc>", [](std::size_t) { return "<list/>"; }, "</doc>", 0},
        {"items", "<doc><list><name>L</name>", [](std::size_t) { return "<item/>"; },
         "</list></doc>", 0},
        {"text-runs", "<doc>", [](std::size_t) { return "<a>x</a>"; }, "</doc>", 0},
        {"attributes-one-element", "<doc",
         [](std::size_t i) { return Numbered(" a%07lu=\"\"", i); }, "/>", 0},
        {"attributes-spread", "<doc>", [](std::size_t) { return "<a b=\"\"/>"; }, "</doc>", 0},
        {"comments", "<doc>", [](std::size_t) { return "<!---->"; }, "</doc>", 0},
        {"cdata", "<doc>", [](std::size_t) { return "<![CDATA[]]>"; }, "</doc>", 0},
        {"instructions", "<doc>", [](std::size_t) { return "<?p?>"; }, "</doc>", 0},
        {"long-list-name", "<doc><list><name>", [](std::size_t) { return "x"; },
         "</name></list></doc>", 0},
        // Entity expansion at its limit: 1 MiB of characters, as markup and as text.
        {"entity-markup-1MiB", Doctype("<a/>"), [](std::size_t) { return "&e;"; }, "</doc>",
         limits::kMaxEntityExpansion / 4},
        {"entity-text-1MiB", Doctype(Repeat('x', 4000)), [](std::size_t) { return "&e;"; },
         "</doc>", limits::kMaxEntityExpansion / 4000},
        // The rows of the issue.
        {"attributes-1M", "<doc", [](std::size_t i) { return Numbered(" a%07lu=\"\"", i); }, "/>",
         1000000},
        {"entity-4000x200000", Doctype(Repeat('x', 4000)), [](std::size_t) { return "&e;"; },
         "</doc>", 200000},
        {"entity-declarations-100000", "<!DOCTYPE doc [",
         [](std::size_t i) { return Numbered("<!ENTITY e%lu \"x\">", i); }, "]><doc/>", 100000},
        {"lists-32MiB", "<doc>", [](std::size_t) { return "<list/>"; }, "</doc>",
         32u * 1024 * 1024 / 7},
        {"lists-255MiB", "<doc>", [](std::size_t) { return "<list/>"; }, "</doc>",
         255u * 1024 * 1024 / 7},
        {"list-name-10MB", "<doc><list><name>", [](std::size_t) { return "x"; },
         "</name></list></doc>", 10000000},
        // References to an undeclared entity, each a node of the DOM check: 24 MB, 180 MB, and
        // as many as the budget allows.
        {"undeclared-x-24MB", "<doc>", [](std::size_t) { return "x&a;"; }, "</doc>", 6000000},
        {"undeclared-180MB", "<doc>", [](std::size_t) { return "&a;"; }, "</doc>", 60000000},
        {"undeclared-at-budget", "<doc>", [](std::size_t) { return "x&a;"; }, "</doc>", 0},
        // Markup brought in by an entity, its '<' spelled with leading zeros, 100,000 deep.
        {"entity-markup-zeros-100000", Doctype([] {
             std::string value;
             for (int i = 0; i < 100000; ++i)
                 value += "&#x03C;a>";
             for (int i = 0; i < 100000; ++i)
                 value += "&#0060;/a>";
             return value;
         }()),
         [](std::size_t) { return "&e;"; }, "</doc>", 1},
        // Characters XML forbids, by reference and raw; a ']' in a quoted entity value.
        {"forbidden-characters", "<doc><list><name>",
         [](std::size_t) {
             return "abc&#0;def s&#xD800;x &#x1; A\x0c"
                    "B";
         },
         "</name></list></doc>", 1},
        {"bracket-in-entity-value", "<!DOCTYPE doc [<!ENTITY rsqb \"]\">]><doc><list><name>",
         [](std::size_t) { return "&rsqb;"; }, "</name></list></doc>", 1},
        // Default attribute values, which Qt 6's DOM check gives every element of their name: a
        // 64 KiB one on 20,000 elements, a 4,000-byte one on as many as the budget allows, a
        // short one on every item of as long a checklist as the budget allows, and as many
        // attribute definitions as the limit allows, for other elements than those of the text,
        // which Qt 6 compares with every element.
        {"default-64KiB-20000", DefaultAttributes(1, 64 * 1024, "a"),
         [](std::size_t) { return "<a/>"; }, "</doc>", 20000},
        {"default-4000-at-budget", DefaultAttributes(1, 4000, "a"),
         [](std::size_t) { return "<a/>"; }, "</doc>", 0},
        {"items-with-default-at-budget",
         "<!DOCTYPE doc [<!ATTLIST item done CDATA 'no'>]><doc><list><name>L</name>",
         [](std::size_t) { return "<item><name>Fuel pump</name><action>ON</action></item>"; },
         "</list></doc>", 0},
        {"attribute-definitions-at-limit",
         DefaultAttributes(limits::kMaxAttributeDeclarations, 1, "x"),
         [](std::size_t) { return "<a/>"; }, "</doc>", 0},
    };
    return shapes;
}

// A shape of one construct in one context.
Shape Construct(const char* name, const std::string& head, const std::string& unit,
                const std::string& tail, std::size_t count = 0)
{
    return {name, head, [unit](std::size_t) { return unit; }, tail, count};
}

// What 'units' brings in through a general entity referenced in content, or through a
// parameter entity referenced in the document type, as often as the limits on expansion and
// declarations allow.
Shape ByEntity(const char* name, const std::string& units, const std::string& declared = {})
{
    const std::string value = [&] {
        std::string v;
        while (v.size() + units.size() <= 1000)
            v += units;
        return v;
    }();
    return Construct(name, "<!DOCTYPE doc [" + declared + "<!ENTITY e \"" + value + "\">]><doc>",
                     "&e;", "</doc>", limits::kMaxEntityExpansion / value.size());
}

Shape ByParameterEntity(const char* name, const std::string& units, std::size_t perValue)
{
    std::string value;
    for (std::size_t i = 0; i < perValue; ++i)
        value += units;
    const std::size_t count = std::min<std::size_t>(limits::kMaxEntityDeclarations - 1,
                                                    limits::kMaxEntityExpansion / value.size());
    return Construct(name, "<!DOCTYPE doc [<!ENTITY % p \"" + value + "\">", "%p;", "]><doc/>",
                     count);
}

// Every construct the DOM check can make a node or a copy of text from, in every context where
// it can stand, for the table of costs: each at the budget or at the limit that bounds it first.
const std::vector<Shape>& Calibration()
{
    static const std::string subset = "<!DOCTYPE doc [";
    static const std::vector<Shape> shapes = {
        Construct("content-element", "<doc>", "<a/>", "</doc>"),
        Construct("content-attribute", "<doc>", "<a b=\"\"/>", "</doc>"),
        Construct(
            "content-256-attributes", "<doc>",
            [] {
                std::string element = "<a";
                for (int i = 0; i < 256; ++i)
                    element += Numbered(" b%lu=\"\"", static_cast<std::size_t>(i));
                return element + "/>";
            }(),
            "</doc>"),
        Construct("content-text-run", "<doc>", "<a>x</a>", "</doc>"),
        // Qt 6 reads names of up to 4,096 characters.
        Construct("content-long-element-name", "<doc>", "<a" + Repeat('x', 4000) + "/>", "</doc>"),
        Construct("content-long-attribute-name", "<doc>", "<a b" + Repeat('x', 4000) + "=''/>",
                  "</doc>"),
        Construct("content-long-instruction-target", "<doc>", "<?p" + Repeat('x', 4000) + "?>",
                  "</doc>"),
        Construct("content-long-reference-name",
                  "<!DOCTYPE doc [<!ENTITY e" + Repeat('x', 4000) + " \"\">]><doc>",
                  "&e" + Repeat('x', 4000) + ";", "</doc>"),
        Construct("content-text-bytes", "<doc>", "x", "</doc>"),
        Construct("content-character-reference", "<doc>", "&#65;", "</doc>"),
        Construct("content-comment", "<doc>", "<!---->", "</doc>"),
        Construct("content-instruction", "<doc>", "<?p?>", "</doc>"),
        Construct("content-cdata", "<doc>", "<![CDATA[]]>", "</doc>"),
        Construct("content-empty-entity-reference", "<!DOCTYPE doc [<!ENTITY e \"\">]><doc>", "&e;",
                  "</doc>"),
        Construct("content-undeclared-reference", "<doc>", "&u;", "</doc>"),
        Construct("content-default-attribute", DefaultAttributes(1, 1, "a"), "<a/>", "</doc>"),
        Construct("content-long-default-attribute", DefaultAttributes(1, 4000, "a"), "<a/>",
                  "</doc>"),
        Construct("attribute-value-bytes", "<doc a=\"", "x", "\"/>"),
        Construct("attribute-character-reference", "<doc a=\"", "&#65;", "\"/>"),
        Construct("attribute-empty-entity-reference", "<!DOCTYPE doc [<!ENTITY e \"\">]><doc a=\"",
                  "&e;", "\"/>"),
        Construct("attribute-undeclared-reference", "<doc a=\"", "&u;", "\"/>"),
        Construct("subset-comment", subset, "<!---->", "]><doc/>"),
        Construct("subset-instruction", subset, "<?p?>", "]><doc/>"),
        Construct("subset-notation", subset, "<!NOTATION n SYSTEM \"x\">", "]><doc/>"),
        Construct("subset-element-declaration", subset, "<!ELEMENT a ANY>", "]><doc/>"),
        Construct("subset-attribute-list", subset, "<!ATTLIST a b CDATA #IMPLIED>", "]><doc/>"),
        {"subset-entity-declaration", subset,
         [](std::size_t i) { return Numbered("<!ENTITY e%lu \"x\">", i); }, "]><doc/>",
         limits::kMaxEntityDeclarations},
        Construct("subset-empty-parameter-reference", "<!DOCTYPE doc [<!ENTITY % p \"\">", "%p;",
                  "]><doc/>", limits::kMaxEntityDeclarations - 1),
        ByEntity("entity-element", "<a/>"),
        ByEntity("entity-attribute", "<a b=''/>"),
        ByEntity("entity-text-run", "<a>x</a>"),
        ByEntity("entity-text-bytes", "x"),
        ByEntity("entity-character-reference", "&#38;#65;"),
        ByEntity("entity-comment", "<!---->"),
        ByEntity("entity-instruction", "<?p?>"),
        ByEntity("entity-cdata", "<![CDATA[]]>"),
        ByEntity("entity-undeclared-reference", "&u;"),
        ByEntity("entity-default-attribute", "<a/>", "<!ATTLIST a b CDATA 'v'>"),
        ByParameterEntity("parameter-comment", "<!---->", 140),
        ByParameterEntity("parameter-instruction", "<?p?>", 200),
        ByParameterEntity("parameter-notation", "<!NOTATION n SYSTEM 'x'>", 40),
        ByParameterEntity("parameter-element-declaration", "<!ELEMENT a ANY>", 60),
        ByParameterEntity("parameter-attribute-list", "<!ATTLIST a b CDATA #IMPLIED>", 30),
    };
    return shapes;
}

std::string Build(const Shape& shape, std::size_t count)
{
    std::string text = shape.head;
    for (std::size_t i = 0; i < count; ++i)
        text += shape.unit(i);
    return text + shape.tail;
}

// The loader's memory estimate for a text; 0 where the reader refuses the text before
// estimating.
std::uint64_t Estimate(const std::string& text)
{
    using zuchecklist::LoadChecks;
    return LoadChecks::MemoryEstimate(text.size(), LoadChecks::Scan(text.c_str()));
}

// The estimate grows by about the same amount with every unit: the largest count that stays
// within the budget follows from the estimates of one and two units, and is checked.
std::size_t CountAtBudget(const Shape& shape)
{
    const std::uint64_t one = Estimate(Build(shape, 1));
    const std::uint64_t perUnit = Estimate(Build(shape, 2)) - one;
    const std::uint64_t fixed = one - perUnit;
    const std::size_t byBudget =
        static_cast<std::size_t>((limits::kMemoryBudgetBytes - fixed) / perUnit);
    const std::size_t unitBytes = Build(shape, 2).size() - Build(shape, 1).size();
    const std::size_t bySize =
        (static_cast<std::size_t>(limits::kMaxFileBytes) - Build(shape, 0).size()) / unitBytes;
    std::size_t count = std::min(byBudget, bySize);
    while (count > 0 && Estimate(Build(shape, count)) > limits::kMemoryBudgetBytes)
        count -= count / 100 + 1;
    return count;
}

const Shape* Find(const char* name)
{
    for (const auto* shapes : {&Shapes(), &Calibration()})
        for (const Shape& shape : *shapes)
            if (shape.name == std::string(name))
                return &shape;
    return nullptr;
}

std::size_t Count(const Shape& shape, const char* countText)
{
    const std::size_t count = countText ? std::strtoull(countText, nullptr, 10) : shape.count;
    return count == 0 ? CountAtBudget(shape) : count;
}

bool Write(const std::string& text, const char* file)
{
    std::FILE* out = std::fopen(file, "wb");
    const bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (!(out && std::fclose(out) == 0 && written)) {
        std::fprintf(stderr, "cannot write %s\n", file);
        return false;
    }
    return true;
}

int Make(const char* name, const char* file, const char* countText)
{
    if (std::strcmp(name, "checklist-1M") == 0) {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        zuchecklist::CheckListContainer model(QString::fromLocal8Bit(file));
        sample::Fill(model, 1000000);
        return model.WriteXML().Ok() ? 0 : 1;
    }
    const Shape* shape = Find(name);
    if (!shape) {
        std::fprintf(stderr, "unknown shape %s\n", name);
        return 2;
    }
    return Write(Build(*shape, Count(*shape, countText)), file) ? 0 : 1;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double MiB(std::int64_t bytes)
{
    return bytes / (1024.0 * 1024.0);
}

// The estimate of a regular file within the size limit, read after the measurements; -1
// where the reader does not get that far.
double FileEstimateMiB(const char* file)
{
    struct stat info;
    if (::stat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        info.st_size > limits::kMaxFileBytes)
        return -1;
    QFile in(QString::fromLocal8Bit(file));
    if (!in.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = in.readAll();
    const std::uint64_t estimate = Estimate(std::string(bytes.constData(), bytes.size()));
    return estimate == 0 ? -1 : MiB(static_cast<std::int64_t>(estimate));
}

int Open(const char* file, const char* label)
{
    int argc = 1;
    char program[] = "StressOpen";
    char* argv[] = {program, nullptr};
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    MainWindow window;
    window.resize(800, 600);
    MainWindowTester tester(window);
    const QString name = QString::fromLocal8Bit(file);

    // Each step's peak counts from the memory before the Open.
    const std::int64_t base = peak::Begin();
    struct Step
    {
        const char* name;
        double seconds = 0;
        std::int64_t peak = 0;
        bool ran = false;
    };
    Step steps[] = {{"read"}, {"parse"}, {"tree"}, {"paint"}};
    auto run = [&](Step& step, const std::function<void()>& work) {
        peak::ResetMark();
        const auto start = std::chrono::steady_clock::now();
        work();
        step.seconds = Seconds(start);
        step.peak = peak::End(base);
        step.ran = true;
    };

    // What MainWindow::OpenFile and LoadFile do, without the message box of a refusal.
    std::string verdict;
    zuchecklist::CheckListReader reader;
    file::Outcome read;
    run(steps[0], [&] { read = reader.ReadFile(name); });
    if (!read.Ok()) {
        verdict = "refused: " + read.sentence.toStdString();
    } else {
        tester.Model() = zuchecklist::CheckListContainer(name);
        file::Outcome parsed;
        const XmlScan scan = reader.Scan();
        QByteArray text = reader.TakeText();
        run(steps[1], [&] { parsed = tester.Model().Load(text.data(), scan); });
        if (!parsed.Ok()) {
            verdict = "not loaded: " + parsed.sentence.toStdString();
        } else {
            text.clear();
            run(steps[2], [&] { window.RebuildTree(); });
            run(steps[3], [&] {
                window.show();
                QCoreApplication::processEvents();
                tester.Tree()->grab();
            });
            long long items = 0;
            for (int l = 0; l < tester.Model().GetListCount(); ++l)
                items += tester.Model().GetItemCount(l);
            verdict = "loaded: " + std::to_string(tester.Model().GetListCount()) + " lists, " +
                      std::to_string(items) + " items";
        }
    }

    std::int64_t top = 0;
    double total = 0;
    char peaks[128] = "";
    char times[128] = "";
    for (const Step& step : steps) {
        if (!step.ran)
            continue;
        top = std::max(top, step.peak);
        total += step.seconds;
        std::snprintf(peaks + std::strlen(peaks), sizeof peaks - std::strlen(peaks), "%s%.0f",
                      peaks[0] ? "/" : "", MiB(step.peak));
        std::snprintf(times + std::strlen(times), sizeof times - std::strlen(times), "%s%.2f",
                      times[0] ? "/" : "", step.seconds);
    }
    struct stat info;
    const double fileMB = ::stat(file, &info) == 0 ? info.st_size / 1e6 : -1;
    const double estimate = FileEstimateMiB(file);
    std::string check = "-";
    if (estimate >= 0 && read.Ok() && base >= 0)
        check = estimate >= MiB(top)
                    ? "estimate covers peak"
                    : "ESTIMATE BELOW PEAK by " +
                          std::to_string(static_cast<int>(MiB(top) - estimate)) + " MiB";
    std::printf("%-27s %9.2f %9.0f %9.0f  %-18s %7.2f  %-22s %s; %s\n", label, fileMB, estimate,
                MiB(top), peaks, total, times, verdict.c_str(), check.c_str());
    std::fflush(stdout);
    return 0;
}

// One row of the table of costs: the shape with no units and with as many as its limit allows,
// each read as Open reads it (the DOM check included) in a child process of its own. Prints
// the count, the estimate's charge per unit and the peak's growth per unit, the estimate and
// the peak of the whole text, their ratio and the verdict.
int Calibrate(const char* name, const char* folder)
{
    const Shape* shape = Find(name);
    if (!shape) {
        std::fprintf(stderr, "unknown shape %s\n", name);
        return 2;
    }
    const std::size_t count = Count(*shape, nullptr);
    const std::string file = std::string(folder) + "/" + name + ".xml";
    // The toolkit's code and tables are paged in first, so that the children measure memory
    // the text makes the DOM check take, not the first touch of its code.
    if (!Write("<!DOCTYPE doc [<!ENTITY % p '<!---->'>%p;<!ENTITY e '<a b=\"\"/>'><?p?>]>"
               "<doc c='&e;&u;'>&e;&u;<![CDATA[]]><!---->x&#65;</doc>",
               file.c_str()))
        return 1;
    zuchecklist::CheckListReader().ReadFile(QString::fromLocal8Bit(file.c_str()));
    std::int64_t estimates[2] = {0, 0};
    std::int64_t peaks[2] = {0, 0};
    std::string verdict;
    const std::size_t counts[2] = {0, count};
    for (int run = 0; run < 2; ++run) {
        {
            const std::string text = Build(*shape, counts[run]);
            estimates[run] = static_cast<std::int64_t>(Estimate(text));
            if (!Write(text, file.c_str()))
                return 1;
        }
        // A refusal comes back as a file beside the text: the child's memory is its own.
        const std::string refused = file + ".refused";
        peaks[run] = peak::InChild([&] {
            zuchecklist::CheckListReader reader;
            const file::Outcome read = reader.ReadFile(QString::fromLocal8Bit(file.c_str()));
            if (!read.Ok())
                Write(read.sentence.toStdString(), refused.c_str());
        });
        verdict = "read";
        if (std::FILE* why = std::fopen(refused.c_str(), "r")) {
            char sentence[200] = "";
            verdict = std::string("refused: ") + std::fgets(sentence, sizeof sentence, why);
            std::fclose(why);
            std::remove(refused.c_str());
        }
        std::remove(file.c_str());
    }
    const auto perUnit = [&](const std::int64_t(&values)[2]) {
        return count ? static_cast<double>(values[1] - values[0]) / static_cast<double>(count)
                     : 0.0;
    };
    const auto ratio = [](double peak, double estimate) {
        return estimate > 0 ? peak / estimate : 0.0;
    };
    std::printf("| `%s` | %zu | %.0f | %.0f | %.2f | %.1f | %.1f | %.2f | %s |\n", name, count,
                perUnit(estimates), perUnit(peaks), ratio(perUnit(peaks), perUnit(estimates)),
                MiB(estimates[1]), MiB(peaks[1]),
                ratio(static_cast<double>(peaks[1]), static_cast<double>(estimates[1])),
                verdict.c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 4 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2], argv[3], argc >= 5 ? argv[4] : nullptr);
    if (argc == 4 && std::strcmp(argv[1], "open") == 0)
        return Open(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "calibrate") == 0)
        return Calibrate(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "shapes") == 0 &&
        std::strcmp(argv[2], "calibration") == 0) {
        for (const Shape& shape : Calibration())
            std::puts(shape.name);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "shapes") == 0) {
        std::puts("checklist-1M");
        for (const Shape& shape : Shapes())
            std::puts(shape.name);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "header") == 0) {
        std::printf("%-27s %9s %9s %9s  %-18s %7s  %-22s %s\n", "shape", "file MB", "est MiB",
                    "peak MiB", "read/parse/tree/paint", "total s", "read/parse/tree/paint s",
                    "verdict");
        return 0;
    }
    std::fprintf(stderr, "usage: StressOpen make SHAPE FILE [COUNT] | open FILE LABEL | "
                         "calibrate SHAPE FOLDER | shapes [calibration] | header\n");
    return 2;
}
