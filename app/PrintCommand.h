#pragma once

#include <QCoreApplication>

#include <functional>

class QWidget;

namespace zuchecklist {
class CheckListContainer;
}

// The window's Ctrl+P: the toolkit's print preview of the document, from which the user chooses
// the printer, the paper and the orientation, and prints or writes a PDF. A document too large
// for a preview goes to the print dialog alone. The document is only read.
class PrintCommand
{
    Q_DECLARE_TR_FUNCTIONS(PrintCommand)

public:
    // The most rows a preview is made for: it keeps every page in memory, about 1 KB a row, and
    // lays them all out again whenever the paper or the orientation changes; 20,000 rows take
    // about 36 MiB and half a second (docs/performance.md).
    static constexpr qint64 kMostPreviewRows = 20000;

    // 'tell' puts a sentence in the status bar.
    static void Run(QWidget* window, const zuchecklist::CheckListContainer& document,
                    const std::function<void(const QString&)>& tell);

    // About how many rows the document's pages hold: a row for each list and item, and one more
    // for every 40 characters of their texts.
    static qint64 Rows(const zuchecklist::CheckListContainer& document);
};
