#pragma once

#include "DocumentCommand.h"

#include <memory>

// Puts another document in the place of the one shown, which the history keeps as it is: Clear.
class ReplaceCommand : public DocumentCommand
{
public:
    ReplaceCommand(DocumentTree& rows, const QString& text,
                   std::unique_ptr<zuchecklist::CheckListContainer> by);

private:
    void Make() override { Swap(); }
    void TakeBack() override { Swap(); }
    void Swap();

    std::unique_ptr<zuchecklist::CheckListContainer> m_aside;
};
