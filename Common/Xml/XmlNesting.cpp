#include "XmlNesting.h"

#include <rapidxml/rapidxml.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Tables = rapidxml::internal::lookup_tables<0>;

bool IsSpace(char c)
{
    return Tables::lookup_whitespace[static_cast<unsigned char>(c)];
}
bool IsNameChar(char c)
{
    return Tables::lookup_node_name[static_cast<unsigned char>(c)];
}
bool IsAttributeNameChar(char c)
{
    return Tables::lookup_attribute_name[static_cast<unsigned char>(c)];
}

void SkipSpace(const char*& p)
{
    while (IsSpace(*p))
        ++p;
}

// Advances past 'terminator'; false when the text ends first.
bool SkipPast(const char*& p, const char* terminator)
{
    for (;;) {
        const char* q = p;
        const char* t = terminator;
        while (*t && *q == *t) {
            ++q;
            ++t;
        }
        if (!*t) {
            p = q;
            return true;
        }
        if (!*p)
            return false;
        ++p;
    }
}

// Attribute list of an element or of the declaration, as RapidXML reads it.
bool SkipAttributes(const char*& p, std::size_t& count)
{
    while (IsAttributeNameChar(*p)) {
        ++count;
        ++p;
        while (IsAttributeNameChar(*p))
            ++p;
        SkipSpace(p);
        if (*p != '=')
            return false;
        ++p;
        SkipSpace(p);
        const char quote = *p;
        if (quote != '\'' && quote != '"')
            return false;
        ++p;
        while (*p && *p != quote)
            ++p;
        if (*p != quote)
            return false;
        ++p;
        SkipSpace(p);
    }
    return true;
}

bool SkipDoctype(const char*& p)
{
    while (*p != '>') {
        if (*p == '[') {
            ++p;
            int brackets = 1;
            while (brackets > 0) {
                if (*p == '[')
                    ++brackets;
                else if (*p == ']')
                    --brackets;
                else if (!*p)
                    return false;
                ++p;
            }
        } else if (!*p) {
            return false;
        } else {
            ++p;
        }
    }
    ++p;
    return true;
}

enum class Node
{
    Error,
    Other,
    Doctype,
    EmptyElement,
    OpenElement
};

// 'p' stands just behind a '<' that does not start an end tag.
Node SkipNodeStart(const char*& p, XmlScan& scan)
{
    if (*p == '?') {
        ++p;
        if ((p[0] == 'x' || p[0] == 'X') && (p[1] == 'm' || p[1] == 'M') &&
            (p[2] == 'l' || p[2] == 'L') && IsSpace(p[3])) {
            p += 4;
            SkipSpace(p);
            std::size_t ignored = 0;
            if (!SkipAttributes(p, ignored) || p[0] != '?' || p[1] != '>')
                return Node::Error;
            p += 2;
            return Node::Other;
        }
        ++scan.otherNodes;
        const char* name = p;
        while (IsNameChar(*p))
            ++p;
        if (p == name)
            return Node::Error;
        return SkipPast(p, "?>") ? Node::Other : Node::Error;
    }
    if (*p == '!') {
        if (p[1] == '-' && p[2] == '-') {
            ++scan.otherNodes;
            p += 3;
            return SkipPast(p, "-->") ? Node::Other : Node::Error;
        }
        if (p[1] == '[' && p[2] == 'C' && p[3] == 'D' && p[4] == 'A' && p[5] == 'T' &&
            p[6] == 'A' && p[7] == '[') {
            ++scan.otherNodes;
            p += 8;
            return SkipPast(p, "]]>") ? Node::Other : Node::Error;
        }
        if (p[1] == 'D' && p[2] == 'O' && p[3] == 'C' && p[4] == 'T' && p[5] == 'Y' &&
            p[6] == 'P' && p[7] == 'E' && IsSpace(p[8])) {
            p += 9;
            return SkipDoctype(p) ? Node::Doctype : Node::Error;
        }
        ++p;
        return SkipPast(p, ">") ? Node::Other : Node::Error;
    }
    const char* name = p;
    while (IsNameChar(*p))
        ++p;
    if (p == name)
        return Node::Error;
    SkipSpace(p);
    if (!SkipAttributes(p, scan.attributes))
        return Node::Error;
    if (*p == '>') {
        ++p;
        return Node::OpenElement;
    }
    if (p[0] == '/' && p[1] == '>') {
        p += 2;
        return Node::EmptyElement;
    }
    return Node::Error;
}

} // namespace

