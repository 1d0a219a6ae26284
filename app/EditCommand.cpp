#include "EditCommand.h"

#include <utility>

EditCommand::EditCommand(DocumentTree& rows, const QString& text, Place at,
                         const zuchecklist::CheckListItem& texts)
    : DocumentCommand(rows, text, at, at), m_at(at), m_texts(texts)
{
}

void EditCommand::Swap()
{
    const zuchecklist::CheckListContainer& document = m_rows.Document();
    if (m_at.item < 0) {
        QString name = document.GetListName(m_at.list);
        m_rows.SetListName(m_at.list, m_texts.m_text);
        m_texts.m_text = std::move(name);
    } else {
        zuchecklist::CheckListItem texts{document.GetItemText(m_at.list, m_at.item),
                                         document.GetItemAction(m_at.list, m_at.item)};
        m_rows.SetItem(m_at.list, m_at.item, m_texts);
        m_texts = std::move(texts);
    }
}
