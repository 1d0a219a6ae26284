#pragma once

#include <cstddef>

// RapidXML descends once per element level, so a deeply nested text can exhaust the stack.
// XmlNestingDepth walks a text the way RapidXML's full parse does, without recursion, and
// returns the deepest element level it would reach (1 for a lone top-level element, empty or
// not). It stops as soon as the depth exceeds 'limit' and then returns limit + 1. Where
// RapidXML would stop with a syntax error, the walk stops too and returns the depth reached so
// far. If 'complete' is given, it tells whether the walk reached the end of the text with
// every element closed and within the limit; closing tag names are not compared.
int XmlNestingDepth(const char* text, int limit, bool* complete = nullptr);

// What one such walk saw: enough to bound what a full parser of the same text would build.
struct XmlScan
{
    int depth = 0;         // as XmlNestingDepth returns it
    bool complete = false; // as XmlNestingDepth reports it
    std::size_t stop = 0;  // offset where the walk ended: the text's end, or the first error
    std::size_t elements = 0;
    std::size_t attributes = 0;
    std::size_t textRuns = 0;    // character data with more than white space in it
    std::size_t longestText = 0; // bytes of the longest run of character data
    std::size_t otherNodes = 0;  // comments, CDATA sections, processing instructions
    // The first document type declaration, from its '<' to behind its '>'; empty when none.
    std::size_t doctypeBegin = 0;
    std::size_t doctypeEnd = 0;
};

// The same walk as XmlNestingDepth, which also compares every closing tag name with its
// element's name, as the full parse does, and counts what it passes.
XmlScan ScanXml(const char* text, int limit);

// The deepest nesting the checklist loader accepts. The format itself needs four levels.
constexpr int kXmlNestingLimit = 256;

// The one diagnostic line for a text refused for its nesting, on stderr.
void ReportXmlNestingTooDeep();
