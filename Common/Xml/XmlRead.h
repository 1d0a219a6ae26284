#pragma once

#include <cstddef>
#include <string>

namespace rapidxml {
template <class Ch> class xml_node;

// Called by RapidXML (built with RAPIDXML_NO_EXCEPTIONS) on a syntax error or when its memory
// pool is exhausted. Prints "Xml parse error: <what>.\n" to stderr and then throws
// XmlParseAbort, so the parser never continues after an error. Whoever calls
// xml_document::parse catches XmlParseAbort and reports the text as not loaded.
void parse_error_handler(const char* what, void* where);
} // namespace rapidxml

// Thrown only by rapidxml::parse_error_handler.
struct XmlParseAbort
{
    const char* what;
    const char* where; // into the text being parsed
};

using XmlNode = rapidxml::xml_node<char>;

// The deepest element level that RapidXML (parse_full) can build from 'text', read as RapidXML
// reads it: instructions to "?>", comments to "-->", CDATA sections to "]]>", a document type to
// its first '>' outside balanced brackets, other "<!" to '>', quoted attribute values, and every
// other '<' an element or an end tag. Where RapidXML would stop at an error, the walk goes on,
// so that it never counts less than RapidXML builds. Beyond 'limit': limit + 1.
int XmlParserDepth(const char* text, int limit);

// The first child element of 'node' named 'name', and the next sibling element of that name.
// RapidXML's own name-filtered lookups also match processing instructions, whose target
// counts as their name; these skip them. Null when there is none.
const XmlNode* FirstXmlElement(const XmlNode* node, const char* name);
const XmlNode* NextXmlElement(const XmlNode* node, const char* name);

// Each reader looks for the first child of 'node' named 'childName' (exact, case-sensitive;
// processing instructions do not count), or takes the first child of any kind when
// 'childName' is null, and falls back to 'defaultValue' when there is none. With an attribute
// name, the value comes from that attribute of the child; a missing attribute gives the
// default, except for GetXmlString, which then takes the child's own text.

void GetXmlString(const XmlNode* node, const char* childName, std::string& out,
                  const std::string& defaultValue, const char* attributeName = nullptr);

// Copies the text, cut to outSize - 1 bytes and always terminated, into 'out'. Returns the
// length of the whole text, so a caller whose buffer was too small can grow it and read again.
// With outSize 0 nothing is written.
std::size_t GetXmlText(const XmlNode* node, const char* childName, char* out, std::size_t outSize,
                       const char* defaultValue, const char* attributeName = nullptr);

int GetXmlInt(const XmlNode* node, const char* childName, int defaultValue,
              const char* attributeName = nullptr);
bool GetXmlBool(const XmlNode* node, const char* childName, bool defaultValue,
                const char* attributeName = nullptr);
float GetXmlFloat(const XmlNode* node, const char* childName, float defaultValue,
                  const char* attributeName = nullptr);

int GetXmlElementInt(const XmlNode* node, const char* childName, int defaultValue);
bool GetXmlElementBool(const XmlNode* node, const char* childName, bool defaultValue);
float GetXmlElementFloat(const XmlNode* node, const char* childName, float defaultValue);
