#include "CommandLine.h"

#include "MainWindow.h"

#include <QFile>
#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace {

// The bytes of a name as the user gave them, those outside printable ASCII as \xNN.
QString Escaped(const QByteArray& name)
{
    QString shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F)
            shown += QStringLiteral("\\x") +
                     QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += QLatin1Char(c);
    }
    return shown;
}

} // namespace

CommandLine::CommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        m_names.append(QByteArray(argv[i]));
}

CommandLine::CommandLine(QList<QByteArray> names) : m_names(std::move(names)) {}

void CommandLine::Open(MainWindow& window) const
{
    for (int i = 1; i < m_names.size(); ++i) {
        std::fputs("vellorin: one file is opened at a time; not opened: ", stderr);
        std::fwrite(m_names[i].constData(), 1, static_cast<std::size_t>(m_names[i].size()), stderr);
        std::fputc('\n', stderr);
    }
    if (m_names.isEmpty())
        return;
    const QByteArray& name = m_names.first();
    const QString fileName = QFile::decodeName(name);
    if (QFile::encodeName(fileName) == name) {
        window.OpenNamedFile(fileName);
        return;
    }
    // Qt names files by text: a file these bytes name cannot be opened, and the text they decode
    // to would name another.
    QMessageBox::warning(&window, tr("Warning"),
                         tr("The checklist could not be opened from \"%1\".\nQt cannot open a "
                            "file of that name: it is not valid in the encoding of file names.")
                             .arg(Escaped(name)));
}
