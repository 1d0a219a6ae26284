#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// What the checklist loader accepts. Every limit lies far beyond any real checklist: the format
// needs four levels of nesting, no attributes and no document type, and a checklist of
// 1,000,000 items (about 90 MB) loads within the memory budget.
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
// larger estimate exceeds the budget is refused before the check. The costs were measured on
// Qt 5.15 (x86-64) with bench/stress-open.sh and rounded up; the parser's phase costs less per
// element than the DOM's and needs no estimate of its own.
constexpr std::uint64_t kMemoryBudgetBytes = 1792ull * 1024 * 1024; // 1.75 GiB

// Qt 6's DOM check builds its tree with more per node than Qt 5's: a checklist of 1,000,000
// items peaked 21 % higher there. Until its costs are measured construct by construct, every
// cost of its phase is a quarter more on Qt 6, rounded up.
#if QT_VERSION_MAJOR >= 6
constexpr std::uint64_t kDomCostPercent = 125;
#else
constexpr std::uint64_t kDomCostPercent = 100;
#endif
constexpr std::uint64_t DomCost(std::uint64_t measured)
{
    return (measured * kDomCostPercent + 99) / 100;
}

// The DOM phase.
constexpr std::uint64_t kCostPerElement = DomCost(272);
constexpr std::uint64_t kCostPerTextRun = DomCost(208);
constexpr std::uint64_t kCostPerAttribute = DomCost(640);
// Comments, CDATA sections, instructions, and the document type's entity declarations.
constexpr std::uint64_t kCostPerOtherNode = DomCost(240);
// Every entity reference stays in the DOM tree as a node of its own, and splits the text
// around it into a text node more.
constexpr std::uint64_t kCostPerReference = kCostPerOtherNode + kCostPerTextRun;
// A construct that may become a node of a kind not measured apart is charged as the largest.
constexpr std::uint64_t kCostOfLargestNode = kCostPerAttribute;
// What the DOM check holds whatever the text: the document, the reader and their buffers,
// with room for the steps in which those buffers grow.
constexpr std::uint64_t kCostOfDocument = DomCost(std::uint64_t{16} * 1024);
// Per byte of UTF-8 text: the text itself, its UTF-16 copy, and the DOM's copy of the
// character data; the longest run of character data costs more again, as the DOM parser
// gathers it in a buffer of its own, and so does an XML declaration, whose values the DOM
// check keeps apart from its text.
constexpr std::uint64_t kCostPerTextByte = DomCost(5);
constexpr std::uint64_t kCostPerLongestTextByte = DomCost(4);

// The rows phase: every <list> and <item> becomes a document entry and a tree row, and every
// text a UTF-16 string.
constexpr std::uint64_t kCostPerRow = 850;
constexpr std::uint64_t kRowCostPerTextByte = 2;

// Attributes of one element, also of one an entity brings in. The format needs none; Qt 6's DOM
// check compares each with all before it, so their number bounds its time per attribute.
constexpr std::size_t kMaxAttributesPerElement = 256;

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
