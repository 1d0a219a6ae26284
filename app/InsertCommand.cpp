#include "InsertCommand.h"

#include <utility>

namespace {

DocumentTree::Place FirstRow(const zuchecklist::CheckListPiece& piece, InsertCommand::Target at)
{
    if (!piece.items.empty())
        return {at.list, at.item};
    return {at.lists, -1};
}

} // namespace

InsertCommand::InsertCommand(DocumentTree& rows, const QString& text,
                             zuchecklist::CheckListPiece piece, Target at, Place undone)
    : DocumentCommand(rows, text, undone, FirstRow(piece, at)), m_piece(std::move(piece)), m_at(at),
      m_items(static_cast<int>(m_piece.items.size())),
      m_lists(static_cast<int>(m_piece.lists.size()))
{
}

// The items first, then the lists, which go after the list that takes the items.
void InsertCommand::Make()
{
    m_rows.InsertItems(m_at.list, m_at.item, std::move(m_piece.items));
    m_rows.InsertLists(m_at.lists, std::move(m_piece.lists));
}

void InsertCommand::TakeBack()
{
    m_piece.lists = m_rows.TakeLists(m_at.lists, m_lists);
    m_piece.items = m_rows.TakeItems(m_at.list, m_at.item, m_items);
}
