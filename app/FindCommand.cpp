#include "FindCommand.h"

#include "DocumentCommand.h"

#include "Common/CheckList/CheckListSearch.h"

#include <QInputDialog>
#include <QLineEdit>

using zuchecklist::CheckListSearch;

QString FindCommand::Ask(QWidget* window, const QString& last)
{
    bool ok = false;
    const QString text = QInputDialog::getText(window, tr("Find"),
                                               tr("Find the rows whose name or action contains:"),
                                               QLineEdit::Normal, last, &ok);
    return ok ? text : QString();
}

QString FindCommand::Next(DocumentTree& rows, const QString& text, bool forward)
{
    const DocumentTree::Place at = rows.Current();
    const CheckListSearch::Found found =
        CheckListSearch::Find(rows.Document(), text, {at.list, at.item}, forward);
    if (found.count == 0)
        return tr("No row contains %1.").arg(DocumentCommand::Quoted(text));
    rows.MakeCurrent({found.row.list, found.row.item});
    return tr("Row %1 of the %2 that contain %3.")
        .arg(found.rank)
        .arg(found.count)
        .arg(DocumentCommand::Quoted(text));
}
