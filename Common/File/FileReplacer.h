#pragma once

#include "Common/File/FileQt.h"

#include <QString>

#include <sys/stat.h>

namespace file {

// Replaces the whole content of a file so that the file stays its owner's: the new content is
// never readable by anyone the file's mode does not allow, and on any failure the previous
// content stays.
//
// Symbolic links are followed to the file they name. Only regular files are replaced. Where a
// new file renamed over the old one keeps everything (owner, group, mode bits including setgid
// and read-only bits, the only link to the data, no extended attributes), the content goes to
// a temporary file beside the target first. Otherwise the file is rewritten in place, after a
// copy of its old content has been kept aside to put back on failure.
//
// Begin(), then write everything through Output(), then Commit(). Destroying an unfinished
// replacement abandons it and restores the previous content.
class FileReplacer
{
public:
    explicit FileReplacer(const QString& target);
    ~FileReplacer();

    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    bool Begin();
    AbstractFile* Output() { return &m_output; }
    bool Commit();

    // After a failure: one sentence for the user, and whether a previous file exists and still
    // holds exactly its previous content.
    QString Error() const { return m_error; }
    bool PreviousKept() const { return m_previousKept; }

private:
    enum class Method
    {
        None,
        Rename,
        InPlace
    };

    bool Fail(const QString& error);
    bool ResolveTarget();
    bool BeginRename();
    bool BeginInPlace();
    bool CommitRename();
    bool CommitInPlace();
    bool RestoreInPlace();
    void Abandon();

    QString m_target;  // as given
    QByteArray m_path; // the file itself, links followed
    QByteArray m_directory;
    bool m_exists = false;
    struct stat m_old = {};

    Method m_method = Method::None;
    FileQt m_output;
    int m_fd = -1;
    QByteArray m_temporary; // Rename: the new file beside the target
    QByteArray m_backup;    // InPlace: the copy of the old content
    QString m_error;
    bool m_previousKept = true;
};

} // namespace file
