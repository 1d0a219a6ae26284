#pragma once

#include "Common/File/Outcome.h"
#include "Common/Xml/XmlScan.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace zuchecklist {

// The checks a checklist text passes before it is parsed, all from one scan (XmlScan) with the
// limits of LoadLimits.h, and what they say when it fails them.
class LoadChecks
{
    Q_DECLARE_TR_FUNCTIONS(LoadChecks)

public:
    // 'utf8' is NUL-terminated.
    static XmlScan Scan(const char* utf8);
    // A text of 'size' bytes, NUL-terminated behind them: a NUL among them is refused.
    static XmlScan Scan(const char* utf8, std::size_t size);
    // Done for a scan that completed; otherwise why not, with line and column where the text
    // is at fault. TooDeep is also reported on stderr.
    static file::Outcome Judge(const char* utf8, const XmlScan& scan);
    // The larger of the estimated peaks of memory that the DOM check and the loading of the
    // text would reach; 0 for a scan that did not complete.
    static std::uint64_t MemoryEstimate(std::size_t size, const XmlScan& scan);
    // What 'rows' lists and items with 'textBytes' bytes of text in all take once they are in the
    // document and the tree: the peak of loading once the check is done, and all of a paste.
    static std::uint64_t RowsMemory(std::uint64_t rows, std::uint64_t textBytes);
    // The deepest element level the DOM check can build from the text: its elements and
    // references, and what the references bring in.
    static int Depth(const XmlScan& scan) { return scan.depth; }
    // 1-based line and column (in characters) of a byte offset into UTF-8 text.
    struct Place
    {
        int line;
        int column;
    };
    static Place PlaceOf(const char* utf8, std::size_t offset);
    // "It is not well-formed XML: <what> at line L, column C."
    static file::Outcome NotWellFormed(const QString& what, int line, int column);
};

} // namespace zuchecklist
