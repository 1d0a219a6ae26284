#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace support {

// What ReadAll gives for a file it cannot read, so that it never equals real content.
extern const QByteArray kUnreadable;

// The whole content of a file, or kUnreadable.
QByteArray ReadAll(const QString& name);

// Every name in 'folder', hidden ones included.
QStringList Entries(const QString& folder);

// A temporary folder of the test's own, removed with everything in it afterwards.
class TempFolder
{
public:
    QString Path() const { return m_dir.path(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    // Writes 'bytes' to a new file 'name' in the folder and returns its path.
    QString Write(const QString& name, const QByteArray& bytes) const;
    // Every name in the folder, hidden ones included.
    QStringList Entries() const;

private:
    QTemporaryDir m_dir;
};

} // namespace support
