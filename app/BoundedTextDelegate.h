#pragma once

#include <QStyledItemDelegate>

// Draws and measures only the start of a long text. The style lays out the whole text to elide
// it, which for a text of megabytes takes seconds on every paint; no column shows more than a
// few thousand characters, so the rest is never looked at. The model keeps every text whole.
// A text its cell cuts shows in a tooltip, made only when the pointer rests on it.
class BoundedTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Far more characters than the widest column can show, even of the narrowest glyphs.
    static constexpr int kShownCharacters = 4096;
    // What a tooltip holds at most: a few screens of wrapped text.
    static constexpr int kTooltipCharacters = 2000;

    explicit BoundedTextDelegate(QObject* parent = nullptr);

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
