#include "LoadChecks.h"

#include "LoadLimits.h"

#include <QDomDocument>

#include <algorithm>
#include <cstring>

namespace zuchecklist {

namespace {

// Whether the DOM check gives an element the attributes that its document type declares default
// values for, as Qt 6's does and Qt 5's does not: asked of the check itself, once.
bool DomCheckAppliesDefaultAttributes()
{
    static const bool applies = [] {
        QDomDocument probe;
        return probe.setContent(QStringLiteral("<!DOCTYPE d [<!ATTLIST d a CDATA 'v'>]><d/>"),
                                false) &&
               probe.documentElement().hasAttribute(QStringLiteral("a"));
    }();
    return applies;
}

} // namespace

LoadChecks::Place LoadChecks::PlaceOf(const char* utf8, std::size_t offset)
{
    Place place{1, 1};
    for (std::size_t i = 0; i < offset; ++i) {
        if (utf8[i] == '\n') {
            ++place.line;
            place.column = 1;
        } else if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            ++place.column;
        }
    }
    return place;
}

XmlScan LoadChecks::Scan(const char* utf8)
{
    return Scan(utf8, std::strlen(utf8));
}

XmlScan LoadChecks::Scan(const char* utf8, std::size_t size)
{
    XmlScanLimits scanLimits{limits::kMaxNesting, limits::kMaxEntityDeclarations,
                             limits::kMaxEntityExpansion};
    scanLimits.attributesPerElement = limits::kMaxAttributesPerElement;
    scanLimits.attributeDeclarations = limits::kMaxAttributeDeclarations;
    scanLimits.defaultAttributes = DomCheckAppliesDefaultAttributes();
    // Each may become a row of the tree.
    scanLimits.counted[0] = "list";
    scanLimits.counted[1] = "item";
    return ScanXml(utf8, size, scanLimits);
}

file::Outcome LoadChecks::NotWellFormed(const QString& what, int line, int column)
{
    return file::Outcome::Failed(
        file::Outcome::NotWellFormed,
        tr("It is not well-formed XML: %1 at line %2, column %3.").arg(what).arg(line).arg(column));
}

file::Outcome LoadChecks::Judge(const char* utf8, const XmlScan& scan)
{
    using file::Outcome;
    if (scan.verdict == XmlScan::Complete)
        return {};
    // Where it stopped is counted only for a text that is refused: the count walks the text.
    const Place place = PlaceOf(utf8, scan.stop);
    const int line = place.line;
    const int column = place.column;
    switch (scan.verdict) {
    case XmlScan::Complete:
        return {};
    case XmlScan::Malformed:
        // Where the walk stops early, the loader's parser would stop too; the DOM parser might
        // go on where nothing bounds it.
        return NotWellFormed(tr("unexpected markup or end of text"), line, column);
    case XmlScan::NotXml:
        return NotWellFormed(tr("a declaration or reference it cannot read"), line, column);
    case XmlScan::RecursiveEntity:
        return NotWellFormed(tr("an entity that refers to itself"), line, column);
    case XmlScan::ForbiddenCharacter:
        return NotWellFormed(tr("a character XML does not allow"), line, column);
    case XmlScan::ParameterReferenceInDeclaration:
        return NotWellFormed(tr("a parameter entity reference inside a declaration"), line, column);
    case XmlScan::MisplacedDoctype:
        return NotWellFormed(tr("a document type declaration out of place"), line, column);
    case XmlScan::TooDeep:
        ReportNestingTooDeep();
        return Outcome::Failed(
            Outcome::TooDeep,
            tr("Its elements are nested deeper than %1 levels.").arg(limits::kMaxNesting));
    case XmlScan::TooManyDeclarations:
        return Outcome::Failed(Outcome::TooMuchMemory,
                               tr("Its document type declares more than %1 entities.")
                                   .arg(limits::kMaxEntityDeclarations));
    case XmlScan::TooManyAttributes:
        return Outcome::Failed(Outcome::TooLarge,
                               tr("An element has more than %1 attributes, at line %2, column %3.")
                                   .arg(limits::kMaxAttributesPerElement)
                                   .arg(line)
                                   .arg(column));
    case XmlScan::TooManyAttributeDeclarations:
        return Outcome::Failed(Outcome::TooLarge,
                               tr("Its document type declares more than %1 attributes.")
                                   .arg(limits::kMaxAttributeDeclarations));
    case XmlScan::TooMuchExpansion:
        return Outcome::Failed(Outcome::TooMuchMemory,
                               tr("Its entity references expand to more than %1 characters.")
                                   .arg(limits::kMaxEntityExpansion));
    }
    return NotWellFormed(tr("unexpected markup or end of text"), line, column);
}

std::uint64_t LoadChecks::MemoryEstimate(std::size_t size, const XmlScan& scan)
{
    using namespace limits;
    if (scan.verdict != XmlScan::Complete)
        return 0;
    // However often entities that expand to nothing are referenced, the product stays in range.
    if (scan.references > kMemoryBudgetBytes / kCostPerReference)
        return UINT64_MAX;
    // Entities bring in their markup as elements and their characters as UTF-16.
    const std::uint64_t elements = scan.elements + scan.entityMarkup;
    // The document type's text is held once more: the parser keeps every entity's value. What
    // references and default attributes bring in is held as UTF-16.
    const std::uint64_t textBytes =
        size + (scan.doctypeEnd - scan.doctypeBegin) + 2 * scan.expansion + 2 * scan.defaultBytes;
    const std::uint64_t domPhase =
        kCostOfDocument + elements * kCostPerElement + scan.textRuns * kCostPerTextRun +
        (scan.attributes + scan.entityAttributes) * kCostPerAttribute +
        scan.otherNodes * kCostPerOtherNode +
        (scan.declarations + scan.subsetDeclarations) * kCostOfLargestNode +
        scan.references * kCostPerReference + textBytes * kCostPerTextByte +
        scan.nameBytes * kCostPerNameByte +
        (scan.longestText + scan.declarationBytes) * kCostPerLongestTextByte;
    return std::max(domPhase, RowsMemory(scan.named, size));
}

std::uint64_t LoadChecks::RowsMemory(std::uint64_t rows, std::uint64_t textBytes)
{
    using namespace limits;
    return rows * kCostPerRow + textBytes * kRowCostPerTextByte;
}

} // namespace zuchecklist
