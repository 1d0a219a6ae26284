#pragma once

#include "Common/File/AbstractFile.h"
#include "Common/File/Outcome.h"
#include "Common/File/ProgramNames.h"

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>

namespace file {

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
// which goes once the file is seen to hold exactly that content under its path. An in-place
// save changes no byte of a file that another program changed or replaced since it locked it:
// it looks last just before its first change (a cut where the file is longer, then the writes),
// and otherwise fails, leaving the other program's content as it is and its own in the record.
// A save that succeeds tells the records of earlier saves of the file that it has been saved
// since.
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

    // 'names' are the program's names of its temporary files and records.
    FileReplacer(const QString& target, const ProgramNames& names);
    ~FileReplacer();

    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Called again and again, every few milliseconds, while another program holds the file's
    // lock: false gives up waiting. A window keeps itself painted and offers a way out there.
    using LockWait = std::function<bool()>;
    void SetLockWait(LockWait wait);

    // Done, or NotSaved with one sentence for the user; previousKept tells whether a previous
    // file was seen to exist and still holds exactly its previous content.
    Outcome Begin();
    AbstractFile* Output();
    // Done, with warnings about what went wrong once the file held the new content; or NotSaved
    // as for Begin(), and keptCopy where the new content stays when the file may not hold it.
    Outcome Commit();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace file
