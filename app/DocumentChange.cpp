#include "DocumentChange.h"

#include <utility>

DocumentChange::DocumentChange(const QString& text, Step undo, Step redo, Place undone,
                               Place redone)
    : QUndoCommand(text), m_undo(std::move(undo)), m_redo(std::move(redo)), m_undone(undone),
      m_redone(redone)
{
}

void DocumentChange::undo()
{
    m_undo();
}

void DocumentChange::redo()
{
    if (m_done)
        m_redo();
    m_done = true;
}
