#include "Files.h"

#include <QDir>
#include <QFile>

namespace support {

const QByteArray kUnreadable("<unreadable>");

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : kUnreadable;
}

QString TempFolder::Write(const QString& name, const QByteArray& bytes) const
{
    const QString path = Path(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QStringList TempFolder::Entries() const
{
    return support::Entries(Path());
}

} // namespace support
