#pragma once

#include "Common/File/DescriptorWriter.h"
#include "Common/File/FileCalls.h"
#include "Common/File/Outcome.h"
#include "Common/File/ProgramNames.h"
#include "Common/File/UniqueFd.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>

namespace file {

// The record of a save that writes a file in place: the complete new content, synced into the
// user's state folder before the file itself is touched. Its name keeps what identifies the
// file at the time of the save (Identity: its file system, inode, and birth time or generation
// where there is one), a key of its path and the file's name; the path itself goes along where
// the state folder keeps extended attributes.
//
// A record goes once the file is seen to hold exactly its content, when the user discards it,
// or, after the user was told, once its file is no longer there. So whatever stops such a save,
// and whatever saves follow, the newest complete content is in the file or in a record that
// the next Open of the file, through any of its names, finds. A record is said to be the
// file's only where that identity proves it; a record that only shares the file's place is
// named as uncertain. At most kMaxRecords records stay: a save that would keep one more fails
// before it touches its file.
//
// Each step that can fail returns false with Error() set where the failure happened.
class SaveRecord
{
    Q_DECLARE_TR_FUNCTIONS(SaveRecord)

public:
    static constexpr int kMaxRecords = 32;

    explicit SaveRecord(const ProgramNames& names);
    ~SaveRecord();
    SaveRecord(const SaveRecord&) = delete;
    SaveRecord& operator=(const SaveRecord&) = delete;

    // $XDG_STATE_HOME/<the program's folder>, else ~/.local/state/<the program's folder>; empty
    // when neither names an absolute folder.
    static QString Folder(const ProgramNames& names);

    // Starts this save's record of the file 'file' at 'path' (links followed): a locked
    // temporary file in Folder(), which is made, with every missing parent, where it is not.
    bool Start(const Identity& file, const QByteArray& path);
    // Where the content goes, from the start.
    AbstractFile* Output() { return &m_output; }
    // Writes out and syncs the content, gives it the record's name and syncs the folder: from
    // then on Find() names it. On failure nothing is left.
    bool Publish();
    // Once the file holds the record's content; a record already gone is fine.
    bool Remove();
    const QString& Error() const { return m_error; }
    int Descriptor() const { return m_fd.Get(); }
    off_t Length() const { return m_output.Length(); }
    QString Path() const;

    // Removes the records of the file open at 'fd' ('file', at 'path') whose content it holds:
    // saves that completed the file but died before removing them.
    static void Prune(int fd, const Identity& file, const QByteArray& path,
                      const ProgramNames& names);
    // After a save of 'path' succeeded: the records of the file as it was before ('before';
    // none for a new file) become records of the file as it is now (open at 'fd'), which has
    // been saved successfully since they were made.
    static void Supersede(const Identity* before, int fd, const QByteArray& path,
                          const ProgramNames& names);

    struct Gone
    {
        QString file; // whose record it is, no longer there
        QString record;
        QDateTime made;
    };
    struct Found
    {
        QString record; // empty: none
        QDateTime made;
        bool proven = false;     // the file's identity proves it is this file's
        bool savedSince = false; // the file was saved successfully after it was made
        QString of;              // the file it was made for, as far as known
        bool saving = false;     // a save of the file runs now: no record is named
        bool locked = false;     // another program holds the file's lock
        // Records of files no longer there, named now and removed at the next Find().
        QList<Gone> gone;
    };
    // The record that saves of 'fileName' left and whose content it does not hold: one proven
    // to be its own before one that only shares its place, the newest first.
    static Found Find(const QString& fileName, const ProgramNames& names);
    // Removes a record that Find() named.
    static Outcome Discard(const QString& record, const ProgramNames& names);

private:
    bool Fail(const QString& sentence);
    QString KeptAside(int error) const;
    void Drop();

    ProgramNames m_names;
    QString m_folder;
    UniqueFd m_fd;
    DescriptorWriter m_output;
    QByteArray m_temporary;
    QByteArray m_name;
    QByteArray m_file;
    bool m_published = false;
    QString m_error;
};

} // namespace file