XmlScan ScanXml(const char* text, int limit)
{
    XmlScan scan;
    const char* p = text;
    auto stopHere = [&scan, &p, text]() -> XmlScan& {
        scan.stop = static_cast<std::size_t>(p - text);
        return scan;
    };
    if (static_cast<unsigned char>(p[0]) == 0xEF && static_cast<unsigned char>(p[1]) == 0xBB &&
        static_cast<unsigned char>(p[2]) == 0xBF)
        p += 3;

    // The names of the open elements, for the closing tags; the walk ends beyond 'limit'.
    struct Name
    {
        const char* begin;
        std::size_t size;
    };
    std::vector<Name> open;
    int depth = 0;
    for (;;) {
        if (depth == 0) {
            SkipSpace(p);
            if (*p != '<') {
                // The end of the text, or a syntax error RapidXML reports itself.
                scan.complete = *p == 0;
                return stopHere();
            }
        } else {
            // Character data runs up to the next '<'.
            bool blank = true;
            const char* run = p;
            for (; *p && *p != '<'; ++p)
                blank = blank && IsSpace(*p);
            if (!blank)
                ++scan.textRuns;
            if (static_cast<std::size_t>(p - run) > scan.longestText)
                scan.longestText = static_cast<std::size_t>(p - run);
            if (!*p)
                return stopHere();
            if (p[1] == '/') {
                const char* name = p + 2;
                const char* q = name;
                while (IsNameChar(*q))
                    ++q;
                const Name& expected = open.back();
                if (static_cast<std::size_t>(q - name) != expected.size ||
                    std::char_traits<char>::compare(name, expected.begin, expected.size) != 0)
                    return stopHere();
                SkipSpace(q);
                if (*q != '>')
                    return stopHere();
                p = q + 1;
                open.pop_back();
                --depth;
                continue;
            }
        }
        const char* start = p;
        ++p; // '<'
        switch (SkipNodeStart(p, scan)) {
        case Node::Error:
            p = start;
            return stopHere();
        case Node::Other:
            continue;
        case Node::Doctype:
            if (scan.doctypeEnd == 0) {
                scan.doctypeBegin = static_cast<std::size_t>(start - text);
                scan.doctypeEnd = static_cast<std::size_t>(p - text);
            }
            continue;
        case Node::EmptyElement:
            ++scan.elements;
            // Parsed one level down, though it opens no level of its own.
            if (depth + 1 > scan.depth)
                scan.depth = depth + 1;
            break;
        case Node::OpenElement: {
            ++scan.elements;
            const char* name = start + 1;
            const char* end = name;
            while (IsNameChar(*end))
                ++end;
            open.push_back(Name{name, static_cast<std::size_t>(end - name)});
            if (++depth > scan.depth)
                scan.depth = depth;
            break;
        }
        }
        if (scan.depth > limit) {
            scan.depth = limit + 1;
            p = start;
            return stopHere();
        }
    }
}

int XmlNestingDepth(const char* text, int limit, bool* complete)
{
    const XmlScan scan = ScanXml(text, limit);
    if (complete)
        *complete = scan.complete;
    return scan.depth;
}

void ReportXmlNestingTooDeep()
{
    std::fprintf(stderr, "Xml nesting is deeper than %d levels.\n", kXmlNestingLimit);
}
