#pragma once

#include <QtGlobal>

class QPagedPaintDevice;
class QString;

namespace zuchecklist {
class CheckListContainer;
}

// The margins, in millimetres, that a checklist's pages are set up with before the user or a
// device asks for others. PrintChecklist keeps at least 12 mm from each edge of the paper.
constexpr qreal kChecklistMarginMm = 15;

// Lays the document out on the pages of 'device' and paints them: each list under its name as a
// heading, each item on a line of dots that runs from its text to its action at the right
// margin. A list that fits on a page is never split; a longer one breaks between items and goes
// on under its name and "(continued)". Every page ends in a footer: 'title', "Page N of M" and
// the date. The preview, a printer and a PDF writer get the same pages for the same paper.
//
// Returns the number of pages painted: 0 for a document without lists (nothing is painted), -1
// when nothing could be painted on the device (a PDF file that cannot be written).
int PrintChecklist(const zuchecklist::CheckListContainer& document, QPagedPaintDevice* device,
                   const QString& title);
