#include "XmlScan.h"

#include <rapidxml/rapidxml.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

using Tables = rapidxml::internal::lookup_tables<0>;

constexpr char kDoctype[] = "<!DOCTYPE";
constexpr std::size_t kDoctypeSize = sizeof kDoctype - 1;
constexpr char kEntity[] = "<!ENTITY";
constexpr std::size_t kEntitySize = sizeof kEntity - 1;
constexpr char kAttlist[] = "<!ATTLIST";
constexpr std::size_t kAttlistSize = sizeof kAttlist - 1;
constexpr char kCdata[] = "<![CDATA[";
constexpr std::size_t kCdataSize = sizeof kCdata - 1;
// Counts stop growing here, so that no count can wrap around however often an entity is
// referenced.
constexpr std::uint64_t kCountCap = std::uint64_t(1) << 62;

bool IsSpace(char c)
{
    return IsXmlSpace(c);
}
bool IsNameChar(char c)
{
    return Tables::lookup_node_name[static_cast<unsigned char>(c)];
}
bool IsAttributeNameChar(char c)
{
    return Tables::lookup_attribute_name[static_cast<unsigned char>(c)];
}
// Entity names: ASCII name characters and whatever is not ASCII.
bool IsEntityNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || u >= 0x80;
}

std::uint64_t Add(std::uint64_t a, std::uint64_t b)
{
    return a >= kCountCap || b >= kCountCap - a ? kCountCap : a + b;
}

// A character that passed IsXmlChar; anything else as U+FFFD.
void AppendUtf8(std::uint32_t c, std::string& out)
{
    if (!IsXmlChar(c))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(kLead[tail] | c >> (6 * tail));
    for (int i = tail - 1; i >= 0; --i)
        out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

bool StartsWith(const char* p, const char* end, const char* prefix, std::size_t size)
{
    return static_cast<std::size_t>(end - p) >= size && std::memcmp(p, prefix, size) == 0;
}

bool IsPredefined(std::string_view name)
{
    return name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos";
}

// Suspect bytes, which may start a character XML forbids or end the text: controls other than
// tab, line feed and carriage return, and the lead bytes of encoded surrogates (ED A0..BF xx)
// and of U+FFFE, U+FFFF (EF BF BE..BF). Whether the suspect at 'p' does.
bool ForbiddenAt(const char* p)
{
    const auto u = static_cast<unsigned char>(p[0]);
    if (u < 0x20)
        return true;
    const auto next = static_cast<unsigned char>(p[1]);
    if (u == 0xED)
        return (next & 0xE0) == 0xA0;
    return next == 0xBF && (static_cast<unsigned char>(p[2]) & 0xFE) == 0xBE;
}

// The first character XML forbids in the text, or its terminating NUL.
#if defined(__SSE2__)
// Sixteen bytes at a time from aligned addresses. An aligned block never reaches into a page the
// text does not reach, so the terminating NUL, a suspect itself, ends the search without the
// text being measured first. The last block's bytes beyond the NUL are read but never used,
// which an address checker cannot know.
#define VELLORIN_READS_WHOLE_BLOCKS __attribute__((no_sanitize("address")))

// The suspects of an aligned block of sixteen bytes, one bit each.
VELLORIN_READS_WHOLE_BLOCKS unsigned Suspects(const char* block)
{
    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    auto is = [&v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i blank = _mm_or_si128(_mm_or_si128(is('\t'), is('\n')), is('\r'));
    const __m128i lead = _mm_or_si128(is(char(0xED)), is(char(0xEF)));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(blank, control), lead)));
}

VELLORIN_READS_WHOLE_BLOCKS const char* FindForbidden(const char* p)
{
    const auto misalignment = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p) % 16);
    const char* block = p - misalignment;
    unsigned marked = Suspects(block) >> misalignment << misalignment;
    for (;;) {
        for (; marked != 0; marked &= marked - 1) {
            const char* at = block + __builtin_ctz(marked);
            if (ForbiddenAt(at))
                return at;
        }
        block += 16;
        marked = Suspects(block);
    }
}
#else
struct SuspectBytes
{
    bool table[256] = {};
    constexpr SuspectBytes()
    {
        for (int u = 0; u < 0x20; ++u)
            table[u] = u != '\t' && u != '\n' && u != '\r';
        table[0xED] = true;
        table[0xEF] = true;
    }
};
constexpr SuspectBytes kSuspect;

const char* FindForbidden(const char* p)
{
    // Eight bytes at a time while none lies below 0x20 or has its high bit set.
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    const char* end = p + std::strlen(p);
    for (;; ++p) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((((word - kOnes * 0x20) | word) & (kOnes * 0x80)) != 0)
                break;
            p += 8;
        }
        if (kSuspect.table[static_cast<unsigned char>(*p)] && ForbiddenAt(p))
            return p;
    }
}
#endif

struct Entity
{
    std::string_view value; // the literal, before references are replaced
    bool external = false;
    enum
    {
        Unvisited,
        Visiting,
        Done
    } state = Unvisited;
    std::uint64_t expansion = 0;    // characters of the replacement text, references expanded
    std::uint64_t markup = 0;       // '<' characters in it
    std::uint64_t equals = 0;       // '=' characters in it: every attribute has one
    std::uint64_t depth = 0;        // levels one reference can add: itself and every '<'
    std::uint64_t references = 0;   // entity references it makes, itself included
    bool expanding = false;         // a parameter entity whose text is being read as declarations
    std::uint64_t defaultBytes = 0; // of the default attributes of the elements it brings in
};

