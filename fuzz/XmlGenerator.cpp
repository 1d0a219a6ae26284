#include "XmlGenerator.h"

namespace {

std::uint64_t g_reached[XmlGenerator::ProductionCount];

const char* const kNames[XmlGenerator::ProductionCount] = {
    "XmlDeclaration",
    "PrologComment",
    "PrologInstruction",
    "Doctype",
    "SubsetEntity",
    "SubsetParameterEntity",
    "SubsetExternalEntity",
    "SubsetNotation",
    "SubsetElement",
    "SubsetAttributeList",
    "SubsetComment",
    "SubsetInstruction",
    "SubsetParameterReference",
    "ValueText",
    "ValueCharacterReference",
    "ValueMarkupByReference",
    "ValueEntityReference",
    "ValueElement",
    "ValueComment",
    "ValueInstruction",
    "ValueCdata",
    "ContentElement",
    "ContentEmptyElement",
    "ContentAttribute",
    "AttributeEntityReference",
    "ContentText",
    "ContentCharacterReference",
    "ContentEntityReference",
    "ContentUndeclaredReference",
    "ContentCdata",
    "ContentComment",
    "ContentInstruction",
    "Repetition",
    "Flaw",
};

// Characters a reference may name: ordinary ones, markup, and ones XML forbids.
const char* const kCharacterReferences[] = {"&#65;", "&#x3C;", "&#60;",    "&#38;",   "&#x10000;",
                                            "&#1;",  "&#0;",   "&#xFFFE;", "&#xD800;"};

} // namespace

const std::uint64_t* XmlGenerator::Reached()
{
    return g_reached;
}

const char* XmlGenerator::Name(Production production)
{
    return kNames[production];
}

std::size_t XmlGenerator::Count()
{
    const std::uint8_t b = Next();
    if (b < 248)
        return 1 + b % 8;
    return std::size_t{1} << (8 + b % 9);
}

void XmlGenerator::Emit(Production production, const std::string& text)
{
    ++g_reached[production];
    m_text += text;
}

std::string XmlGenerator::EntityName()
{
    return "e" + std::to_string(Next() % kEntities);
}

