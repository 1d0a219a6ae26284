#pragma once

#include <QUndoCommand>

#include <functional>

// One change of the document in the window's history. The window makes the change the way its
// button always has and records it afterwards, so the first redo, which the history runs when
// the change is recorded, does nothing; undo and every later redo change the document only.
class DocumentChange : public QUndoCommand
{
public:
    using Step = std::function<void()>;

    // The row to show current afterwards: a list row (item -1) or an item row. A place past the
    // last row stands for the last row there, and a list row when the list has no items left.
    struct Place
    {
        int list = -1;
        int item = -1;
    };

    DocumentChange(const QString& text, Step undo, Step redo, Place undone, Place redone);

    void undo() override;
    void redo() override;

    Place Undone() const { return m_undone; }
    Place Redone() const { return m_redone; }

private:
    Step m_undo;
    Step m_redo;
    Place m_undone;
    Place m_redone;
    bool m_done = false;
};
