#include "ClipboardCommand.h"

#include "DocumentCommand.h"
#include "InsertCommand.h"
#include "RemoveCommand.h"

#include "Common/CheckList/CheckListClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

using zuchecklist::CheckListClipboard;
using zuchecklist::CheckListPiece;
using Place = DocumentTree::Place;

const char ClipboardCommand::kMimeType[] = "application/x-vellorin-checklist+xml";

namespace {

// A copy of the item, or of the list with its items.
CheckListPiece PieceAt(const zuchecklist::CheckListContainer& document, Place at)
{
    CheckListPiece piece;
    if (at.item < 0)
        piece.lists.push_back(*document.GetList(at.list));
    else
        piece.items.push_back(
            {document.GetItemText(at.list, at.item), document.GetItemAction(at.list, at.item)});
    return piece;
}

InsertCommand::Target After(const zuchecklist::CheckListContainer& document, Place at)
{
    if (at.list < 0)
        return {-1, -1, document.GetListCount()};
    return {at.list, at.item < 0 ? document.GetItemCount(at.list) : at.item + 1, at.list + 1};
}

QString Count(int n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}

} // namespace

ClipboardCommand::Result ClipboardCommand::Copy(const DocumentTree& rows)
{
    const Place at = rows.Current();
    if (!rows.Exists(at))
        return {};
    auto* data = new QMimeData;
    CheckListClipboard::Put(PieceAt(rows.Document(), at), QLatin1String(kMimeType), data);
    QGuiApplication::clipboard()->setMimeData(data);
    const QString name = DocumentCommand::Quoted(rows.NameAt(at));
    return {nullptr,
            (at.item < 0 ? tr("Copied the list %1.") : tr("Copied the item %1.")).arg(name),
            {}};
}

ClipboardCommand::Result ClipboardCommand::Cut(DocumentTree& rows)
{
    Result copied = Copy(rows);
    if (copied.told.isEmpty())
        return copied;
    const Place at = rows.Current();
    const QString name = DocumentCommand::Quoted(rows.NameAt(at));
    return {std::make_unique<RemoveCommand>(
                rows, (at.item < 0 ? tr("Cut the list %1") : tr("Cut the item %1")).arg(name), at),
            {},
            {}};
}

ClipboardCommand::Result ClipboardCommand::Paste(DocumentTree& rows)
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    CheckListClipboard::Read read = data ? CheckListClipboard::Take(*data, QLatin1String(kMimeType))
                                         : CheckListClipboard::Read{};
    if (!read.outcome.Ok())
        return {
            nullptr, {}, tr("The clipboard could not be pasted.\n%1").arg(read.outcome.sentence)};
    CheckListPiece& piece = read.piece;
    if (piece.IsEmpty())
        return {nullptr, tr("The clipboard holds nothing to paste."), {}};
    const Place at = rows.Current();
    if (!piece.items.empty() && !rows.Exists(at))
        return {nullptr, tr("Items are pasted after the current row: choose one first."), {}};

    const int items = static_cast<int>(piece.items.size());
    const int lists = static_cast<int>(piece.lists.size());
    QString text;
    if (lists == 0)
        text = Count(items,
                     tr("Pasted the item %1").arg(DocumentCommand::Quoted(piece.items[0].m_text)),
                     tr("Pasted %1 items"));
    else if (items == 0)
        text = Count(lists,
                     tr("Pasted the list %1").arg(DocumentCommand::Quoted(piece.lists[0].m_name)),
                     tr("Pasted %1 lists"));
    else
        text = tr("Pasted %1 and %2")
                   .arg(Count(lists, tr("1 list"), tr("%1 lists")),
                        Count(items, tr("1 item"), tr("%1 items")));
    const QString leftOut =
        read.leftOut == 0
            ? QString()
            : Count(read.leftOut, tr("It left out 1 character that XML does not allow."),
                    tr("It left out %1 characters that XML does not allow."));
    const InsertCommand::Target target = After(rows.Document(), at);
    return {std::make_unique<InsertCommand>(rows, text, std::move(piece), target, at), leftOut, {}};
}

ClipboardCommand::Result ClipboardCommand::Duplicate(DocumentTree& rows)
{
    const Place at = rows.Current();
    if (!rows.Exists(at))
        return {};
    const QString name = DocumentCommand::Quoted(rows.NameAt(at));
    return {
        std::make_unique<InsertCommand>(
            rows,
            (at.item < 0 ? tr("Duplicated the list %1") : tr("Duplicated the item %1")).arg(name),
            PieceAt(rows.Document(), at), After(rows.Document(), at), at),
        {},
        {}};
}
