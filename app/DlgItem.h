#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the two texts of an item: what to check and the expected response.
class DlgItem : public QDialog
{
    Q_OBJECT

public:
    DlgItem(const QString& itemText, const QString& actionText, QWidget* parent);

    QString GetItemText() const;
    QString GetActionText() const;

private:
    QLineEdit* m_itemText;
    QLineEdit* m_actionText;
};
