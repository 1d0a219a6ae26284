#include "DlgItem.h"

#include "WholeCharacterValidator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

DlgItem::DlgItem(const QString& itemText, const QString& actionText, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Item Editor"));
    auto* layout = new QVBoxLayout;
    setLayout(layout);

    auto* itemLabel = new QLabel;
    itemLabel->setText(QStringLiteral("Specify item text:"));
    layout->addWidget(itemLabel);

    m_itemText = new QLineEdit;
    m_itemText->setObjectName(QStringLiteral("itemTextEdit"));
    WholeCharacterValidator::SetUp(m_itemText, 70, itemText);
    layout->addWidget(m_itemText);

    layout->addWidget(new QLabel(QStringLiteral("Specify action text:")));

    m_actionText = new QLineEdit;
    m_actionText->setObjectName(QStringLiteral("actionTextEdit"));
    WholeCharacterValidator::SetUp(m_actionText, 16, actionText);
    layout->addWidget(m_actionText);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons, 0);
    auto* ok = new QPushButton(tr("OK"));
    ok->setObjectName(QStringLiteral("okButton"));
    buttons->addWidget(ok);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    buttons->addWidget(cancel);
    buttons->addStretch(0);

    connect(ok, SIGNAL(clicked()), this, SLOT(accept()));
    connect(cancel, SIGNAL(clicked()), this, SLOT(reject()));
}

QString DlgItem::GetItemText() const
{
    return m_itemText->text();
}

QString DlgItem::GetActionText() const
{
    return m_actionText->text();
}
