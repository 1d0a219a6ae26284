#include "XmlRead.h"

#include "Common/Util/StringUtils.h"

#include <rapidxml/rapidxml.hpp>

#include <cstdio>
#include <cstring>

void rapidxml::parse_error_handler(const char* what, void* where)
{
    std::fprintf(stderr, "Xml parse error: %s.\n", what);
    throw XmlParseAbort{what, static_cast<const char*>(where)};
}

namespace {

using XmlAttr = rapidxml::xml_attribute<char>;

const XmlNode* SkipInstructions(const XmlNode* node, const char* name, std::size_t size)
{
    while (node && node->type() == rapidxml::node_pi)
        node = node->next_sibling(name, size, true);
    return node;
}

const XmlNode* FindChild(const XmlNode* node, const char* childName)
{
    if (!node)
        return nullptr;
    if (!childName)
        return node->first_node();
    return FirstXmlElement(node, childName);
}

// The child's text or its attribute's text; null when the child, or the wanted attribute,
// is missing.
const char* FindText(const XmlNode* child, const char* attributeName, std::size_t* size)
{
    if (!child)
        return nullptr;
    if (!attributeName) {
        *size = child->value_size();
        return child->value();
    }
    const XmlAttr* attribute =
        child->first_attribute(attributeName, std::strlen(attributeName), true);
    if (!attribute)
        return nullptr;
    *size = attribute->value_size();
    return attribute->value();
}

// The text runs to its terminator, which a character reference of 0 may place early.
std::size_t TextLength(const char* text, std::size_t size)
{
    const void* zero = std::memchr(text, 0, size);
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : size;
}

} // namespace

const XmlNode* FirstXmlElement(const XmlNode* node, const char* name)
{
    const std::size_t size = std::strlen(name);
    return SkipInstructions(node->first_node(name, size, true), name, size);
}

const XmlNode* NextXmlElement(const XmlNode* node, const char* name)
{
    const std::size_t size = std::strlen(name);
    return SkipInstructions(node->next_sibling(name, size, true), name, size);
}

void GetXmlString(const XmlNode* node, const char* childName, std::string& out,
                  const std::string& defaultValue, const char* attributeName)
{
    const XmlNode* child = FindChild(node, childName);
    if (!child) {
        out = defaultValue;
        return;
    }
    std::size_t size = 0;
    const char* text = FindText(child, attributeName, &size);
    if (!text)
        text = FindText(child, nullptr, &size);
    out.assign(text, TextLength(text, size));
}

std::size_t GetXmlText(const XmlNode* node, const char* childName, char* out, std::size_t outSize,
                       const char* defaultValue, const char* attributeName)
{
    std::size_t size = 0;
    const char* text = FindText(FindChild(node, childName), attributeName, &size);
    std::size_t length;
    if (text) {
        length = TextLength(text, size);
    } else {
        text = defaultValue ? defaultValue : "";
        length = std::strlen(text);
    }
    if (outSize > 0) {
        const std::size_t copied = length < outSize ? length : outSize - 1;
        std::memcpy(out, text, copied);
        out[copied] = 0;
    }
    return length;
}

int GetXmlInt(const XmlNode* node, const char* childName, int defaultValue,
              const char* attributeName)
{
    const XmlNode* child = FindChild(node, childName);
    std::size_t size = 0;
    const char* text = FindText(child, attributeName, &size);
    if (!text)
        return defaultValue;
    // An element without a number reads as 0; an attribute without one as the default.
    return StrToInt(text, attributeName ? defaultValue : 0);
}

bool GetXmlBool(const XmlNode* node, const char* childName, bool defaultValue,
                const char* attributeName)
{
    return GetXmlInt(node, childName, defaultValue ? 1 : 0, attributeName) != 0;
}

float GetXmlFloat(const XmlNode* node, const char* childName, float defaultValue,
                  const char* attributeName)
{
    std::size_t size = 0;
    const char* text = FindText(FindChild(node, childName), attributeName, &size);
    return text ? StrToFloat(text) : defaultValue;
}

int GetXmlElementInt(const XmlNode* node, const char* childName, int defaultValue)
{
    return GetXmlInt(node, childName, defaultValue, nullptr);
}

bool GetXmlElementBool(const XmlNode* node, const char* childName, bool defaultValue)
{
    return GetXmlElementInt(node, childName, defaultValue ? 1 : 0) != 0;
}

float GetXmlElementFloat(const XmlNode* node, const char* childName, float defaultValue)
{
    return GetXmlFloat(node, childName, defaultValue, nullptr);
}

namespace {

// Past 'terminator', or at the text's end.
const char* SkipPast(const char* p, const char* terminator)
{
    const char* found = std::strstr(p, terminator);
    return found ? found + std::strlen(terminator) : p + std::strlen(p);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Past the characters RapidXML takes into a name: all but blanks, NUL and 'stops'.
const char* SkipName(const char* p, const char* stops)
{
    while (*p && !IsBlank(*p) && !std::strchr(stops, *p))
        ++p;
    return p;
}

// Behind "<!DOCTYPE" and a blank: to behind the first '>' outside balanced brackets.
const char* SkipDoctype(const char* p)
{
    while (*p && *p != '>') {
        if (*p++ != '[')
            continue;
        for (int depth = 1; *p && depth > 0; ++p)
            depth += *p == '[' ? 1 : *p == ']' ? -1 : 0;
    }
    return *p ? p + 1 : p;
}

} // namespace

int XmlParserDepth(const char* p, int limit)
{
    int depth = 0;
    int deepest = 0;
    while ((p = std::strchr(p, '<'))) {
        ++p;
        if (*p == '?') {
            p = SkipPast(p, "?>");
        } else if (*p == '!') {
            if (std::strncmp(p, "!--", 3) == 0)
                p = SkipPast(p + 3, "-->");
            else if (std::strncmp(p, "![CDATA[", 8) == 0)
                p = SkipPast(p + 8, "]]>");
            else if (std::strncmp(p, "!DOCTYPE", 8) == 0 && IsBlank(p[8]))
                p = SkipDoctype(p + 9);
            else
                p = SkipPast(p, ">");
        } else if (*p == '/') {
            depth = depth > 0 ? depth - 1 : 0;
            p = SkipPast(p, ">");
        } else {
            // A start tag, with RapidXML's own name characters: quotes may stand in names, and
            // only a value after '=' is quoted.
            p = SkipName(p, "/>?");
            for (;;) {
                while (IsBlank(*p))
                    ++p;
                const char* name = p;
                p = SkipName(p, "/<>=?!");
                if (p == name)
                    break;
                while (IsBlank(*p))
                    ++p;
                if (*p == '=')
                    ++p;
                while (IsBlank(*p))
                    ++p;
                if (*p != '"' && *p != '\'')
                    break;
                const char* close = std::strchr(p + 1, *p);
                p = close ? close + 1 : p + std::strlen(p);
            }
            const bool empty = p[0] == '/' && p[1] == '>';
            p = SkipPast(p, ">");
            if (depth + 1 > deepest)
                deepest = depth + 1;
            if (!empty)
                ++depth;
            if (deepest > limit)
                return limit + 1;
        }
    }
    return deepest;
}
