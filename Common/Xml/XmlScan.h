#pragma once

#include "Common/Xml/XmlChars.h"

#include <cstddef>
#include <cstdint>

// The one scanner of XML text: it walks a NUL-terminated UTF-8 text once, the way RapidXML's
// full parse walks its elements, without recursion, and also reads what a full XML parser
// would do beyond that: the document type declaration with its entity declarations, every
// character and entity reference with the characters and markup it brings in, and every
// character XML forbids. From it follow the deepest nesting, the count of every kind of node
// a DOM parser builds, and the characters entities expand to.

// No character: text that is not a character reference.
constexpr std::uint32_t kNotACharacter = 0xFFFFFFFF;

// The one decoder of character references. 'p' stands on the '&' of "&#"; the reference ends
// at its ';', before 'end'. Returns the character's number, any number of leading zeros
// allowed, and U+110000 for every number beyond Unicode (IsXmlChar refuses both); for a
// reference without digits or without ';' after them, kNotACharacter. '*next' is set behind
// the ';', or behind the digits read when there is none.
std::uint32_t DecodeCharacterReference(const char* p, const char* end, const char** next);

// What one walk may cost at most: it stops at the first limit passed.
struct XmlScanLimits
{
    int depth;
    std::size_t declarations = SIZE_MAX;  // entity declarations, parameter references included
    std::uint64_t expansion = UINT64_MAX; // characters all entity references expand to
    std::size_t attributesPerElement = SIZE_MAX;  // also in an entity's text, defaults included
    std::size_t attributeDeclarations = SIZE_MAX; // attribute definitions of attribute lists
    // Whether the DOM check gives elements the attributes their attribute lists declare default
    // values for: then these count as the element's own, and so do what their references expand to.
    bool defaultAttributes = true;
    const char* counted[2] = {nullptr, nullptr}; // element names to count in XmlScan::named
};

struct XmlScan
{
    enum Verdict
    {
        Complete,            // walked to the end with every element closed
        Malformed,           // a syntax error in the elements: RapidXML stops here too
        NotXml,              // one RapidXML passes over: in the document type or a reference
        TooDeep,             // elements, also through entities, nest deeper than the limit
        ForbiddenCharacter,  // a character XML forbids, raw or by character reference
        RecursiveEntity,     // an entity that refers to itself, directly or not
        TooManyDeclarations, // more entity declarations than the limit
        TooMuchExpansion,    // references expand to more characters than the limit
        // A parameter entity reference inside a markup declaration of the document type. XML
        // forbids it in entity values there; elsewhere in a declaration the DOM check still
        // reads it as further declarations, which no scan of the declaration can follow.
        ParameterReferenceInDeclaration,
        // A document type declaration after another or after the first element. XML allows one,
        // before the root; the parsers disagree on where a later one ends.
        MisplacedDoctype,
        // An element with more attributes than the limit, those its attribute list declares
        // default values for included: a DOM check may compare each with all before it.
        TooManyAttributes,
        // More attribute definitions in attribute lists than the limit: a DOM check may compare
        // each with all before it, and every element with all of them.
        TooManyAttributeDeclarations
    };
    Verdict verdict = Malformed;
    std::size_t stop = 0; // offset where the walk ended: the text's end, or the fault
    // The deepest element level, entities included (an upper bound: each reference and every
    // '<' it brings in count as one level); beyond the limit, limit + 1. 1 for a lone top
    // element.
    int depth = 0;
    std::size_t elements = 0; // written in the text
    std::size_t named = 0;    // elements named as in XmlScanLimits::counted
    // Written in the text, and those a default value of an attribute list gives an element.
    std::size_t attributes = 0;
    // Bytes of the default values (entity references in them expanded) and of their attributes'
    // names, once for every element they apply to, also one an entity brings in.
    std::uint64_t defaultBytes = 0;
    std::size_t textRuns = 0; // character data with more than white space in it
    // Bytes of the longest run of character data, comment, CDATA section, instruction, name,
    // attribute value or entity value.
    std::size_t longestText = 0;
    std::size_t nameBytes = 0;  // of element and attribute names and instruction targets
    std::size_t otherNodes = 0; // comments, CDATA sections, processing instructions
    // Bytes of XML declarations: the DOM check keeps their values apart from the instruction.
    std::size_t declarationBytes = 0;
    std::size_t declarations = 0;          // entity declarations, and parameter entity references
    std::size_t attributeDeclarations = 0; // attribute definitions of attribute lists
    // The document type's other markup declarations (notations, elements, attribute lists),
    // whatever the DOM check makes of each.
    std::size_t subsetDeclarations = 0;
    // Entity references in content and attribute values, also those inside entities, and
    // those to entities the text does not declare: each a node of the DOM tree.
    std::uint64_t references = 0;
    // Characters they expand to; those in default values once, and once more for every element
    // the default applies to.
    std::uint64_t expansion = 0;
    std::uint64_t entityMarkup = 0; // '<' characters they bring in
    // Attributes of the elements they bring in: a '=' for each written, and the defaults.
    std::uint64_t entityAttributes = 0;
    // The first document type declaration, from its '<' to behind its '>'; empty when none.
    std::size_t doctypeBegin = 0;
    std::size_t doctypeEnd = 0;
};

XmlScan ScanXml(const char* text, const XmlScanLimits& limits);
// The same for a text of 'size' bytes, NUL-terminated behind them: a NUL among them is a
// character XML forbids.
XmlScan ScanXml(const char* text, std::size_t size, const XmlScanLimits& limits);
