#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>

class MainWindow;

// The files named on the command line, as the bytes the user gave: a name is turned into text
// only where the text names the same bytes again, so no other file is ever opened in its place.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // What 'argv' holds behind the program's name once the application object has taken the
    // toolkit's own options from it.
    CommandLine(int argc, const char* const* argv);
    explicit CommandLine(QList<QByteArray> names);

    bool NamesAFile() const { return !m_names.isEmpty(); }
    // Names every file but the first on stderr, as not opened, and opens the first in 'window'
    // as its Open button would; a box says why where it cannot.
    void Open(MainWindow& window) const;

private:
    QList<QByteArray> m_names;
};
