#include "XmlNesting.h"

#include <rapidxml/rapidxml.hpp>

#include <cstdio>

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
bool SkipAttributes(const char*& p)
{
    while (IsAttributeNameChar(*p)) {
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
    EmptyElement,
    OpenElement
};

// 'p' stands just behind a '<' that does not start an end tag.
Node SkipNodeStart(const char*& p)
{
    if (*p == '?') {
        ++p;
        if ((p[0] == 'x' || p[0] == 'X') && (p[1] == 'm' || p[1] == 'M') &&
            (p[2] == 'l' || p[2] == 'L') && IsSpace(p[3])) {
            p += 4;
            SkipSpace(p);
            if (!SkipAttributes(p) || p[0] != '?' || p[1] != '>')
                return Node::Error;
            p += 2;
            return Node::Other;
        }
        const char* name = p;
        while (IsNameChar(*p))
            ++p;
        if (p == name)
            return Node::Error;
        return SkipPast(p, "?>") ? Node::Other : Node::Error;
    }
    if (*p == '!') {
        if (p[1] == '-' && p[2] == '-') {
            p += 3;
            return SkipPast(p, "-->") ? Node::Other : Node::Error;
        }
        if (p[1] == '[' && p[2] == 'C' && p[3] == 'D' && p[4] == 'A' && p[5] == 'T' &&
            p[6] == 'A' && p[7] == '[') {
            p += 8;
            return SkipPast(p, "]]>") ? Node::Other : Node::Error;
        }
        if (p[1] == 'D' && p[2] == 'O' && p[3] == 'C' && p[4] == 'T' && p[5] == 'Y' &&
            p[6] == 'P' && p[7] == 'E' && IsSpace(p[8])) {
            p += 9;
            return SkipDoctype(p) ? Node::Other : Node::Error;
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
    if (!SkipAttributes(p))
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

int XmlNestingDepth(const char* text, int limit, bool* complete)
{
    bool ignored = false;
    bool& reachedEnd = complete ? *complete : ignored;
    reachedEnd = false;

    const char* p = text;
    if (static_cast<unsigned char>(p[0]) == 0xEF && static_cast<unsigned char>(p[1]) == 0xBB &&
        static_cast<unsigned char>(p[2]) == 0xBF)
        p += 3;

    int depth = 0;
    int deepest = 0;
    for (;;) {
        if (depth == 0) {
            SkipSpace(p);
            if (*p != '<') {
                // The end of the text, or a syntax error RapidXML reports itself.
                reachedEnd = *p == 0;
                return deepest;
            }
        } else {
            // Character data runs up to the next '<'.
            while (*p && *p != '<')
                ++p;
            if (!*p)
                return deepest;
            if (p[1] == '/') {
                p += 2;
                while (IsNameChar(*p))
                    ++p;
                SkipSpace(p);
                if (*p != '>')
                    return deepest;
                ++p;
                --depth;
                continue;
            }
        }
        ++p; // '<'
        switch (SkipNodeStart(p)) {
        case Node::Error:
            return deepest;
        case Node::Other:
            continue;
        case Node::EmptyElement:
            // Parsed one level down, though it opens no level of its own.
            if (depth + 1 > deepest)
                deepest = depth + 1;
            break;
        case Node::OpenElement:
            if (++depth > deepest)
                deepest = depth;
            break;
        }
        if (deepest > limit)
            return limit + 1;
    }
}

void ReportXmlNestingTooDeep()
{
    std::fprintf(stderr, "Xml nesting is deeper than %d levels.\n", kXmlNestingLimit);
}
