#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What the checklist loader accepts. Every limit lies far beyond any real checklist: the format
// needs four levels of nesting, no attributes and no document type, and a checklist of
// 1,000,000 items (about 90 MB) loads within the memory budget (on Qt 6, whose DOM check takes
// more, one of about 700,000).
namespace zuchecklist::limits {

// Larger files are refused before they are read, and no more than one byte beyond this is ever
// read from a file whatever size it reports.
constexpr std::int64_t kMaxFileBytes = std::int64_t{256} * 1024 * 1024;

// Elements nest no deeper than this: RapidXML descends once per level, on the stack. The
// format itself needs four.
constexpr int kMaxNesting = 256;

// Loading passes through phases that each hold their own structures: the DOM tree of the
// well-formedness check, then the parser's tree and the document, then the document and the
// window's rows. The peak of each is estimated from what the text holds, and a text whose
// larger estimate exceeds the budget is refused before the check. The parser's phase costs less
// per element than the DOM's and needs no estimate of its own.
constexpr std::uint64_t kMemoryBudgetBytes = 1792ull * 1024 * 1024; // 1.75 GiB

// What the DOM check takes per construct, in bytes, measured with `bench/stress-open.sh --costs`
// (every construct in every context, each repeated to the budget or to the limit that bounds
// it) and with the read harness's FUZZ_SHOW_PEAK (small texts), then rounded up. Qt 6's DOM
// check is another parser than Qt 5's, and its costs are its own.
struct DomCosts
{
    std::uint64_t element;
    std::uint64_t textRun;
    // An element's first attribute costs the most: Qt 6 makes the element's table of attributes
    // for it. Every attribute is charged as a first one.
    std::uint64_t attribute;
    // Comments, CDATA sections and instructions, anywhere.
    std::uint64_t otherNode;
    // What the check holds whatever the text: the document, the reader and their buffers, with
    // room for the steps in which those buffers grow.
    std::uint64_t document;
    // Per byte of UTF-8 text: the text itself, its UTF-16 copy, and the DOM's copy of the
    // character data.
    std::uint64_t textByte;
    // Per byte of the longest run of character data, name or value, which the DOM parser
    // gathers in a buffer of its own that grows as it reads. Qt 6's reserves up to twice what it
    // fills: the reservation counts under a limit on the address space.
    std::uint64_t longestTextByte;
    // Per byte of an element's or attribute's name or an instruction's target, beyond its
    // bytes as text: the DOM check keeps names in more copies than text.
    std::uint64_t nameByte;
};
#if QT_VERSION_MAJOR >= 6
constexpr DomCosts kDomCosts{288, 240, 2304, 256, std::uint64_t{48} * 1024, 11, 9, 3};
constexpr std::uint64_t kRowCost = 960;
#else
constexpr DomCosts kDomCosts{272, 208, 640, 240, std::uint64_t{16} * 1024, 5, 4, 1};
constexpr std::uint64_t kRowCost = 896;
#endif

constexpr std::uint64_t kCostPerElement = kDomCosts.element;
constexpr std::uint64_t kCostPerTextRun = kDomCosts.textRun;
constexpr std::uint64_t kCostPerAttribute = kDomCosts.attribute;
constexpr std::uint64_t kCostPerOtherNode = kDomCosts.otherNode;
// Every entity reference may stay in the DOM tree as a node of its own, and split the text
// around it into a text node more.
constexpr std::uint64_t kCostPerReference = kCostPerOtherNode + kCostPerTextRun;
// A construct that may become a node of a kind not measured apart (the document type's
// declarations, parameter references among them) is charged as the largest.
constexpr std::uint64_t kCostOfLargestNode = kCostPerAttribute;
constexpr std::uint64_t kCostOfDocument = kDomCosts.document;
constexpr std::uint64_t kCostPerTextByte = kDomCosts.textByte;
constexpr std::uint64_t kCostPerLongestTextByte = kDomCosts.longestTextByte;
constexpr std::uint64_t kCostPerNameByte = kDomCosts.nameByte;

// The rows phase: every <list> and <item> becomes a document entry and a tree row, and every
// text a UTF-16 string. A flood of <item/> at the budget measured 840 bytes per row on Qt 5 and
// 886 on Qt 6 (bench/stress-open.sh); kRowCost is with the DOM's costs per toolkit.
constexpr std::uint64_t kCostPerRow = kRowCost;
constexpr std::uint64_t kRowCostPerTextByte = 2;

// Attributes of one element, also of one an entity brings in, and those the document type gives
// it by default. The format needs none; Qt 6's DOM check compares each with all before it, so
// their number bounds its time per attribute.
constexpr std::size_t kMaxAttributesPerElement = 256;

// Attribute definitions in the document type's attribute lists. Qt 6's DOM check compares each
// with all before it, and every element with all of them, so their number bounds its time per
// definition and per element.
constexpr std::size_t kMaxAttributeDeclarations = 256;

// A document type declaration may declare entities; their declaration costs the check time
// that grows faster than their number, and their references expand to text the check holds.
constexpr std::size_t kMaxEntityDeclarations = 1000;
constexpr std::uint64_t kMaxEntityExpansion =
    std::uint64_t{1024} * 1024; // characters, for the whole text

} // namespace zuchecklist::limits

namespace zuchecklist {

// The one diagnostic line for a text refused for its nesting, on stderr.
inline void ReportNestingTooDeep()
{
    std::fprintf(stderr, "Xml nesting is deeper than %d levels.\n", limits::kMaxNesting);
}

} // namespace zuchecklist
