#include "DocumentTree.h"

#include <QTreeWidget>

#include <utility>

using zuchecklist::CheckList;
using zuchecklist::CheckListContainer;
using zuchecklist::CheckListItem;

namespace {

// "0", "1", ... shared among the rows that carry them; grown as needed.
const QString& Number(QVector<QString>& numbers, int n)
{
    while (numbers.size() <= n)
        numbers.append(QString::number(numbers.size()));
    return numbers[n];
}

QTreeWidgetItem* ItemRow(const CheckListContainer& document, int list, int item,
                         const QString& listNumber, const QString& itemNumber)
{
    return new QTreeWidgetItem(QStringList{document.GetItemText(list, item),
                                           document.GetItemAction(list, item), listNumber,
                                           itemNumber});
}

// A list row with the rows of its items, built detached: inserting rows one by one into a live
// tree costs a model notification each.
QTreeWidgetItem* ListRow(const CheckListContainer& document, int list, QVector<QString>& numbers)
{
    const QString listNumber = QString::number(list);
    auto* row = new QTreeWidgetItem;
    row->setText(DocumentTree::NameColumn, document.GetListName(list));
    row->setText(DocumentTree::ListIndexColumn, listNumber);
    const int itemCount = document.GetItemCount(list);
    Number(numbers, itemCount);
    QList<QTreeWidgetItem*> itemRows;
    itemRows.reserve(itemCount);
    for (int i = 0; i < itemCount; ++i)
        itemRows.append(ItemRow(document, list, i, listNumber, numbers[i]));
    row->addChildren(itemRows);
    return row;
}

} // namespace

DocumentTree::DocumentTree(QTreeWidget* tree, CheckListContainer*& document)
    : m_tree(tree), m_document(document)
{
}

int DocumentTree::ListIndex(const QTreeWidgetItem* row)
{
    return row->text(ListIndexColumn).toInt(nullptr, 10);
}

int DocumentTree::ItemIndex(const QTreeWidgetItem* row)
{
    return row->text(ItemIndexColumn).toInt(nullptr, 10);
}

DocumentTree::Place DocumentTree::Current() const
{
    const QTreeWidgetItem* row = m_tree->currentItem();
    if (!row)
        return {};
    return {ListIndex(row), row->parent() ? ItemIndex(row) : -1};
}

bool DocumentTree::Exists(Place place) const
{
    return place.list >= 0 && place.list < m_document->GetListCount() &&
           place.item < m_document->GetItemCount(place.list);
}

QString DocumentTree::NameAt(Place place) const
{
    return place.item < 0 ? m_document->GetListName(place.list)
                          : m_document->GetItemText(place.list, place.item);
}

bool DocumentTree::CanMove(Place place, int offset) const
{
    return place.item < 0 ? m_document->CanMoveList(place.list, offset)
                          : m_document->CanMoveItem(place.list, place.item, offset);
}

void DocumentTree::MakeCurrent(Place place)
{
    const int lists = m_tree->topLevelItemCount();
    QTreeWidgetItem* row =
        lists == 0 || place.list < 0 ? nullptr : m_tree->topLevelItem(qMin(place.list, lists - 1));
    if (row && place.item >= 0 && row->childCount() > 0)
        row = row->child(qMin(place.item, row->childCount() - 1));
    m_tree->setCurrentItem(row);
    if (row)
        m_tree->scrollToItem(row);
}

void DocumentTree::Rebuild()
{
    m_tree->clear();
    const int listCount = m_document->GetListCount();
    QList<QTreeWidgetItem*> listRows;
    listRows.reserve(listCount);
    QVector<QString> numbers;
    for (int l = 0; l < listCount; ++l)
        listRows.append(ListRow(*m_document, l, numbers));
    m_tree->addTopLevelItems(listRows);
    m_tree->expandAll();
}

std::unique_ptr<CheckListContainer>
DocumentTree::Replace(std::unique_ptr<CheckListContainer> document)
{
    // The rows of the replaced document go first, before the new one takes memory for its own.
    m_tree->clear();
    std::unique_ptr<CheckListContainer> replaced(m_document);
    m_document = document.release();
    Rebuild();
    return replaced;
}

