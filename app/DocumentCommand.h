#pragma once

#include "DocumentTree.h"

#include <QUndoCommand>

// A change of the document in the window's history, in the toolkit's way: redo() makes the
// change, also the first time, when the window pushes it, and undo() takes it back; both go
// through the rows that show the document, and leave current the row the change touched.
class DocumentCommand : public QUndoCommand
{
public:
    using Place = DocumentTree::Place;

    void redo() final;
    void undo() final;

    // A name as the status bar quotes it: cut where it is long, never inside a character.
    static QString Quoted(const QString& name);

protected:
    DocumentCommand(DocumentTree& rows, const QString& text, Place undone, Place redone);

    virtual void Make() = 0;
    virtual void TakeBack() = 0;

    DocumentTree& m_rows;

private:
    Place m_undone;
    Place m_redone;
};
