// Holds the checks Open makes before loading to their promises, against the DOM check they
// guard: on every text they accept, the toolkit's DOM parser runs under a count of its
// allocations, and
//   - its peak allocation stays within the memory estimate the checks computed for the text;
//   - its tree is no deeper than the depth the checks computed;
//   - no element in it has more attributes than the checks' limit, defaults included;
//   - no character XML forbids reaches it, raw or by reference;
// and every text the checks refuse as not well-formed, XML itself forbids (libxml2, a parser
// of its own that loads nothing from outside, finds a fault in it other than a reference to an
// entity the text does not declare) or the DOM parser refuses too. So a refusal on a rule the
// DOM parser does not hold the text to (characters XML forbids, parameter entity references
// inside declarations, a document type out of place) passes only where XML forbids that text,
// and a false refusal of any kind is found. Only then is the DOM parser asked: Qt 6's crashes on
// some texts XML forbids. Accepted texts must also load without harm. With
// FUZZ_SHOW_PEAK set it prints the peak, the estimate and the depth of every accepted text.
//
// Built as FuzzGenerateChecklist (VELLORIN_FUZZ_GENERATE), it reads each input not as a text but
// as the choices of XmlGenerator, which makes the text from the productions of XML's grammar in
// every context; with FUZZ_SHOW_PRODUCTIONS set, it prints at its end how often each production
// was made.
#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/CheckListReader.h"
#include "Common/CheckList/LoadChecks.h"
#include "Common/CheckList/LoadLimits.h"
#include "Common/Xml/XmlDecode.h"
#include "Common/Xml/XmlScan.h"
#include "XmlGenerator.h"

#include <QDomDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>

#include <libxml/parser.h>
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

bool g_counting = false;
long long g_current = 0;
long long g_peak = 0;

void CountMalloc(const volatile void*, std::size_t size)
{
    if (g_counting) {
        g_current += static_cast<long long>(size);
        g_peak = std::max(g_peak, g_current);
    }
}

void CountFree(const volatile void* pointer)
{
    if (g_counting && pointer && __sanitizer_get_ownership(const_cast<const void*>(pointer)))
        g_current -= static_cast<long long>(
            __sanitizer_get_allocated_size(const_cast<const void*>(pointer)));
}

[[noreturn]] void Broken(const char* promise, long long seen, long long promised)
{
    std::fprintf(stderr, "Broken promise: %s: %lld, promised %lld\n", promise, seen, promised);
    std::abort();
}

// Qt 5's DOM parser keeps only the low 16 bits of a character reference beyond U+FFFF
// ("&#x10000;" becomes U+0000), while RapidXML, which loads the values, decodes it whole. Those
// characters in the DOM tree are the DOM parser's own doing, not the text's.
QSet<uint> g_truncated;

void NoteTruncatedReferences(const QByteArray& utf8)
{
    static const QRegularExpression reference(QStringLiteral("&#(x[0-9A-Fa-f]+|[0-9]+);"));
    g_truncated.clear();
    auto matches = reference.globalMatch(QString::fromUtf8(utf8));
    while (matches.hasNext()) {
        const QString digits = matches.next().captured(1);
        bool ok = false;
        const qulonglong code = digits.startsWith(QLatin1Char('x'))
                                    ? digits.mid(1).toULongLong(&ok, 16)
                                    : digits.toULongLong(&ok, 10);
        if (ok && code > 0xFFFF)
            g_truncated.insert(static_cast<uint>(code & 0xFFFF));
    }
}

// Whether XML forbids the text, as a parser of XML of its own judges it: nothing is loaded from
// outside, no limit of its own refuses a large text, and it reads on past a fault to the next.
// A reference to an entity the text does not declare does not count: Qt 5's DOM check reads it,
// and Open loads it as written.
void NoteFault(void* forbidden, xmlErrorPtr error)
{
    if (error->level >= XML_ERR_ERROR && error->code != XML_ERR_UNDECLARED_ENTITY)
        *static_cast<bool*>(forbidden) = true;
}

bool XmlForbids(const QByteArray& utf8)
{
    bool forbidden = false;
    xmlSetStructuredErrorFunc(&forbidden, NoteFault);
    xmlDocPtr document =
        xmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()), "text.xml", "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlFreeDoc(document);
    return forbidden;
}

bool AllowedText(const QString& text)
{
    const QVector<uint> characters = text.toUcs4();
    return std::all_of(characters.begin(), characters.end(),
                       [](uint c) { return IsXmlChar(c) || g_truncated.contains(c); });
}