// What the default values of attribute lists give every element of one name.
struct Defaults
{
    std::uint64_t count = 0;     // attributes
    std::uint64_t bytes = 0;     // of their names and values, references in the values expanded
    std::uint64_t expansion = 0; // characters the references in the values expand to
};

// A default value of an attribute list, and where a fault in it is told.
struct DefaultValue
{
    std::string_view element;
    std::string_view value;
    const char* at;
};

// A reference to an entity the text does not declare, or declares only outside it: the DOM
// check keeps it as a node of its own, one level down, and brings in nothing for it.
const Entity kUnknownEntity{{}, true, Entity::Done, 0, 0, 0, 1, 1, false};

enum class Node
{
    Error,
    Other,
    EmptyElement,
    OpenElement
};

class Scanner
{
public:
    Scanner(const char* text, std::size_t size, const XmlScanLimits& limits)
        : m_text(text), m_size(size), m_limits(limits)
    {
        for (int i = 0; i < 2; ++i)
            if (limits.counted[i])
                m_counted[i] = limits.counted[i];
    }

    XmlScan Run();

private:
    bool Fail(XmlScan::Verdict verdict, const char* where)
    {
        m_scan.verdict = verdict;
        // Faults inside a parameter entity's text are placed at its reference.
        const char* at = where >= m_text && where <= m_end ? where : m_anchor;
        m_scan.stop = static_cast<std::size_t>(at - m_text);
        return false;
    }

    void SkipSpace(const char*& p) const
    {
        while (IsSpace(*p))
            ++p;
    }

    // Advances past 'terminator' within [p, end); false when the text ends first.
    static bool SkipPast(const char*& p, const char* end, const char* terminator)
    {
        const std::size_t length = std::strlen(terminator);
        for (; p + length <= end; ++p) {
            if (std::memcmp(p, terminator, length) == 0) {
                p += length;
                return true;
            }
        }
        p = end;
        return false;
    }

    static bool SkipQuoted(const char*& p, const char* end)
    {
        const char quote = *p++;
        while (p < end && *p != quote)
            ++p;
        if (p == end)
            return false;
        ++p;
        return true;
    }

    // Up to and past the '>' that ends a markup declaration; quoted literals may hold '>'.
    static bool SkipDeclaration(const char*& p, const char* end)
    {
        while (p < end && *p != '>') {
            if (*p == '"' || *p == '\'') {
                if (!SkipQuoted(p, end))
                    return false;
            } else {
                ++p;
            }
        }
        if (p == end)
            return false;
        ++p;
        return true;
    }

    // A parser gathers character data, comments, instructions, names, attribute values and entity
    // values in a buffer of its own.
    void Gathered(const char* begin, const char* end)
    {
        if (static_cast<std::size_t>(end - begin) > m_scan.longestText)
            m_scan.longestText = static_cast<std::size_t>(end - begin);
    }
    // A name the DOM check keeps, in more copies than it keeps text.
    void Named(const char* begin, const char* end)
    {
        Gathered(begin, end);
        m_scan.nameBytes += static_cast<std::size_t>(end - begin);
    }

    bool Reference(const char*& p, int depth);
    bool CheckCharacterReferences(std::string_view value, const char* where);
    bool CharacterReference(const char*& p, const char* end, const char* where);
    bool SkipAttributes(const char*& p, std::size_t& count);
    bool CharacterData(const char*& p, int depth);
    bool EndTag(const char*& p, std::string_view open);
    Node SkipNodeStart(const char*& p);
    Node SkipInstruction(const char* start, const char*& p);
    Node SkipMarkup(const char* start, const char*& p);
    Node SkipStartTag(const char* start, const char*& p);
    bool Doctype(const char*& p);
    bool CheckDeclaration(const char* begin, const char* end, const char* entityValue = nullptr);
    bool OtherDeclaration(const char*& p, const char* end);
    bool ParseAttributeList(const char*& p, const char* end);
    bool ApplyDefaults();
    const Defaults* DefaultsOf(std::string_view element) const;
    bool ParseSubset(const char*& p, const char* end, bool top);
    bool ParseEntity(const char*& p, const char* end);
    bool ExpandParameter(std::string_view name);
    bool Compute(std::size_t index);
    bool ComputeReference(std::string_view name, Entity& totals);
    bool ElementDepth(const std::string& text, Entity& totals, std::uint64_t* levels);
    std::string Replace(std::string_view value) const;

    const char* m_text;
    std::size_t m_size;
    const char* m_end = nullptr;
    const char* m_anchor = nullptr; // the construct of the text being read
    XmlScanLimits m_limits;
    std::string_view m_counted[2] = {{"\0", 1}, {"\0", 1}}; // no element has these names
    XmlScan m_scan;
    std::vector<Entity> m_entities;
    std::unordered_map<std::string_view, std::size_t> m_general;
    std::unordered_map<std::string_view, std::size_t> m_parameter;
    std::deque<std::string> m_replacements; // parameter entity texts that names point into
    std::vector<DefaultValue> m_defaultValues;
    std::unordered_map<std::string_view, Defaults> m_defaults; // by element name
};

