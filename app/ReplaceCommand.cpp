#include "ReplaceCommand.h"

#include <utility>

ReplaceCommand::ReplaceCommand(DocumentTree& rows, const QString& text,
                               std::unique_ptr<zuchecklist::CheckListContainer> by)
    : DocumentCommand(rows, text, {0, -1}, {0, -1}), m_aside(std::move(by))
{
}

void ReplaceCommand::Swap()
{
    m_aside = m_rows.Replace(std::move(m_aside));
}