std::string XmlGenerator::Document()
{
    m_text.clear();
    if (Next() % 2)
        Emit(XmlDeclaration, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    while (More() && Next() % 4 == 0) {
        if (Next() % 2 == 0)
            Emit(PrologComment, "<!-- c -->");
        else
            Emit(PrologInstruction, "<?p x?>");
    }
    if (Next() % 4 != 0) {
        Emit(Doctype, "<!DOCTYPE doc [");
        m_text += Subset();
        m_text += "]>";
    }
    m_text += "<doc>" + Content(1) + "</doc>";
    // Now and then a flaw: a cut, or a byte that does not belong.
    if (Next() % 16 == 0 && !m_text.empty()) {
        ++g_reached[Flaw];
        const std::size_t at = Next() * m_text.size() / 256;
        if (Next() % 2)
            m_text.resize(at);
        else
            m_text.insert(at, 1, static_cast<char>(Next()));
    }
    return m_text;
}

std::string XmlGenerator::Subset()
{
    std::string out;
    while (More() && out.size() < kMaxTextBytes / 2) {
        const std::uint8_t choice = Next();
        if (choice == 0)
            break;
        std::string item;
        Production production;
        switch (choice % 9) {
        case 0:
            production = SubsetEntity;
            item = "<!ENTITY " + EntityName() + " \"" + EntityValue(0) + "\">";
            break;
        case 1:
            production = SubsetParameterEntity;
            item = "<!ENTITY % p" + std::to_string(Next() % 3) + " \"<!ENTITY " + EntityName() +
                   " 'x'>\">";
            break;
        case 2:
            production = SubsetExternalEntity;
            item = "<!ENTITY " + EntityName() + " SYSTEM \"e.xml\">";
            break;
        case 3:
            production = SubsetNotation;
            item = "<!NOTATION n" + std::to_string(Next()) + " SYSTEM \"n\">";
            break;
        case 4:
            production = SubsetElement;
            item = "<!ELEMENT doc ANY>";
            break;
        case 5:
            production = SubsetAttributeList;
            item = "<!ATTLIST doc a CDATA \"" + AttributeValue() + "\">";
            break;
        case 6:
            production = SubsetComment;
            item = "<!-- s -->";
            break;
        case 7:
            production = SubsetInstruction;
            item = "<?s x?>";
            break;
        default:
            production = SubsetParameterReference;
            item = "%p" + std::to_string(Next() % 3) + ";";
            break;
        }
        const std::size_t times = Count();
        g_reached[production] += 1;
        if (times > 1)
            ++g_reached[Repetition];
        for (std::size_t i = 0; i < times && out.size() < kMaxTextBytes / 2; ++i)
            out += item;
    }
    return out;
}

std::string XmlGenerator::EntityValue(int depth)
{
    std::string out;
    while (More() && depth < kMaxDepth) {
        const std::uint8_t choice = Next();
        if (choice == 0)
            break;
        std::string item;
        Production production;
        switch (choice % 8) {
        case 0:
            production = ValueText;
            item = "text";
            break;
        case 1:
            production = ValueCharacterReference;
            item = kCharacterReferences[Next() % (sizeof kCharacterReferences /
                                                  sizeof *kCharacterReferences)];
            break;
        case 2:
            production = ValueMarkupByReference;
            item = "&#60;m/>";
            break;
        case 3:
            production = ValueEntityReference;
            item = "&" + EntityName() + ";";
            break;
        case 4:
            production = ValueElement;
            item = "<v>" + EntityValue(depth + 1) + "</v>";
            break;
        case 5:
            production = ValueComment;
            item = "<!-- v -->";
            break;
        case 6:
            production = ValueInstruction;
            item = "<?v x?>";
            break;
        default:
            production = ValueCdata;
            item = "<![CDATA[<v>]]>";
            break;
        }
        const std::size_t times = Count();
        ++g_reached[production];
        for (std::size_t i = 0; i < times && out.size() < kMaxTextBytes / 4; ++i)
            out += item;
    }
    return out;
}

std::string XmlGenerator::AttributeValue()
{
    std::string out = "a";
    while (More() && Next() % 2) {
        if (Next() % 2) {
            ++g_reached[AttributeEntityReference];
            out += "&" + EntityName() + ";";
        } else {
            out += kCharacterReferences[Next() % (sizeof kCharacterReferences /
                                                  sizeof *kCharacterReferences)];
        }
    }
    return out;
}

std::string XmlGenerator::Content(int depth)
{
    std::string out;
    while (More() && depth < kMaxDepth && out.size() < kMaxTextBytes) {
        const std::uint8_t choice = Next();
        if (choice == 0)
            break;
        std::string item;
        Production production;
        switch (choice % 11) {
        case 0:
        case 1: {
            production = ContentElement;
            std::string name = choice % 2 ? "list" : "item";
            std::string attributes;
            if (Next() % 4 == 0) {
                ++g_reached[ContentAttribute];
                attributes = " a=\"" + AttributeValue() + "\"";
            }
            item = "<" + name + attributes + "><name>" + Content(depth + 2) + "</name>" +
                   Content(depth + 1) + "</" + name + ">";
            break;
        }
        case 2:
            production = ContentEmptyElement;
            item = "<item/>";
            break;
        case 3:
            production = ContentText;
            item = "t &amp; u";
            break;
        case 4:
            production = ContentCharacterReference;
            item = kCharacterReferences[Next() % (sizeof kCharacterReferences /
                                                  sizeof *kCharacterReferences)];
            break;
        case 5:
        case 6:
            production = ContentEntityReference;
            item = "&" + EntityName() + ";";
            break;
        case 7:
            production = ContentUndeclaredReference;
            item = "&u" + std::to_string(Next() % 4) + ";";
            break;
        case 8:
            production = ContentCdata;
            item = "<![CDATA[c]]>";
            break;
        case 9:
            production = ContentComment;
            item = "<!-- c -->";
            break;
        default:
            production = ContentInstruction;
            item = "<?c x?>";
            break;
        }
        const std::size_t times = Count();
        ++g_reached[production];
        if (times > 1)
            ++g_reached[Repetition];
        for (std::size_t i = 0; i < times && out.size() < kMaxTextBytes; ++i)
            out += item;
    }
    return out;
}