// 'p' stands on a '&' in character data or an attribute value.
bool Scanner::Reference(const char*& p, int depth)
{
    m_anchor = p;
    if (p[1] == '#')
        return CharacterReference(p, m_end, m_anchor);
    const char* name = p + 1;
    const char* q = name;
    while (IsEntityNameChar(*q))
        ++q;
    // An '&' that begins no reference leaves the text malformed, but Qt 6's DOM check, where the
    // document type may leave entities undeclared, keeps it as a reference all the same: it is
    // charged as a reference to an entity the text does not declare.
    const bool named = q != name && *q == ';';
    const std::string_view entityName(name, named ? static_cast<std::size_t>(q - name) : 0);
    p = named ? q + 1 : name;
    if (named && IsPredefined(entityName))
        return true;
    const auto found = named ? m_general.find(entityName) : m_general.end();
    const bool known = found != m_general.end() && !m_entities[found->second].external;
    if (known && !Compute(found->second))
        return false;
    const Entity& entity = known ? m_entities[found->second] : kUnknownEntity;
    m_scan.references = Add(m_scan.references, entity.references);
    m_scan.expansion = Add(m_scan.expansion, entity.expansion);
    m_scan.entityMarkup = Add(m_scan.entityMarkup, entity.markup);
    m_scan.entityAttributes = Add(m_scan.entityAttributes, entity.equals);
    m_scan.defaultBytes = Add(m_scan.defaultBytes, entity.defaultBytes);
    if (m_scan.expansion > m_limits.expansion)
        return Fail(XmlScan::TooMuchExpansion, m_anchor);
    if (depth > 0 && static_cast<std::uint64_t>(depth) + entity.depth >
                         static_cast<std::uint64_t>(m_limits.depth)) {
        m_scan.depth = m_limits.depth + 1;
        return Fail(XmlScan::TooDeep, m_anchor);
    }
    if (depth > 0 && depth + static_cast<int>(entity.depth) > m_scan.depth)
        m_scan.depth = depth + static_cast<int>(entity.depth);
    return true;
}

// An entity's literal has its character references replaced when it is declared: each must
// be one, of a character XML allows.
bool Scanner::CheckCharacterReferences(std::string_view value, const char* where)
{
    const char* end = value.data() + value.size();
    for (const char* p = value.data();
         (p = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p))));) {
        if (p + 1 == end || p[1] != '#') {
            ++p;
            continue;
        }
        if (!CharacterReference(p, end, where))
            return false;
    }
    return true;
}

// 'p' stands on "&#": a reference to a character XML allows, placed at 'where' when not.
bool Scanner::CharacterReference(const char*& p, const char* end, const char* where)
{
    const std::uint32_t c = DecodeCharacterReference(p, end, &p);
    if (c == kNotACharacter)
        return Fail(XmlScan::NotXml, where);
    if (!IsXmlChar(c))
        return Fail(XmlScan::ForbiddenCharacter, where);
    return true;
}

// Attribute list of an element or of the declaration, as RapidXML reads it.
bool Scanner::SkipAttributes(const char*& p, std::size_t& count)
{
    while (IsAttributeNameChar(*p)) {
        ++count;
        const char* name = p++;
        while (IsAttributeNameChar(*p))
            ++p;
        Named(name, p);
        SkipSpace(p);
        if (*p != '=')
            return Fail(XmlScan::Malformed, p);
        ++p;
        SkipSpace(p);
        const char quote = *p;
        if (quote != '\'' && quote != '"')
            return Fail(XmlScan::Malformed, p);
        const char* value = ++p;
        while (*p && *p != quote) {
            if (*p == '&') {
                if (!Reference(p, 0))
                    return false;
            } else {
                ++p;
            }
        }
        if (*p != quote)
            return Fail(XmlScan::Malformed, p);
        // Gathered like character data before it becomes the attribute's value.
        Gathered(value, p);
        ++p;
        SkipSpace(p);
    }
    return true;
}

// 'p' stands just behind a '<' that does not start an end tag.
Node Scanner::SkipNodeStart(const char*& p)
{
    const char* start = p - 1;
    if (*p == '?')
        return SkipInstruction(start, p);
    if (*p == '!')
        return SkipMarkup(start, p);
    return SkipStartTag(start, p);
}

// An XML declaration or a processing instruction; 'p' stands on its '?'.
Node Scanner::SkipInstruction(const char* start, const char*& p)
{
    ++p;
    if ((p[0] == 'x' || p[0] == 'X') && (p[1] == 'm' || p[1] == 'M') &&
        (p[2] == 'l' || p[2] == 'L') && IsSpace(p[3])) {
        p += 4;
        SkipSpace(p);
        std::size_t ignored = 0;
        if (!SkipAttributes(p, ignored))
            return Node::Error;
        if (p[0] != '?' || p[1] != '>') {
            Fail(XmlScan::Malformed, p);
            return Node::Error;
        }
        p += 2;
        // The DOM keeps the declaration as an instruction.
        ++m_scan.otherNodes;
        m_scan.declarationBytes += static_cast<std::size_t>(p - start);
        Gathered(start, p);
        return Node::Other;
    }
    ++m_scan.otherNodes;
    const char* name = p;
    while (IsNameChar(*p))
        ++p;
    Named(name, p);
    if (p == name || !SkipPast(p, m_end, "?>")) {
        Fail(XmlScan::Malformed, start);
        return Node::Error;
    }
    Gathered(start, p);
    return Node::Other;
}

