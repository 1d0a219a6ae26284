#pragma once

#include "DocumentCommand.h"

// Moves an item within its list, or a list among the lists, by an offset; the moved row becomes
// current.
class MoveCommand : public DocumentCommand
{
public:
    // 'at' an item row moves the item, a list row (item -1) the list.
    MoveCommand(DocumentTree& rows, const QString& text, Place at, int offset);

private:
    void Make() override;
    void TakeBack() override;

    Place m_at;
    int m_offset;
};
