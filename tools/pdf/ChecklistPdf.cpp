// Writes the pages the editor prints of a checklist file to a PDF, without the window:
//
//   checklist-pdf [--paper A4|A5|Letter] [--landscape] CHECKLIST.xml OUT.pdf
//
// The file is read with the same checks as the editor's Open; the footer names it. Prints the
// number of pages; exits 1 when the file cannot be opened or the PDF cannot be written, 2 on a
// wrong command line.
#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/CheckListReader.h"
#include "app/ChecklistPrint.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPdfWriter>

#include <cstdio>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: checklist-pdf [--paper A4|A5|Letter] [--landscape] "
                         "CHECKLIST.xml OUT.pdf\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // Fonts need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    QPageSize paper(QPageSize::A4);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QStringList files;
    const QStringList arguments = application.arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--landscape")) {
            orientation = QPageLayout::Landscape;
        } else if (argument == QLatin1String("--paper") && i + 1 < arguments.size()) {
            const QString name = arguments[++i];
            if (name == QLatin1String("A4"))
                paper = QPageSize(QPageSize::A4);
            else if (name == QLatin1String("A5"))
                paper = QPageSize(QPageSize::A5);
            else if (name == QLatin1String("Letter"))
                paper = QPageSize(QPageSize::Letter);
            else
                return Usage();
        } else if (argument.startsWith(QLatin1String("--"))) {
            return Usage();
        } else {
            files << argument;
        }
    }
    if (files.size() != 2)
        return Usage();

    zuchecklist::CheckListContainer document(files[0]);
    const file::Outcome loaded = zuchecklist::CheckListReader::Load(files[0], document);
    if (!loaded.Ok()) {
        std::fprintf(stderr, "checklist-pdf: %s: %s\n", qPrintable(files[0]),
                     qPrintable(loaded.sentence));
        return 1;
    }
    QPdfWriter writer(files[1]);
    writer.setTitle(QFileInfo(files[0]).fileName());
    writer.setPageLayout(QPageLayout(
        paper, orientation,
        QMarginsF(kChecklistMarginMm, kChecklistMarginMm, kChecklistMarginMm, kChecklistMarginMm),
        QPageLayout::Millimeter));
    const int pages = PrintChecklist(document, &writer, QFileInfo(files[0]).fileName());
    if (pages < 0) {
        std::fprintf(stderr, "checklist-pdf: %s cannot be written\n", qPrintable(files[1]));
        return 1;
    }
    std::printf("%s: %d %s\n", qPrintable(files[1]), pages, pages == 1 ? "page" : "pages");
    return 0;
}
