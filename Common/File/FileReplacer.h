#pragma once

#include "Common/File/DescriptorWriter.h"
#include "Common/File/UniqueFd.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <csignal>
#include <functional>
#include <sys/stat.h>

namespace file {

// Replaces the whole content of a file so that the file stays its owner's and a save is all or
// nothing: the new content is never readable by anyone the file's mode does not allow, and
// whatever stops a save (a failure, a crash, a power cut) leaves the previous content, or, where
// the file has to be written in place, a complete copy of it at a place the next Open names.
//
// Symbolic links are followed to the file they name. Only regular files are replaced. Where a
// new file renamed over the old one keeps everything (owner, group, mode bits including setgid
// and read-only bits, the only link to the data, extended attributes and ACLs), the content
// goes to a temporary file beside the target first. Otherwise the file is rewritten in place,
// after a synced copy of its old content has been put beside it as "<name>.vellorin-previous"
// (or, where its folder cannot be written, in StateFolder()) and that folder synced; a complete
// save removes the copy, and InterruptedCopyOf() finds one that a save cut off left.
//
// One save of a file at a time: the target is locked (flock) for the whole save, and a second
// saver waits while its lock wait says so (SetLockWait), or else up to kLockWaitMs. A
// file-size-limit signal is ignored while a replacer lives, so that an oversized write fails and
// the previous content is put back.
//
// Begin(), then write everything through Output(), then Commit(). Destroying an unfinished
// replacement abandons it and restores the previous content.
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
    // Where a complete copy of the previous content stays, when the file does not hold it.
    QString KeptCopy() const { return m_keptCopy; }
    // After success: sentences about what went wrong once the new content was complete.
    QStringList Warnings() const { return m_warnings; }

    // The copy that an interrupted save of 'target' left behind, or an empty string.
    static QString InterruptedCopyOf(const QString& target);
    // The folder for copies when the target's own folder cannot be written:
    // $XDG_STATE_HOME/vellorin, else ~/.local/state/vellorin.
    static QString StateFolder();

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
    bool KeepCopy();
    bool CommitRename();
    bool CommitInPlace();
    bool RestoreInPlace();
    void RemoveCopy();
    void DropRestore();
    void Abandon();

    QString m_target;  // as given
    QByteArray m_path; // the file itself, links followed
    QByteArray m_directory;
    bool m_exists = false;
    struct stat m_old = {};

    Method m_method = Method::None;
    DescriptorWriter m_output;
    UniqueFd m_file;           // the target, locked for the whole save; written in place
    UniqueFd m_new;            // Rename: the new file beside the target, locked while it lives
    QByteArray m_temporary;    // its name
    QByteArray m_copy;         // InPlace: the copy of the previous content
    bool m_copyIsOurs = false; // false: an interrupted save left it and it stays until success
    UniqueFd m_restore;        // InPlace: the previous content to put back on failure
    QByteArray m_restoreName;  // its temporary name, where it is not m_copy
    QString m_error;
    bool m_previousKept = false;
    QString m_keptCopy;
    QStringList m_warnings;
    LockWait m_lockWait;
    struct sigaction m_fileSizeSignal = {};
};

} // namespace file
