#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the name of a list. Only gathers text; the caller decides what it means.
class DlgList : public QDialog
{
    Q_OBJECT

public:
    DlgList(const QString& name, QWidget* parent);

    QString GetListName() const;

private:
    QLineEdit* m_name;
};