void DocumentTree::InsertLists(int list, std::vector<CheckList> lists)
{
    if (lists.empty() || list < 0 || list > m_document->GetListCount())
        return;
    const int count = static_cast<int>(lists.size());
    m_document->InsertLists(list, std::move(lists));
    QList<QTreeWidgetItem*> rows;
    QVector<QString> numbers;
    for (int l = list; l < list + count; ++l)
        rows.append(ListRow(*m_document, l, numbers));
    m_tree->insertTopLevelItems(list, rows);
    for (QTreeWidgetItem* row : rows) {
        if (row->childCount() > 0)
            row->setExpanded(true);
    }
    NumberLists(list + count, m_tree->topLevelItemCount() - 1);
}

std::vector<CheckList> DocumentTree::TakeLists(int list, int count)
{
    std::vector<CheckList> taken = m_document->TakeLists(list, count);
    if (taken.empty())
        return taken;
    for (int l = list + count - 1; l >= list; --l)
        delete m_tree->takeTopLevelItem(l);
    NumberLists(list, m_tree->topLevelItemCount() - 1);
    return taken;
}

void DocumentTree::InsertItems(int list, int item, std::vector<CheckListItem> items)
{
    QTreeWidgetItem* listRow = m_tree->topLevelItem(list);
    if (items.empty() || !listRow || item < 0 || item > listRow->childCount())
        return;
    const int count = static_cast<int>(items.size());
    m_document->InsertItems(list, item, std::move(items));
    const QString listNumber = listRow->text(ListIndexColumn);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(count);
    for (int i = item; i < item + count; ++i)
        rows.append(ItemRow(*m_document, list, i, listNumber, QString::number(i)));
    listRow->insertChildren(item, rows);
    NumberItems(listRow, item + count);
}

std::vector<CheckListItem> DocumentTree::TakeItems(int list, int item, int count)
{
    std::vector<CheckListItem> taken = m_document->TakeItems(list, item, count);
    if (taken.empty())
        return taken;
    QTreeWidgetItem* listRow = m_tree->topLevelItem(list);
    for (int i = item + count - 1; i >= item; --i)
        delete listRow->takeChild(i);
    NumberItems(listRow, item);
    return taken;
}

void DocumentTree::SetListName(int list, const QString& name)
{
    if (QTreeWidgetItem* row = m_tree->topLevelItem(list)) {
        m_document->SetListName(name, list);
        row->setText(NameColumn, name);
    }
}

void DocumentTree::SetItem(int list, int item, const CheckListItem& texts)
{
    QTreeWidgetItem* listRow = m_tree->topLevelItem(list);
    if (QTreeWidgetItem* row = listRow ? listRow->child(item) : nullptr) {
        m_document->SetItem(texts.m_text, texts.m_action, list, item);
        row->setText(NameColumn, texts.m_text);
        row->setText(ActionColumn, texts.m_action);
    }
}

void DocumentTree::MoveList(int list, int offset)
{
    if (!m_document->CanMoveList(list, offset))
        return;
    m_document->MoveList(list, offset);
    // The row leaves the tree on its way, and the view forgets that it was unfolded.
    const bool unfolded = m_tree->topLevelItem(list)->isExpanded();
    QTreeWidgetItem* row = m_tree->takeTopLevelItem(list);
    m_tree->insertTopLevelItem(list + offset, row);
    row->setExpanded(unfolded);
    NumberLists(qMin(list, list + offset), qMax(list, list + offset));
}

void DocumentTree::MoveItem(int list, int item, int offset)
{
    if (!m_document->CanMoveItem(list, item, offset))
        return;
    m_document->MoveItem(list, item, offset);
    // The rows stay; only the texts of those in between move, so the view keeps its layout.
    QTreeWidgetItem* listRow = m_tree->topLevelItem(list);
    const int first = qMin(item, item + offset);
    const int last = qMax(item, item + offset);
    for (int i = first; i <= last; ++i) {
        QTreeWidgetItem* row = listRow->child(i);
        row->setText(NameColumn, m_document->GetItemText(list, i));
        row->setText(ActionColumn, m_document->GetItemAction(list, i));
    }
}

void DocumentTree::NumberItems(QTreeWidgetItem* listRow, int first)
{
    for (int i = first; i < listRow->childCount(); ++i)
        listRow->child(i)->setText(ItemIndexColumn, QString::number(i));
}

void DocumentTree::NumberLists(int first, int last)
{
    for (int l = first; l <= last; ++l) {
        QTreeWidgetItem* row = m_tree->topLevelItem(l);
        const QString number = QString::number(l);
        row->setText(ListIndexColumn, number);
        for (int i = 0; i < row->childCount(); ++i)
            row->child(i)->setText(ListIndexColumn, number);
    }
}
