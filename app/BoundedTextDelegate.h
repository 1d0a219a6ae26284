#pragma once

#include <QStyledItemDelegate>

// Draws and measures only the start of a long text. The style lays out the whole text to elide
// it, which for a text of megabytes takes seconds on every paint; no column shows more than a
// few thousand characters, so the rest is never looked at. The model keeps every text whole.
class BoundedTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Far more characters than the widest column can show, even of the narrowest glyphs.
    static constexpr int kShownCharacters = 4096;

    explicit BoundedTextDelegate(QObject* parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