// A comment, a CDATA section, the document type or another markup declaration; 'p' stands on
// its '!'.
Node Scanner::SkipMarkup(const char* start, const char*& p)
{
    bool closed = false;
    if (p[1] == '-' && p[2] == '-') {
        ++m_scan.otherNodes;
        p += 3;
        closed = SkipPast(p, m_end, "-->");
    } else if (StartsWith(start, m_end, kCdata, kCdataSize)) {
        ++m_scan.otherNodes;
        p = start + kCdataSize;
        closed = SkipPast(p, m_end, "]]>");
    } else if (StartsWith(start, m_end, kDoctype, kDoctypeSize) && IsSpace(start[kDoctypeSize])) {
        if (m_scan.doctypeEnd != 0 || m_scan.elements != 0) {
            Fail(XmlScan::MisplacedDoctype, start);
            return Node::Error;
        }
        p = start + kDoctypeSize + 1;
        if (!Doctype(p) || !ApplyDefaults())
            return Node::Error;
        m_scan.doctypeBegin = static_cast<std::size_t>(start - m_text);
        m_scan.doctypeEnd = static_cast<std::size_t>(p - m_text);
        return Node::Other;
    } else {
        ++p;
        closed = SkipPast(p, m_end, ">");
    }
    if (!closed) {
        Fail(XmlScan::Malformed, start);
        return Node::Error;
    }
    Gathered(start, p);
    return Node::Other;
}

// An element's start tag, its attributes included; 'p' stands on its name.
Node Scanner::SkipStartTag(const char* start, const char*& p)
{
    const char* name = p;
    while (IsNameChar(*p))
        ++p;
    if (p == name) {
        Fail(XmlScan::Malformed, start);
        return Node::Error;
    }
    const std::string_view elementName(name, static_cast<std::size_t>(p - name));
    Named(name, p);
    if (elementName == m_counted[0] || elementName == m_counted[1])
        ++m_scan.named;
    SkipSpace(p);
    std::size_t attributes = 0;
    if (!SkipAttributes(p, attributes))
        return Node::Error;
    if (const Defaults* defaults = DefaultsOf(elementName)) {
        attributes += defaults->count;
        m_scan.defaultBytes = Add(m_scan.defaultBytes, defaults->bytes);
        m_scan.expansion = Add(m_scan.expansion, defaults->expansion);
        if (m_scan.expansion > m_limits.expansion) {
            Fail(XmlScan::TooMuchExpansion, start);
            return Node::Error;
        }
    }
    m_scan.attributes += attributes;
    if (attributes > m_limits.attributesPerElement) {
        Fail(XmlScan::TooManyAttributes, start);
        return Node::Error;
    }
    if (*p == '>') {
        ++p;
        return Node::OpenElement;
    }
    if (p[0] == '/' && p[1] == '>') {
        p += 2;
        return Node::EmptyElement;
    }
    Fail(XmlScan::Malformed, start);
    return Node::Error;
}

// 'p' stands behind "<!DOCTYPE" and one white space character.
bool Scanner::Doctype(const char*& p)
{
    while (*p && *p != '[' && *p != '>') {
        if (*p == '"' || *p == '\'') {
            const char* literal = p;
            if (!SkipQuoted(p, m_end))
                return Fail(XmlScan::NotXml, literal);
        } else {
            ++p;
        }
    }
    if (*p == '[') {
        ++p;
        if (!ParseSubset(p, m_end, true))
            return false;
        ++p; // ']'
        SkipSpace(p);
    }
    if (*p != '>')
        return Fail(XmlScan::NotXml, p);
    ++p;
    return true;
}

// The internal subset, or the replacement text of a parameter entity referenced in it. At the
// top it ends at a ']' outside every declaration, which is left under 'p'.
bool Scanner::ParseSubset(const char*& p, const char* end, bool top)
{
    for (;;) {
        while (p < end && IsSpace(*p))
            ++p;
        if (p == end)
            return top ? Fail(XmlScan::NotXml, p) : true;
        if (top)
            m_anchor = p;
        if (*p == ']' && top)
            return true;
        const char* start = p;
        if (*p == '%') {
            const char* name = ++p;
            while (p < end && IsEntityNameChar(*p))
                ++p;
            if (p == end || *p != ';')
                return Fail(XmlScan::NotXml, p);
            const std::string_view entityName(name, static_cast<std::size_t>(p - name));
            ++p;
            if (!ExpandParameter(entityName))
                return false;
        } else if (StartsWith(p, end, "<!--", 4)) {
            p += 4;
            if (!SkipPast(p, end, "-->"))
                return Fail(XmlScan::NotXml, start);
            ++m_scan.otherNodes; // the DOM keeps each as a node, as in content
            Gathered(start, p);
        } else if (StartsWith(p, end, "<?", 2)) {
            if (!SkipPast(p, end, "?>"))
                return Fail(XmlScan::NotXml, start);
            ++m_scan.otherNodes;
            Gathered(start, p);
        } else if (StartsWith(p, end, kEntity, kEntitySize) && p + kEntitySize < end &&
                   IsSpace(p[kEntitySize])) {
            if (!ParseEntity(p, end))
                return false;
        } else if (StartsWith(p, end, kAttlist, kAttlistSize) && p + kAttlistSize < end &&
                   IsSpace(p[kAttlistSize])) {
            if (!ParseAttributeList(p, end))
                return false;
        } else if (StartsWith(p, end, "<!", 2)) {
            if (!OtherDeclaration(p, end))
                return false;
        } else {
            return Fail(XmlScan::NotXml, p);
        }
    }
}

