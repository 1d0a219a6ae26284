// Feeds arbitrary bytes to the checks Open makes before loading: decoding, the walk, the
// document type bounds, the memory estimate and the DOM check. Whatever they accept must be
// UTF-8 the loader walks to its end, and must load without harm.
#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/CheckListReader.h"
#include "Common/Xml/XmlNesting.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zuchecklist::CheckListReader reader;
    if (!reader.ReadBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)))) {
        if (reader.Reason().isEmpty() || !reader.Text().isEmpty())
            std::abort(); // a refusal always says why and hands nothing on
        return 0;
    }
    QByteArray& text = reader.Text();
    const QByteArray unmarked = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    if (text.constData()[text.size()] != 0 || QString::fromUtf8(unmarked).toUtf8() != unmarked)
        std::abort(); // NUL-terminated UTF-8, every byte of it valid
    bool complete = false;
    if (XmlNestingDepth(text.constData(), kXmlNestingLimit, &complete) > kXmlNestingLimit ||
        !complete)
        std::abort();
    zuchecklist::CheckListContainer container(QStringLiteral("fuzz.xml"));
    container.ParseXML(text.data());
    return 0;
}
