#pragma once

#include "DocumentCommand.h"

// Gives an item new texts, or a list a new name (the texts' item text); the row stays current.
class EditCommand : public DocumentCommand
{
public:
    EditCommand(DocumentTree& rows, const QString& text, Place at,
                const zuchecklist::CheckListItem& texts);

private:
    void Make() override { Swap(); }
    void TakeBack() override { Swap(); }
    // The texts held here and those in the document change places.
    void Swap();

    Place m_at;
    zuchecklist::CheckListItem m_texts;
};