// A declaration is read here as one piece of text from '<!' to its '>'. A parameter entity
// reference inside it would make the DOM check read other declarations than these, so none may
// stand where XML recognises one: anywhere outside the declaration's quoted literals, and inside
// an entity's value ('entityValue', where that literal's text begins; XML forbids both in the
// document type's own text). Parameter entities are referenced only between declarations. A '%'
// in any other literal (a default value, a system or public identifier) is text, and the '%'
// that marks a parameter entity's own declaration is followed by white space, not by a name.
bool Scanner::CheckDeclaration(const char* begin, const char* end, const char* entityValue)
{
    for (const char* p = begin; p < end; ++p) {
        if (*p == '"' || *p == '\'') {
            const char* literal = p + 1;
            const auto* close = static_cast<const char*>(
                std::memchr(literal, *p, static_cast<std::size_t>(end - literal)));
            if (!close)
                close = end;
            if (literal == entityValue && !CheckDeclaration(literal, close))
                return false;
            p = close;
        } else if (*p == '%' && p + 1 < end && IsEntityNameChar(p[1])) {
            return Fail(XmlScan::ParameterReferenceInDeclaration, p);
        }
    }
    return true;
}

// A markup declaration at 'p' but an entity's, read as text to its '>'.
bool Scanner::OtherDeclaration(const char*& p, const char* end)
{
    const char* start = p;
    if (!SkipDeclaration(p, end))
        return Fail(XmlScan::NotXml, start);
    if (!CheckDeclaration(start, p))
        return false;
    ++m_scan.subsetDeclarations;
    Gathered(start, p);
    return true;
}

// An attribute list declaration at 'p'. Every attribute it defines counts: a DOM check may
// compare each definition with all before it, and every element with all of them. A default
// value (also a fixed one) gives every element of the list's name that attribute, as written
// here, with its references expanded: the DOM check may do so, and whether it does is no
// concern of these checks.
bool Scanner::ParseAttributeList(const char*& p, const char* end)
{
    const char* start = p;
    if (!OtherDeclaration(p, end))
        return false;
    const char* q = start + kAttlistSize;
    const char* close = p - 1; // its '>'
    auto space = [&q, close] {
        while (q < close && IsSpace(*q))
            ++q;
    };
    auto word = [&q, close] {
        const char* from = q;
        while (q < close && !IsSpace(*q) && *q != '"' && *q != '\'' && *q != '(')
            ++q;
        return std::string_view(from, static_cast<std::size_t>(q - from));
    };
    auto group = [&q, close] {
        while (q < close && *q != ')')
            ++q;
        q += q < close ? 1 : 0;
    };
    space();
    const std::string_view element = word();
    // Each definition: a name, a type, and #REQUIRED, #IMPLIED or a default value, fixed or not.
    // The DOM check judges the syntax; the walk ends where it no longer follows.
    for (;;) {
        space();
        const std::string_view attribute = word();
        if (attribute.empty())
            break;
        space();
        if (q < close && *q == '(') {
            group();
        } else if (word() == "NOTATION") {
            space();
            if (q < close && *q == '(')
                group();
        }
        space();
        bool keyword = false;
        if (q < close && *q == '#') {
            keyword = word() != "#FIXED";
            space();
        }
        const bool quoted = !keyword && q < close && (*q == '"' || *q == '\'');
        if (!keyword && !quoted)
            break;
        if (++m_scan.attributeDeclarations > m_limits.attributeDeclarations)
            return Fail(XmlScan::TooManyAttributeDeclarations, start);
        if (keyword)
            continue;
        const char* value = q + 1;
        const auto* valueEnd = static_cast<const char*>(
            std::memchr(value, *q, static_cast<std::size_t>(close - value)));
        if (!valueEnd)
            break;
        q = valueEnd + 1;
        const std::string_view literal(value, static_cast<std::size_t>(valueEnd - value));
        if (!CheckCharacterReferences(literal, value))
            return false;
        if (!m_limits.defaultAttributes)
            continue;
        const bool inText = value >= m_text && value <= m_end;
        m_defaultValues.push_back({element, literal, inText ? value : m_anchor});
        Defaults& defaults = m_defaults[element];
        ++defaults.count;
        defaults.bytes = Add(defaults.bytes, attribute.size() + literal.size());
    }
    return true;
}

