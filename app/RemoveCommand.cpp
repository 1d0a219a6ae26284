#include "RemoveCommand.h"

#include <utility>

RemoveCommand::RemoveCommand(DocumentTree& rows, const QString& text, Place at)
    : DocumentCommand(rows, text, at, at), m_at(at)
{
}

void RemoveCommand::Make()
{
    if (m_at.item >= 0)
        m_taken.items = m_rows.TakeItems(m_at.list, m_at.item, 1);
    else
        m_taken.lists = m_rows.TakeLists(m_at.list, 1);
}

void RemoveCommand::TakeBack()
{
    if (m_at.item >= 0)
        m_rows.InsertItems(m_at.list, m_at.item, std::move(m_taken.items));
    else
        m_rows.InsertLists(m_at.list, std::move(m_taken.lists));
}
