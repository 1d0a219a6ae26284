#include "WholeCharacterValidator.h"

#include <QLineEdit>

WholeCharacterValidator::WholeCharacterValidator(QObject* parent) : QValidator(parent) {}

QValidator::State WholeCharacterValidator::validate(QString& input, int& position) const
{
    for (int i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (c.isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            input.remove(i, 1);
            if (position > i)
                --position;
            --i;
        }
    }
    return Acceptable;
}

void WholeCharacterValidator::SetUp(QLineEdit* field, int maxLength, const QString& text)
{
    field->setMaxLength(maxLength);
    field->setValidator(new WholeCharacterValidator(field));
    QString fitting = text.left(maxLength);
    if (fitting.size() == maxLength && fitting.at(maxLength - 1).isHighSurrogate())
        fitting.chop(1);
    field->setText(fitting);
}