// Once the document type is read whole: what the references in each default value expand to,
// once in the DOM check's own copy of the value and once more in every element it applies to.
// The entities' sums are then made anew, with every element's defaults known.
bool Scanner::ApplyDefaults()
{
    for (const DefaultValue& d : m_defaultValues) {
        std::uint64_t expansion = 0;
        const char* end = d.value.data() + d.value.size();
        for (const char* p = d.value.data(); (p = static_cast<const char*>(std::memchr(
                                                  p, '&', static_cast<std::size_t>(end - p))));) {
            const char* name = ++p;
            while (p < end && IsEntityNameChar(*p))
                ++p;
            if (p == end || *p != ';' || p == name)
                continue;
            const auto found =
                m_general.find(std::string_view(name, static_cast<std::size_t>(p - name)));
            if (found == m_general.end() || m_entities[found->second].external)
                continue;
            m_anchor = d.at;
            if (!Compute(found->second))
                return false;
            expansion = Add(expansion, m_entities[found->second].expansion);
        }
        Defaults& defaults = m_defaults[d.element];
        defaults.bytes = Add(defaults.bytes, expansion);
        defaults.expansion = Add(defaults.expansion, expansion);
        m_scan.expansion = Add(m_scan.expansion, expansion);
        if (m_scan.expansion > m_limits.expansion)
            return Fail(XmlScan::TooMuchExpansion, d.at);
        // The DOM check gathers the value with its references expanded.
        if (d.value.size() + expansion > m_scan.longestText)
            m_scan.longestText = static_cast<std::size_t>(d.value.size() + expansion);
    }
    if (!m_defaultValues.empty())
        for (Entity& entity : m_entities)
            entity.state = Entity::Unvisited;
    return true;
}

const Defaults* Scanner::DefaultsOf(std::string_view element) const
{
    if (m_defaults.empty())
        return nullptr;
    const auto found = m_defaults.find(element);
    return found == m_defaults.end() ? nullptr : &found->second;
}

bool Scanner::ParseEntity(const char*& p, const char* end)
{
    if (++m_scan.declarations > m_limits.declarations)
        return Fail(XmlScan::TooManyDeclarations, p);
    const char* start = p;
    p += kEntitySize;
    while (p < end && IsSpace(*p))
        ++p;
    bool parameter = false;
    if (p + 1 < end && *p == '%' && IsSpace(p[1])) {
        parameter = true;
        ++p;
        while (p < end && IsSpace(*p))
            ++p;
    }
    const char* name = p;
    while (p < end && IsEntityNameChar(*p))
        ++p;
    const std::string_view entityName(name, static_cast<std::size_t>(p - name));
    while (p < end && IsSpace(*p))
        ++p;
    Entity entity;
    const char* literal = nullptr;
    if (p < end && (*p == '"' || *p == '\'')) {
        literal = p + 1;
        if (!SkipQuoted(p, end))
            return Fail(XmlScan::NotXml, literal - 1);
        entity.value = std::string_view(literal, static_cast<std::size_t>(p - 1 - literal));
        Gathered(literal, p - 1);
        if (!CheckCharacterReferences(entity.value, literal))
            return false;
    } else {
        entity.external = true; // never loaded by the check
    }
    if (!SkipDeclaration(p, end))
        return Fail(XmlScan::NotXml, start);
    if (!CheckDeclaration(start, p, literal))
        return false;
    auto& names = parameter ? m_parameter : m_general;
    if (!entityName.empty() && names.find(entityName) == names.end()) {
        m_entities.push_back(entity);
        names.emplace(entityName, m_entities.size() - 1);
    }
    return true;
}

// A parameter entity referenced between declarations brings in its replacement text as
// further declarations.
bool Scanner::ExpandParameter(std::string_view name)
{
    const auto found = m_parameter.find(name);
    if (found == m_parameter.end())
        return true;
    if (++m_scan.declarations > m_limits.declarations)
        return Fail(XmlScan::TooManyDeclarations, m_anchor);
    const std::size_t index = found->second;
    // A parameter entity met again inside its own text is not expanded again, as the DOM
    // check does not expand it either: its text is read once.
    if (m_entities[index].expanding)
        return true;
    if (!Compute(index))
        return false;
    m_scan.expansion = Add(m_scan.expansion, m_entities[index].expansion);
    if (m_scan.expansion > m_limits.expansion)
        return Fail(XmlScan::TooMuchExpansion, m_anchor);
    if (m_entities[index].external)
        return true;
    // Character references are replaced before the text is read as declarations.
    m_replacements.push_back(Replace(m_entities[index].value));
    const std::string& text = m_replacements.back();
    const char* q = text.data();
    m_entities[index].expanding = true;
    const bool parsed = ParseSubset(q, text.data() + text.size(), false);
    m_entities[index].expanding = false;
    // A declaration the text leaves unfinished goes on behind the reference, which then stands
    // inside it; the DOM check reads on into the declarations that follow.
    if (!parsed && m_scan.verdict == XmlScan::NotXml && q == text.data() + text.size())
        return Fail(XmlScan::ParameterReferenceInDeclaration, m_anchor);
    return parsed;
}

std::string Scanner::Replace(std::string_view value) const
{
    std::string out;
    out.reserve(value.size());
    const char* end = value.data() + value.size();
    for (const char* p = value.data(); p < end;) {
        if (*p == '&' && p + 1 < end && p[1] == '#') {
            // In UTF-8: a name it spells must match where the name is written as it is.
            AppendUtf8(DecodeCharacterReference(p, end, &p), out);
        } else {
            out += *p++;
        }
    }
    return out;
}

