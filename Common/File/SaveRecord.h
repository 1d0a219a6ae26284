#pragma once

#include "Common/File/ProgramNames.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <sys/stat.h>

namespace file {

// The record of a save that writes a file in place: the complete new content, synced into the
// user's state folder before the file itself is touched, under a name made of the file's
// identity (device and inode), a key of its path, and a part of its own. A record goes only
// once the file is seen to hold exactly its content, or when the user discards it. So whatever
// stops such a save, and whatever saves follow, the newest complete content is in the file or
// in a record that the next Open of the file, through any of its names, finds.
class SaveRecord
{
    Q_DECLARE_TR_FUNCTIONS(SaveRecord)

public:
    explicit SaveRecord(const ProgramNames& names) : m_names(names) {}
    ~SaveRecord();
    SaveRecord(const SaveRecord&) = delete;
    SaveRecord& operator=(const SaveRecord&) = delete;

    // $XDG_STATE_HOME/<the program's folder>, else ~/.local/state/<the program's folder>.
    static QString Folder(const ProgramNames& names);

    // Starts this save's record of the file 'info' at 'path' (links followed): a locked
    // temporary file in Folder(), which is made, with every missing parent, where it is not.
    // The descriptor to write the content to, owned here, or -1 with Error() set.
    int Start(const struct stat& info, const QByteArray& path);
    // Syncs what was written, gives it the record's name and syncs the folder: from then on
    // Find() names it. False with Error() set, and nothing left.
    bool Publish();
    // Once the file holds the record's content. A warning where it could not go.
    QString Remove();
    QString Error() const { return m_error; }
    int Descriptor() const { return m_fd; }
    QString Path() const;

    // Removes the records of the file open at 'fd' (described by 'info', at 'path') whose
    // content the file holds: saves that completed the file but died before removing them.
    static void Prune(int fd, const struct stat& info, const QByteArray& path,
                      const ProgramNames& names);

    struct Found
    {
        QString record; // empty: none
        QDateTime made;
        bool saving = false; // a save of the file holds its lock now
    };
    // The newest record that saves of 'fileName' left and whose content it does not hold,
    // found by the identity of the file it names or by its path.
    static Found Find(const QString& fileName, const ProgramNames& names);
    // Removes a record that Find() named.
    static bool Discard(const QString& record, const ProgramNames& names, QString* error);

private:
    void Drop();

    ProgramNames m_names;
    int m_fd = -1;
    QByteArray m_temporary;
    QByteArray m_name;
    bool m_published = false;
    QString m_error;
};

} // namespace file
