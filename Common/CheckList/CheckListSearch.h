#pragma once

#include <QString>

namespace zuchecklist {

class CheckListContainer;

// Finding rows by their texts, in the order the tree shows them: each list's own row, then its
// items.
class CheckListSearch
{
public:
    // A list's own row (item -1) or an item's; list -1 for none.
    struct Row
    {
        int list = -1;
        int item = -1;
    };
    struct Found
    {
        Row row;       // none when no row matches
        int count = 0; // the rows that match
        int rank = 0;  // the found row's place among them, from 1
    };

    // The next row after 'from' ('forward') or before it whose list name, or item text or
    // action, contains 'text' ignoring case, going round past the end; 'from' itself when no
    // other matches. With no row 'from', forward starts before the first row and backward after
    // the last.
    static Found Find(const CheckListContainer& document, const QString& text, Row from,
                      bool forward);
};

} // namespace zuchecklist