// The levels a reference to a replacement text 'text' adds: its own node, and below it the
// open elements and the references of the text, each at its place. 0 in 'levels' where the
// markup is not balanced. The default attributes of its elements go to 'totals'. False where a
// reference it makes refers back.
bool Scanner::ElementDepth(const std::string& text, Entity& totals, std::uint64_t* levels)
{
    std::uint64_t level = 0;
    std::uint64_t deepest = 0;
    bool balanced = true;
    const char* p = text.c_str();
    const char* end = p + text.size();
    auto past = [&p, end](const char* terminator) { SkipPast(p, end, terminator); };
    while (p < end) {
        if (*p == '&' && p + 1 < end && p[1] != '#') {
            const char* name = p + 1;
            const char* q = name;
            while (q < end && IsEntityNameChar(*q))
                ++q;
            const bool named = q < end && *q == ';' && q > name;
            p = named ? q + 1 : name;
            const std::string_view entityName(name, named ? static_cast<std::size_t>(q - name) : 0);
            if (named && IsPredefined(entityName))
                continue;
            const auto found = named ? m_general.find(entityName) : m_general.end();
            std::uint64_t adds = kUnknownEntity.depth;
            if (found != m_general.end() && !m_entities[found->second].external) {
                if (!Compute(found->second))
                    return false;
                adds = m_entities[found->second].depth;
            }
            deepest = std::max(deepest, Add(level, adds));
        } else if (*p != '<') {
            ++p;
        } else if (StartsWith(p, end, "<!--", 4)) {
            past("-->");
        } else if (StartsWith(p, end, kCdata, kCdataSize)) {
            past("]]>");
        } else if (p + 1 < end && (p[1] == '?' || p[1] == '!')) {
            past(p[1] == '?' ? "?>" : ">");
        } else if (p + 1 < end && p[1] == '/') {
            balanced = balanced && level > 0;
            level -= level > 0 ? 1 : 0;
            past(">");
        } else {
            const char* name = ++p;
            while (p < end && IsAttributeNameChar(*p))
                ++p;
            std::uint64_t attributes = 0; // each has its '=' outside the quotes
            if (const Defaults* defaults =
                    DefaultsOf(std::string_view(name, static_cast<std::size_t>(p - name)))) {
                attributes = defaults->count;
                totals.equals = Add(totals.equals, defaults->count);
                totals.defaultBytes = Add(totals.defaultBytes, defaults->bytes);
                totals.expansion = Add(totals.expansion, defaults->expansion);
            }
            while (p < end && *p != '>') {
                attributes += *p == '=' ? 1 : 0;
                if (*p != '"' && *p != '\'')
                    ++p;
                else if (!SkipQuoted(p, end))
                    break;
            }
            if (attributes > m_limits.attributesPerElement)
                return Fail(XmlScan::TooManyAttributes, m_anchor);
            const bool empty = p > text.c_str() && p[-1] == '/';
            if (p < end)
                ++p;
            deepest = std::max(deepest, level + 1);
            level += empty ? 0 : 1;
        }
    }
    *levels = balanced && level == 0 ? 1 + deepest : 0;
    return true;
}

// Expansion, markup, depth and references of one entity's replacement text, references
// expanded. An entity that refers to itself, directly or not, makes the text malformed.
bool Scanner::Compute(std::size_t index)
{
    if (m_entities[index].state == Entity::Done)
        return true;
    if (m_entities[index].state == Entity::Visiting)
        return Fail(XmlScan::RecursiveEntity, m_entities[index].value.data());
    m_entities[index].state = Entity::Visiting;
    Entity totals; // the reference itself: one node, one level
    totals.depth = 1;
    totals.references = 1;
    // A reference brings in the replacement text, character references replaced: "&#38;a;"
    // in the literal is a reference to a there.
    const std::string replaced = Replace(m_entities[index].value);
    const char* end = replaced.data() + replaced.size();
    for (const char* p = replaced.data(); p < end;) {
        const char c = *p;
        if (c == '&' && p + 1 < end && p[1] == '#') {
            const auto decoded = DecodeCharacterReference(p, end, &p);
            if (decoded == '<') {
                ++totals.markup;
                ++totals.depth;
            }
            totals.equals += decoded == '=' ? 1 : 0;
            totals.expansion = Add(totals.expansion, 1);
            continue;
        }
        if (c == '&') {
            const char* name = p + 1;
            const char* q = name;
            while (q < end && IsEntityNameChar(*q))
                ++q;
            if (q < end && *q == ';' && q > name) {
                if (!ComputeReference(std::string_view(name, static_cast<std::size_t>(q - name)),
                                      totals))
                    return false;
                p = q + 1;
                continue;
            }
            // No reference: charged as one to an unknown entity (see Reference).
            totals.depth = Add(totals.depth, kUnknownEntity.depth);
            totals.references = Add(totals.references, kUnknownEntity.references);
        }
        if (c == '<') {
            ++totals.markup;
            ++totals.depth;
        }
        totals.equals += c == '=' ? 1 : 0;
        totals.expansion = Add(totals.expansion, 1);
        ++p;
    }
    // Balanced markup nests no deeper than its open elements; otherwise every '<' may be one.
    std::uint64_t nested = 0;
    if (!ElementDepth(replaced, totals, &nested))
        return false;
    Entity& entity = m_entities[index];
    entity.expansion = totals.expansion;
    entity.markup = totals.markup;
    entity.equals = totals.equals;
    entity.defaultBytes = totals.defaultBytes;
    entity.depth = nested > 0 ? std::min(totals.depth, nested) : totals.depth;
    entity.references = totals.references;
    entity.state = Entity::Done;
    return true;
}

