#pragma once

#include <QValidator>

class QLineEdit;

// Keeps a text field from holding half of a character outside the Basic Multilingual Plane.
// The field counts its maximum length in UTF-16 units and cuts what is typed or pasted to fit,
// which can split such a character; the half is left out, and so the whole character.
class WholeCharacterValidator : public QValidator
{
    Q_OBJECT

public:
    explicit WholeCharacterValidator(QObject* parent = nullptr);

    State validate(QString& input, int& position) const override;

    // Sets the field's maximum length, then its text cut to fit without splitting a character.
    static void SetUp(QLineEdit* field, int maxLength, const QString& text);
};
