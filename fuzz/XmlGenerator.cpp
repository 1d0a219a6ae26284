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
    "ValueReferenceByCharacter",
    "ValueAttribute",
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
    "ContentBareAmpersand",
    "Repetition",
    "Flaw",
    "AttributeDefault",
    "ParameterAttributeList",
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
    // Now and then a flaw: a cut, or a byte that does not belong. An input that has ended reads
    // as zeros, which choose none: most inputs end before the text does.
    if (Next() % 16 == 15 && !m_text.empty()) {
        ++g_reached[Flaw];
        const std::size_t at = Next() * m_text.size() / 256;
        if (Next() % 2)
            m_text.resize(at);
        else
            m_text.insert(at, 1, static_cast<char>(Next()));
    }
    return m_text;
}

// Productions the input chooses, one after the other, until it says stop (a zero byte, or its
// end); each is repeated as often as the input says while the text stays under 'limit'.
template <typename Choose> std::string XmlGenerator::Sequence(std::size_t limit, Choose choose)
{
    std::string out;
    while (More() && out.size() < limit) {
        const std::uint8_t choice = Next();
        if (choice == 0)
            break;
        const auto [production, item] = choose(choice);
        const std::size_t times = Count();
        ++g_reached[production];
        if (times > 1)
            ++g_reached[Repetition];
        for (std::size_t i = 0; i < times && out.size() < limit; ++i)
            out += item;
    }
    return out;
}

std::string XmlGenerator::Subset()
{
    return Sequence(kMaxTextBytes / 2, [this](std::uint8_t choice) -> Item {
        switch (choice % 9) {
        case 0:
            return {SubsetEntity, "<!ENTITY " + EntityName() + " \"" + EntityValue(0) + "\">"};
        case 1: {
            const std::string name = "<!ENTITY % p" + std::to_string(Next() % 3) + " \"";
            if (Next() % 4 != 0)
                return {SubsetParameterEntity, name + "<!ENTITY " + EntityName() + " 'x'>\">"};
            ++g_reached[ParameterAttributeList];
            return {SubsetParameterEntity, name + AttributeList('\'') + "\">"};
        }
        case 2:
            return {SubsetExternalEntity, "<!ENTITY " + EntityName() + " SYSTEM \"e.xml\">"};
        case 3:
            return {SubsetNotation, "<!NOTATION n" + std::to_string(Next()) + " SYSTEM \"n\">"};
        case 4:
            return {SubsetElement, "<!ELEMENT doc ANY>"};
        case 5:
            return {SubsetAttributeList, AttributeList('"')};
        case 6:
            return {SubsetComment, "<!-- s -->"};
        case 7:
            return {SubsetInstruction, "<?s x?>"};
        default:
            return {SubsetParameterReference, "%p" + std::to_string(Next() % 3) + ";"};
        }
    });
}

std::string XmlGenerator::EntityValue(int depth)
{
    if (depth >= kMaxDepth)
        return {};
    return Sequence(kMaxTextBytes / 4, [this, depth](std::uint8_t choice) -> Item {
        switch (choice % 10) {
        case 0:
            return {ValueText, "text"};
        case 1:
            return {ValueCharacterReference,
                    kCharacterReferences[Next() % (sizeof kCharacterReferences /
                                                   sizeof *kCharacterReferences)]};
        case 2:
            return {ValueMarkupByReference, "&#60;m/>"};
        case 3:
            return {ValueEntityReference, "&" + EntityName() + ";"};
        case 4:
            return {ValueElement, "<v>" + EntityValue(depth + 1) + "</v>"};
        case 5:
            return {ValueComment, "<!-- v -->"};
        case 6:
            return {ValueInstruction, "<?v x?>"};
        case 7:
            return {ValueCdata, "<![CDATA[<v>]]>"};
        case 8:
            return {ValueReferenceByCharacter, "&#38;" + EntityName() + ";"};
        default:
            return {ValueAttribute, "<v a='" + std::string(Next() % 2 ? "x" : "&#38;amp;") + "'/>"};
        }
    });
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

// An attribute list for an element of content or of an entity's value: definitions without a
// default and with one, fixed or not, of enumerated and other types; names repeat from list to
// list. 'quote' encloses the default values.
std::string XmlGenerator::AttributeList(char quote)
{
    static const char* const kElements[] = {"doc", "list", "item", "name", "v"};
    static const char* const kTypes[] = {" CDATA", " (x|y|vv)", " NMTOKEN", " NOTATION (n)"};
    std::string out = "<!ATTLIST " + std::string(kElements[Next() % 5]);
    const std::size_t count = Count();
    for (std::size_t i = 0; i < count && More(); ++i) {
        out += " d" + std::to_string(i) + kTypes[Next() % 4];
        switch (Next() % 4) {
        case 0:
            out += " #IMPLIED";
            break;
        case 1:
            out += " #REQUIRED";
            break;
        default:
            ++g_reached[AttributeDefault];
            out += std::string(Next() % 2 ? " #FIXED " : " ") + quote + DefaultValue() + quote;
        }
    }
    return out + ">";
}

// A default value: references as in an attribute value, a long run, or a '%' that XML reads as
// text there.
std::string XmlGenerator::DefaultValue()
{
    switch (Next() % 3) {
    case 0:
        return AttributeValue();
    case 1:
        return std::string(Count(), 'v');
    default:
        return "%p" + std::to_string(Next() % 3) + ";";
    }
}

std::string XmlGenerator::Content(int depth)
{
    if (depth >= kMaxDepth)
        return {};
    return Sequence(kMaxTextBytes, [this, depth](std::uint8_t choice) -> Item {
        switch (choice % 12) {
        case 0:
        case 1: {
            std::string name = choice % 2 ? "list" : "item";
            std::string attributes;
            if (Next() % 4 == 0) {
                ++g_reached[ContentAttribute];
                attributes = " a=\"" + AttributeValue() + "\"";
            }
            return {ContentElement, "<" + name + attributes + "><name>" + Content(depth + 2) +
                                        "</name>" + Content(depth + 1) + "</" + name + ">"};
        }
        case 2:
            return {ContentEmptyElement, "<item/>"};
        case 3:
            return {ContentText, "t &amp; u"};
        case 4:
            return {ContentCharacterReference,
                    kCharacterReferences[Next() % (sizeof kCharacterReferences /
                                                   sizeof *kCharacterReferences)]};
        case 5:
        case 6:
            return {ContentEntityReference, "&" + EntityName() + ";"};
        case 7:
            return {ContentUndeclaredReference, "&u" + std::to_string(Next() % 4) + ";"};
        case 8:
            return {ContentCdata, "<![CDATA[c]]>"};
        case 9:
            return {ContentComment, "<!-- c -->"};
        case 10:
            return {ContentInstruction, "<?c x?>"};
        default:
            return {ContentBareAmpersand, Next() % 2 ? "&\\;" : "& "};
        }
    });
}
