#include "BoundedTextDelegate.h"

BoundedTextDelegate::BoundedTextDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void BoundedTextDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->text.size() <= kShownCharacters)
        return;
    // The cut text is still wider than any column, so the style elides it as it would the
    // whole one; a character is never split.
    int end = kShownCharacters;
    if (option->text.at(end - 1).isHighSurrogate())
        --end;
    option->text.truncate(end);
}
