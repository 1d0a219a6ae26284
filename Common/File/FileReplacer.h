#pragma once

#include "Common/File/DescriptorWriter.h"
#include "Common/File/UniqueFd.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace file {

class SaveRecord;

// Replaces the whole content of a file so that the file stays its owner's and a save is all or
// nothing: the new content is never readable by anyone the file's mode does not allow, and
// whatever stops a save (a failure, a crash, a power cut, another program) leaves the file with
// its previous content, or the new content complete in a record that the next Open announces.
//
// Symbolic links are followed to the file they name. Only regular files are replaced. Where a
// new file renamed over the old one keeps everything (owner, group, mode bits including setgid
// and read-only bits, the only link to the data, extended attributes and ACLs), the content
// goes to a temporary file beside the target first. Otherwise the file is rewritten in place,
// from a complete, synced record of the new content in the user's state folder (SaveRecord),
// which goes once the file is seen to hold exactly that content under its path.
//
// One save of a file at a time: the target is locked (flock) for the whole save, and a second
// saver waits while its lock wait says so (SetLockWait), or else up to kLockWaitMs. A
// file-size-limit signal is ignored while a replacer lives, so that an oversized write fails.
//
// Begin(), then write everything through Output(), then Commit(). Destroying an unfinished
// replacement abandons it and leaves the file as it was.
class FileReplacer
{
    Q_DECLARE_TR_FUNCTIONS(FileReplacer)

public:
    static constexpr int kLockWaitMs = 5000;

    explicit FileReplacer(const QString& target);
    ~FileReplacer();

    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Called again and again, every few milliseconds, while another program holds the file's
    // lock: false gives up waiting. A window keeps itself painted and offers a way out there.
    using LockWait = std::function<bool()>;
    void SetLockWait(LockWait wait) { m_lockWait = std::move(wait); }

    bool Begin();
    AbstractFile* Output() { return &m_output; }
    bool Commit();

    // After a failure: one sentence for the user, and whether a previous file was seen to exist
    // and still holds exactly its previous content.
    QString Error() const { return m_error; }
    bool PreviousKept() const { return m_previousKept; }
    // Where the complete new content stays, when the file may not hold it.
    QString KeptCopy() const { return m_keptCopy; }
    // After success: sentences about what went wrong once the new content was complete.
    QStringList Warnings() const { return m_warnings; }

private:
    enum class Method
    {
        None,
        Rename,
        InPlace
    };

    bool Fail(const QString& error);
    bool ResolveTarget();
    bool LockTarget();
    bool BeginRename();
    bool BeginInPlace();
    bool CommitRename();
    bool CommitInPlace();
    QString CheckWritten(int file, int record);
    void Abandon();

    QString m_target;  // as given
    QByteArray m_path; // the file itself, links followed
    QByteArray m_directory;
    bool m_exists = false;
    struct stat m_old = {};

    Method m_method = Method::None;
    DescriptorWriter m_output;
    UniqueFd m_file;         // the target, locked for the whole save; written in place
    bool m_readable = false; // m_file can be read back
    UniqueFd m_new;          // Rename: the new file beside the target, locked while it lives
    QByteArray m_temporary;  // its name
    std::unique_ptr<SaveRecord> m_record; // InPlace: the new content, before the file has it
    QString m_error;
    bool m_previousKept = false;
    QString m_keptCopy;
    QStringList m_warnings;
    LockWait m_lockWait;
    struct sigaction m_fileSizeSignal = {};
};

} // namespace file
