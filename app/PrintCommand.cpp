#include "PrintCommand.h"

#include "ChecklistPrint.h"

#include "Common/CheckList/CheckListContainer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

// A row of the narrowest paper holds at least this many characters of a text.
constexpr int kRowCharacters = 40;

// The pages on 'printer', under the wait cursor; the number of pages, -1 on failure.
int Print(const zuchecklist::CheckListContainer& document, QPrinter* printer, const QString& title)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int pages = PrintChecklist(document, printer, title);
    QApplication::restoreOverrideCursor();
    return pages;
}

} // namespace

qint64 PrintCommand::Rows(const zuchecklist::CheckListContainer& document)
{
    qint64 rows = 0;
    for (int l = 0; l < document.GetListCount(); ++l) {
        rows += 1 + document.GetListName(l).size() / kRowCharacters;
        for (int i = 0; i < document.GetItemCount(l); ++i)
            rows += 1 + (document.GetItemText(l, i).size() + document.GetItemAction(l, i).size()) /
                            kRowCharacters;
    }
    return rows;
}

void PrintCommand::Run(QWidget* window, const zuchecklist::CheckListContainer& document,
                       const std::function<void(const QString&)>& tell)
{
    if (document.GetListCount() == 0) {
        tell(tr("Nothing to print."));
        return;
    }
    const QString title = QFileInfo(document.GetFileName()).fileName();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    const qreal margin = kChecklistMarginMm;
    printer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    int pages = 0;
    const bool previewed = Rows(document) <= kMostPreviewRows;
    if (previewed) {
        QPrintPreviewDialog preview(&printer, window);
        preview.setObjectName(QStringLiteral("printPreview"));
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                         [&](QPrinter* on) { pages = Print(document, on, title); });
        if (preview.exec() != QDialog::Accepted)
            return;
    } else {
        tell(tr("The checklist is too large for a preview: it is printed without one."));
        QPrintDialog dialog(&printer, window);
        dialog.setObjectName(QStringLiteral("printDialog"));
        if (dialog.exec() != QDialog::Accepted) {
            tell(QString());
            return;
        }
        pages = Print(document, &printer, title);
    }
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    const QString where =
        toFile ? QDir::toNativeSeparators(printer.outputFileName()) : printer.printerName();
    if (pages < 0)
        tell(tr("The checklist could not be printed to \"%1\".").arg(where));
    else if (!previewed)
        tell(tr("Printed %1 pages to \"%2\" without a preview: the checklist is too large for one.")
                 .arg(pages)
                 .arg(where));
    else if (pages == 1)
        tell(tr("Printed 1 page to \"%1\".").arg(where));
    else
        tell(tr("Printed %1 pages to \"%2\".").arg(pages).arg(where));
}
