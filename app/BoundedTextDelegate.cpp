#include "BoundedTextDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

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

bool BoundedTextDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // Cut where the text is wider than its cell, as measured on the shown start alone.
    if (sizeHint(option, index).width() <= view->visualRect(index).width()) {
        QToolTip::hideText();
        return true;
    }
    QString text = index.data(Qt::DisplayRole).toString();
    if (text.size() > kTooltipCharacters) {
        int end = kTooltipCharacters;
        if (text.at(end - 1).isHighSurrogate())
            --end;
        text = text.left(end) + QChar(0x2026);
    }
    // As rich text, the tooltip wraps its lines.
    QToolTip::showText(event->globalPos(), QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()),
                       view, view->visualRect(index));
    return true;
}
