#include "MoveCommand.h"

namespace {

DocumentTree::Place Moved(DocumentTree::Place at, int offset)
{
    if (at.item < 0)
        return {at.list + offset, -1};
    return {at.list, at.item + offset};
}

} // namespace

MoveCommand::MoveCommand(DocumentTree& rows, const QString& text, Place at, int offset)
    : DocumentCommand(rows, text, at, Moved(at, offset)), m_at(at), m_offset(offset)
{
}

void MoveCommand::Make()
{
    if (m_at.item < 0)
        m_rows.MoveList(m_at.list, m_offset);
    else
        m_rows.MoveItem(m_at.list, m_at.item, m_offset);
}

void MoveCommand::TakeBack()
{
    const Place moved = Moved(m_at, m_offset);
    if (m_at.item < 0)
        m_rows.MoveList(moved.list, -m_offset);
    else
        m_rows.MoveItem(moved.list, moved.item, -m_offset);
}