// The deepest level of elements and entity references, the most attributes of an element, and
// whether every character in the tree is one XML allows. Without recursion: the tree may be deep.
struct Tree
{
    int depth = 0;
    int attributes = 0;
    bool allowed = true;
};

Tree Examine(const QDomDocument& document)
{
    Tree tree;
    std::vector<std::pair<QDomNode, int>> pending{{document, 0}};
    while (!pending.empty()) {
        const QDomNode node = pending.back().first;
        const int level = pending.back().second;
        pending.pop_back();
        tree.depth = std::max(tree.depth, level);
        tree.allowed = tree.allowed && AllowedText(node.nodeName()) &&
                       (node.isDocument() || AllowedText(node.nodeValue()));
        const QDomNamedNodeMap attributes = node.attributes();
        tree.attributes = std::max(tree.attributes, attributes.count());
        for (int i = 0; i < attributes.count(); ++i)
            tree.allowed = tree.allowed && AllowedText(attributes.item(i).nodeValue());
        for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling())
            pending.emplace_back(child, child.isElement() || child.isEntityReference() ? level + 1
                                                                                       : level);
    }
    return tree;
}

} // namespace

#ifdef VELLORIN_FUZZ_GENERATE
static void ShowProductions()
{
    const std::uint64_t* reached = XmlGenerator::Reached();
    for (int p = 0; p < XmlGenerator::ProductionCount; ++p)
        std::fprintf(stderr, "production %s: %llu\n",
                     XmlGenerator::Name(static_cast<XmlGenerator::Production>(p)),
                     static_cast<unsigned long long>(reached[p]));
}
#endif

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    xmlInitParser();
#ifdef VELLORIN_FUZZ_GENERATE
    if (std::getenv("FUZZ_SHOW_PRODUCTIONS"))
        std::atexit(ShowProductions);
#endif
    __sanitizer_install_malloc_and_free_hooks(CountMalloc, CountFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#ifdef VELLORIN_FUZZ_GENERATE
    const std::string generated = XmlGenerator(data, size).Document();
    const QByteArray bytes(generated.data(), static_cast<int>(generated.size()));
#else
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
#endif
    zuchecklist::CheckListReader reader;
    const file::Outcome read = reader.ReadBytes(bytes);
    if (!read.Ok()) {
        if (read.sentence.isEmpty() || !reader.Text().isEmpty())
            std::abort(); // a refusal always says why and hands nothing on
        // Where the checks passed it, the refusal is the DOM check's own.
        if (read.kind == file::Outcome::NotWellFormed &&
            reader.Scan().verdict != XmlScan::Complete) {
            QByteArray utf8;
            QString text;
            DecodeXml(bytes, utf8, text);
            QDomDocument dom;
            if (!XmlForbids(utf8) && dom.setContent(text, false))
                Broken("the DOM check reads what XML allows and the checks refused as not "
                       "well-formed",
                       0, 0);
        }
        return 0;
    }

    QByteArray text = reader.TakeText();
    const XmlScan scan = reader.Scan();
    if (text.constData()[text.size()] != 0)
        std::abort();
    const auto estimate = static_cast<long long>(
        zuchecklist::LoadChecks::MemoryEstimate(static_cast<std::size_t>(text.size()), scan));

    g_current = 0;
    g_peak = 0;
    g_counting = true;
    auto dom = std::make_unique<QDomDocument>();
    bool parsed = false;
    {
        const QString utf16 = QString::fromUtf8(text);
        parsed = dom->setContent(utf16, false);
    }
    g_counting = false;
    if (!parsed)
        Broken("the DOM check refuses what it accepted before", 0, 0);
    static const bool show = std::getenv("FUZZ_SHOW_PEAK") != nullptr;
    if (show)
        std::fprintf(stderr, "peak %lld, estimate %lld, depth %d\n", g_peak, estimate, scan.depth);
    if (g_peak > estimate)
        Broken("the DOM check's peak allocation exceeds the estimate", g_peak, estimate);
    NoteTruncatedReferences(text);
    const Tree tree = Examine(*dom);
    if (tree.depth > scan.depth)
        Broken("the DOM tree is deeper than the checks computed", tree.depth, scan.depth);
    if (tree.attributes > static_cast<int>(zuchecklist::limits::kMaxAttributesPerElement))
        Broken("an element of the DOM tree has more attributes than the checks allow",
               tree.attributes,
               static_cast<long long>(zuchecklist::limits::kMaxAttributesPerElement));
    if (!tree.allowed)
        Broken("a character XML forbids reached the DOM tree", 0, 0);
    dom.reset();

    zuchecklist::CheckListContainer container(QStringLiteral("fuzz.xml"));
    container.Load(text.data(), scan);
    return 0;
}
