// Feeds arbitrary bytes to the checklist loader. Besides the sanitizers it checks that the
// depth guard of ParseXML bounds the tree RapidXML builds from the text as it is; and that
// Open's scan bounds the tree RapidXML builds from the text with the document type blanked, and
// reaches the end of the text, wherever RapidXML accepts it.
#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/LoadChecks.h"
#include "Common/CheckList/LoadLimits.h"
#include "Common/Xml/XmlRead.h"

#include <rapidxml/rapidxml.hpp>

#include <QLoggingCategory>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

int TreeDepth(const rapidxml::xml_node<char>* node)
{
    int deepest = 0;
    for (auto* child = node->first_node(); child; child = child->next_sibling()) {
        if (child->type() == rapidxml::node_element) {
            const int depth = 1 + TreeDepth(child);
            deepest = depth > deepest ? depth : deepest;
        }
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back(0);
    std::vector<char> raw = text;
    std::vector<char> copy = text;

    zuchecklist::CheckListContainer container(QStringLiteral("fuzz.xml"));
    container.AddList(QStringLiteral("kept"));
    const bool loaded = container.ParseXML(text.data());
    if (!loaded && container.GetListCount() != 1)
        std::abort(); // a failed load must leave the document as it was

    const int guarded = XmlParserDepth(raw.data(), INT_MAX);
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<rapidxml::parse_full>(raw.data());
        if (TreeDepth(document.get()) > guarded)
            std::abort();
    } catch (const XmlParseAbort&) {
    }

    const XmlScan scan = zuchecklist::LoadChecks::Scan(copy.data());
    if (scan.verdict == XmlScan::Complete || scan.verdict == XmlScan::Malformed) {
        std::memset(copy.data() + scan.doctypeBegin, ' ', scan.doctypeEnd - scan.doctypeBegin);
        document = std::make_unique<rapidxml::xml_document<char>>();
        try {
            document->parse<rapidxml::parse_full>(copy.data());
        } catch (const XmlParseAbort&) {
            return 0;
        }
        if (TreeDepth(document.get()) > scan.depth || scan.verdict != XmlScan::Complete)
            std::abort();
    }
    return 0;
}
