#pragma once

#include "DocumentCommand.h"

// Puts a piece of a document in: its items into a list at a position, its lists among the lists
// at another; the first row put in becomes current. Add List, Add Item, a paste and a duplicate.
class InsertCommand : public DocumentCommand
{
public:
    struct Target
    {
        int list = -1; // where the items go: the list, and the position in it
        int item = -1;
        int lists = -1; // where the lists go
    };

    InsertCommand(DocumentTree& rows, const QString& text, zuchecklist::CheckListPiece piece,
                  Target at, Place undone);

private:
    void Make() override;
    void TakeBack() override;

    // Held here while the change is undone; in the document while it is made.
    zuchecklist::CheckListPiece m_piece;
    Target m_at;
    int m_items;
    int m_lists;
};