// A reference to 'name' inside an entity's text: what it brings in each time that text is.
bool Scanner::ComputeReference(std::string_view name, Entity& totals)
{
    if (IsPredefined(name)) {
        totals.expansion = Add(totals.expansion, 1);
        return true;
    }
    // The reference's node holds a copy of the name, however long it is.
    totals.expansion = Add(totals.expansion, name.size());
    const auto found = m_general.find(name);
    const Entity* inner = &kUnknownEntity;
    if (found != m_general.end() && !m_entities[found->second].external) {
        if (!Compute(found->second))
            return false;
        inner = &m_entities[found->second];
    }
    totals.expansion = Add(totals.expansion, inner->expansion);
    totals.markup = Add(totals.markup, inner->markup);
    totals.equals = Add(totals.equals, inner->equals);
    totals.defaultBytes = Add(totals.defaultBytes, inner->defaultBytes);
    totals.depth = Add(totals.depth, inner->depth);
    totals.references = Add(totals.references, inner->references);
    return true;
}

XmlScan Scanner::Run()
{
    m_end = FindForbidden(m_text);
    const char* p = m_text;
    auto stopHere = [this, &p](XmlScan::Verdict verdict) {
        m_scan.verdict = verdict;
        m_scan.stop = static_cast<std::size_t>(p - m_text);
        return m_scan;
    };
    if (m_end != m_text + m_size) {
        p = m_end;
        return stopHere(XmlScan::ForbiddenCharacter);
    }
    if (StartsWithUtf8ByteOrderMark(p, m_size))
        p += sizeof kUtf8ByteOrderMark;

    // The names of the open elements, for the closing tags; the walk ends beyond the limit.
    std::vector<std::string_view> open;
    int depth = 0;
    for (;;) {
        if (depth == 0) {
            SkipSpace(p);
            if (*p != '<')
                return stopHere(*p == 0 ? XmlScan::Complete : XmlScan::Malformed);
        } else {
            if (!CharacterData(p, depth))
                return m_scan;
            if (!*p)
                return stopHere(XmlScan::Malformed);
            if (p[1] == '/') {
                if (!EndTag(p, open.back()))
                    return stopHere(XmlScan::Malformed);
                open.pop_back();
                --depth;
                continue;
            }
        }
        const char* start = p;
        ++p; // '<'
        const Node node = SkipNodeStart(p);
        if (node == Node::Error)
            return m_scan;
        if (node == Node::Other)
            continue;
        ++m_scan.elements;
        // An empty element is parsed one level down, though it opens no level of its own.
        m_scan.depth = std::max(m_scan.depth, depth + 1);
        if (node == Node::OpenElement) {
            const char* name = start + 1;
            const char* end = name;
            while (IsNameChar(*end))
                ++end;
            open.emplace_back(name, static_cast<std::size_t>(end - name));
            ++depth;
        }
        if (m_scan.depth > m_limits.depth) {
            m_scan.depth = m_limits.depth + 1;
            p = start;
            return stopHere(XmlScan::TooDeep);
        }
    }
}

// Character data up to the next '<' or the text's end, with the references in it, inside an
// element 'depth' levels down. False where a reference stops the scan.
bool Scanner::CharacterData(const char*& p, int depth)
{
    const char* run = p;
    const auto* lt =
        static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(m_end - p)));
    const char* end = lt ? lt : m_end;
    while (p < end && IsSpace(*p))
        ++p;
    if (p < end)
        ++m_scan.textRuns;
    // No reference holds a '<'.
    while ((p = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)))))
        if (!Reference(p, depth))
            return false;
    p = end;
    Gathered(run, p);
    return true;
}

// The end tag at 'p', which must close the element named 'open'; 'p' moves past it only then.
bool Scanner::EndTag(const char*& p, std::string_view open)
{
    const char* name = p + 2;
    const char* q = name;
    while (IsNameChar(*q))
        ++q;
    if (std::string_view(name, static_cast<std::size_t>(q - name)) != open)
        return false;
    Gathered(name, q);
    SkipSpace(q);
    if (*q != '>')
        return false;
    p = q + 1;
    return true;
}

} // namespace

std::uint32_t DecodeCharacterReference(const char* p, const char* end, const char** next)
{
    p += 2; // "&#"
    const bool hex = p < end && *p == 'x';
    if (hex)
        ++p;
    const unsigned base = hex ? 16 : 10;
    std::uint32_t code = 0;
    bool digits = false;
    bool beyond = false;
    for (; p < end; ++p) {
        unsigned digit;
        const char c = *p;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        digits = true;
        // Leading zeros change nothing; a number beyond Unicode stays beyond it.
        code = code * base + digit;
        if (code > kLastXmlCharacter) {
            beyond = true;
            code = 0;
        }
    }
    if (p < end && *p == ';' && digits) {
        *next = p + 1;
        return beyond ? kLastXmlCharacter + 1 : code;
    }
    *next = p;
    return kNotACharacter;
}

XmlScan ScanXml(const char* text, const XmlScanLimits& limits)
{
    return ScanXml(text, std::strlen(text), limits);
}

XmlScan ScanXml(const char* text, std::size_t size, const XmlScanLimits& limits)
{
    Scanner scanner(text, size, limits);
    return scanner.Run();
}
