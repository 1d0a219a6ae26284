#include "CheckListSearch.h"

#include "CheckListContainer.h"

namespace zuchecklist {

CheckListSearch::Found CheckListSearch::Find(const CheckListContainer& document,
                                             const QString& text, Row from, bool forward)
{
    Found first, last, after, before;
    int count = 0;
    // Forward with no row to start from, every row comes after it; backward, before it.
    bool passed = from.list < 0;
    const auto visit = [&](int list, int item, bool matches) {
        const bool isFrom = list == from.list && item == from.item;
        if (matches) {
            const Found found{{list, item}, 0, ++count};
            if (count == 1)
                first = found;
            last = found;
            if (passed && after.rank == 0)
                after = found;
            if (!isFrom && !passed)
                before = found;
        }
        passed = passed || isFrom;
    };
    for (int l = 0; l < document.GetListCount(); ++l) {
        visit(l, -1, document.GetListName(l).contains(text, Qt::CaseInsensitive));
        for (int i = 0; i < document.GetItemCount(l); ++i)
            visit(l, i,
                  document.GetItemText(l, i).contains(text, Qt::CaseInsensitive) ||
                      document.GetItemAction(l, i).contains(text, Qt::CaseInsensitive));
    }
    Found found = forward ? (after.rank ? after : first) : (before.rank ? before : last);
    found.count = count;
    return found;
}

} // namespace zuchecklist
