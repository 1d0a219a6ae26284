#pragma once

#include "DocumentCommand.h"

// Takes an item, or a list with all its items, out of the document; its neighbour becomes
// current. Delete and a cut.
class RemoveCommand : public DocumentCommand
{
public:
    RemoveCommand(DocumentTree& rows, const QString& text, Place at);

private:
    void Make() override;
    void TakeBack() override;

    Place m_at;
    // What was taken, moved here and back rather than copied: a history of deletions costs only
    // what it removed.
    zuchecklist::CheckListPiece m_taken;
};
