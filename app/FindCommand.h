#pragma once

#include "DocumentTree.h"

#include <QCoreApplication>
#include <QString>

class QWidget;

// The window's keys that find rows by their texts (CheckListSearch): the found row becomes
// current and is scrolled into view, and the status bar says how many rows match.
class FindCommand
{
    Q_DECLARE_TR_FUNCTIONS(FindCommand)

public:
    // Asks for the text to find, offering 'last'; null when the user cancels.
    static QString Ask(QWidget* window, const QString& last);
    // The next row ('forward') or the previous one that holds 'text'; the status bar's sentence.
    static QString Next(DocumentTree& rows, const QString& text, bool forward);
};
