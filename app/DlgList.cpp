#include "DlgList.h"

#include "WholeCharacterValidator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

DlgList::DlgList(const QString& name, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("List name editor"));
    auto* layout = new QVBoxLayout;
    setLayout(layout);

    auto* label = new QLabel;
    label->setText(QStringLiteral("Specify list name: "));
    layout->addWidget(label);

    // The limit comes before the text, so a longer initial name shows cut.
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("listNameEdit"));
    WholeCharacterValidator::SetUp(m_name, 80, name);
    layout->addWidget(m_name);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons, 0);
    auto* ok = new QPushButton(tr("OK"));
    ok->setObjectName(QStringLiteral("okButton"));
    buttons->addWidget(ok);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    buttons->addWidget(cancel);

    connect(ok, SIGNAL(clicked()), this, SLOT(accept()));
    connect(cancel, SIGNAL(clicked()), this, SLOT(reject()));
}

QString DlgList::GetListName() const
{
    return m_name->text();
}
