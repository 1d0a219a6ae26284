#pragma once

#include <cstddef>
#include <cstdint>

struct XmlScan;

namespace zuchecklist {

// What the entities of a document type declaration can make of a text: a full XML parser
// expands every reference to a declared entity, markup included. Measured in one pass over the
// declaration and one over the rest of the text, counting every "&name;" after the declaration
// as a reference (also inside comments, so the figures are upper bounds).
struct DoctypeBounds
{
    enum Verdict
    {
        Ok,
        Malformed,           // the declaration cannot be read
        Recursive,           // an entity refers to itself, directly or not
        TooManyDeclarations, // more entity declarations than the limit
        TooMuchExpansion     // references expand to more characters than the limit
    };
    Verdict verdict = Ok;
    std::size_t where = 0;           // for Malformed: offset into the text
    std::uint64_t expansion = 0;     // characters all references expand to
    std::uint64_t markup = 0;        // '<' characters all references bring in
    std::uint64_t deepestMarkup = 0; // most '<' characters one reference brings in
};

// 'text' is the whole UTF-8 text, 'size' its length; 'scan' the walk over it, which found the
// declaration.
DoctypeBounds MeasureDoctype(const char* text, std::size_t size, const XmlScan& scan);

} // namespace zuchecklist
