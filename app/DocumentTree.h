#pragma once

#include "Common/CheckList/CheckListContainer.h"

#include <memory>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

// The document and the tree that shows it, changed together. Every row carries the position of
// its list (column 2) and of its item (column 3) as decimal text beyond the two visible
// columns; each change made here changes the rows it touches in place and renumbers the rows
// after them, so that the numbers stay the positions of the entries, and the lists the user
// folded stay folded. An index out of range changes nothing, as in the document.
class DocumentTree
{
public:
    // A list row (item -1) or an item row; list -1 for none.
    struct Place
    {
        int list = -1;
        int item = -1;
    };

    enum Column
    {
        NameColumn = 0,
        ActionColumn = 1,
        ListIndexColumn = 2,
        ItemIndexColumn = 3
    };

    // 'document' is the owner's pointer, which Replace() sets.
    DocumentTree(QTreeWidget* tree, zuchecklist::CheckListContainer*& document);

    zuchecklist::CheckListContainer& Document() const { return *m_document; }

    // Unset or non-numeric index texts read as 0, so a list row reads as its first item.
    static int ListIndex(const QTreeWidgetItem* row);
    static int ItemIndex(const QTreeWidgetItem* row);
    Place Current() const;
    bool Exists(Place place) const;
    // The list's name or the item's text.
    QString NameAt(Place place) const;
    // Whether the list or the item moves by 'offset' places.
    bool CanMove(Place place, int offset) const;
    // The nearest row that exists: past the last item its list's last item or the list row,
    // past the last list the last list row, or none.
    void MakeCurrent(Place place);

    // Empties the tree and fills it again from the document, all lists expanded.
    void Rebuild();
    // Puts 'document' in the place of the one shown, which it returns, and shows it.
    std::unique_ptr<zuchecklist::CheckListContainer>
    Replace(std::unique_ptr<zuchecklist::CheckListContainer> document);

    void InsertLists(int list, std::vector<zuchecklist::CheckList> lists);
    std::vector<zuchecklist::CheckList> TakeLists(int list, int count);
    void InsertItems(int list, int item, std::vector<zuchecklist::CheckListItem> items);
    std::vector<zuchecklist::CheckListItem> TakeItems(int list, int item, int count);
    void SetListName(int list, const QString& name);
    void SetItem(int list, int item, const zuchecklist::CheckListItem& texts);
    void MoveList(int list, int offset);
    void MoveItem(int list, int item, int offset);

private:
    // Column 3 of the item rows from 'first' on.
    void NumberItems(QTreeWidgetItem* listRow, int first);
    // Column 2 of the list rows from 'first' up to 'last' and of their item rows.
    void NumberLists(int first, int last);

    QTreeWidget* m_tree;
    zuchecklist::CheckListContainer*& m_document;
};
