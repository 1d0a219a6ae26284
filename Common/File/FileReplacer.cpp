#include "FileReplacer.h"

#include "DescriptorWriter.h"
#include "FileCalls.h"
#include "SaveRecord.h"
#include "UniqueFd.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace file {

namespace {

// How long a lock wait sleeps between tries.
constexpr int kLockPollMs = 20;

// The names of the extended attributes, each ended by a zero byte; false when they could not
// be read. A file system without attributes has none.
bool AttributeList(int fd, QByteArray* names)
{
    names->clear();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size <= 0)
            return size == 0 || errno == ENOTSUP;
        names->resize(static_cast<int>(size));
        const ssize_t got = ::flistxattr(fd, names->data(), static_cast<size_t>(size));
        if (got >= 0) {
            names->truncate(static_cast<int>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// The value, or null when there is none.
QByteArray Attribute(int fd, const char* name)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0)
            return {};
        QByteArray value(static_cast<int>(size), '\0');
        const ssize_t got = ::fgetxattr(fd, name, value.data(), static_cast<size_t>(size));
        if (got >= 0)
            return value.left(static_cast<int>(got)).append('\0').chopped(1);
        if (errno != ERANGE)
            return {};
    }
    return {};
}

// Gives 'to' exactly the extended attributes of 'from' (user attributes, ACLs, and security
// labels where the process may set them), and checks that it has them. False when any
// differs: a rename would then lose something the file has.
bool CopyAttributes(int from, int to)
{
    QByteArray names, present;
    if (!AttributeList(from, &names) || !AttributeList(to, &present))
        return false;
    const QList<QByteArray> wanted = names.split('\0');
    for (const QByteArray& name : present.split('\0'))
        if (!name.isEmpty() && !wanted.contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false; // e.g. an ACL the folder hands down
    for (const QByteArray& name : wanted) {
        if (name.isEmpty())
            continue;
        const QByteArray value = Attribute(from, name.constData());
        if (value.isNull() ||
            ::fsetxattr(to, name.constData(), value.constData(), static_cast<size_t>(value.size()),
                        0) != 0 ||
            Attribute(to, name.constData()) != value)
            return false;
    }
    return true;
}

} // namespace

// What a save holds of the system while it runs.
struct FileReplacer::Private
{
    enum class Method
    {
        None,
        Rename,
        InPlace
    };

    Private(const QString& target, const ProgramNames& names);
    ~Private();
    Outcome Result(bool ok) const;

    // The one failure of this save, set where it happens: nothing sets it twice.
    bool Fail(const QString& sentence);
    // A failure once the new content is complete in its record, which then stays.
    bool FailKept(const QString& sentence);
    bool FailRename(const QString& sentence);
    bool Begin();
    bool ResolveTarget();
    bool LockTarget();
    int BeginRename();
    bool BeginInPlace();
    bool Commit();
    bool CommitRename();
    bool CommitInPlace();
    bool StillTheFile(const struct stat& expected);
    bool CheckWritten(int file);
    void Supersede(int file);
    void Abandon();

    QString m_target; // as given
    ProgramNames m_names;
    QByteArray m_path; // the file itself, links followed
    QByteArray m_directory;
    bool m_exists = false;
    struct stat m_old = {}; // as the save locked it
    Identity m_identity;    // the same

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

FileReplacer::Private::Private(const QString& target, const ProgramNames& names)
    : m_target(target), m_names(names), m_record(std::make_unique<SaveRecord>(names))
{
    // An oversized write then fails with EFBIG, and the file is left as it was.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &m_fileSizeSignal);
}

FileReplacer::Private::~Private()
{
    Abandon();
    ::sigaction(SIGXFSZ, &m_fileSizeSignal, nullptr);
}

Outcome FileReplacer::Private::Result(bool ok) const
{
    Outcome outcome = ok ? Outcome() : Outcome::Failed(Outcome::NotSaved, m_error);
    outcome.previousKept = !ok && m_previousKept;
    outcome.keptCopy = m_keptCopy;
    outcome.warnings = m_warnings;
    return outcome;
}

FileReplacer::FileReplacer(const QString& target, const ProgramNames& names)
    : d(std::make_unique<Private>(target, names))
{
}

FileReplacer::~FileReplacer() = default;

void FileReplacer::SetLockWait(LockWait wait)
{
    d->m_lockWait = std::move(wait);
}

Outcome FileReplacer::Begin()
{
    return d->Result(d->Begin());
}

AbstractFile* FileReplacer::Output()
{
    return d->m_method == Private::Method::InPlace ? d->m_record->Output() : &d->m_output;
}

Outcome FileReplacer::Commit()
{
    return d->Result(d->Commit());
}

bool FileReplacer::Private::Fail(const QString& sentence)
{
    Q_ASSERT(m_error.isEmpty());
    m_error = sentence;
    return false;
}

bool FileReplacer::Private::FailKept(const QString& sentence)
{
    m_keptCopy = m_record->Path();
    return Fail(sentence + QLatin1Char(' ') +
                tr("Its new content is kept in \"%1\".").arg(m_keptCopy));
}

bool FileReplacer::Private::Begin()
{
    if (!ResolveTarget())
        return false;
    const int error = BeginRename();
    if (error == 0)
        return true;
    if (!m_exists)
        return Fail(tr("It cannot be created: %1.").arg(SystemError(error)));
    return BeginInPlace();
}

bool FileReplacer::Private::ResolveTarget()
{
    if (m_target.isEmpty())
        return Fail(tr("It cannot be created: %1.").arg(SystemError(ENOENT)));
    const int error = Resolve(QFile::encodeName(m_target), &m_path, &m_old);
    m_directory = DirectoryOf(m_path);
    if (error == ENOENT)
        return true;
    if (error != 0)
        return Fail(tr("It cannot be written: %1.").arg(SystemError(error)));
    m_exists = true;
    m_previousKept = true; // until something is written to it
    if (!S_ISREG(m_old.st_mode))
        return Fail(tr("It is not a regular file."));
    // A file its owner keeps from being written stays as it is, though its folder might allow
    // replacing it.
    if (::access(m_path.constData(), W_OK) != 0)
        return Fail(tr("It cannot be written: %1.").arg(SystemError(errno)));
    if (!LockTarget())
        return false;
    if (const int identified = Identify(m_file.Get(), {}, &m_identity))
        return Fail(tr("It cannot be written: %1.").arg(SystemError(identified)));
    // Records of saves that completed the file but died before removing them go now.
    if (m_readable)
        SaveRecord::Prune(m_file.Get(), m_identity, m_path, m_names);
    return true;
}

// Opens the target and locks it against other saves, waiting for a save that holds it; a save
// that replaced it meanwhile leaves a new file, which is then the one to lock. What the locked
// file is like then (m_old) is what the save may write over.
bool FileReplacer::Private::LockTarget()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
        // Not blocking on a FIFO swapped in since the check.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        UniqueFd fd(::open(m_path.constData(), O_RDWR | flags));
        m_readable = static_cast<bool>(fd);
        if (!fd && errno == EACCES) // a file its owner may write but not read can be renamed over
            fd.Reset(::open(m_path.constData(), O_WRONLY | flags));
        if (!fd)
            return Fail(tr("It cannot be written: %1.").arg(SystemError(errno)));
        struct stat opened;
        if (::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode))
            return Fail(tr("It was replaced by another file while it was being saved."));
        while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
                break; // no locks on this file system: nothing to wait for
            if (errno != EWOULDBLOCK && errno != EINTR)
                return Fail(tr("It cannot be written: %1.").arg(SystemError(errno)));
            if (m_lockWait ? !m_lockWait() : std::chrono::steady_clock::now() > deadline)
                return Fail(tr("It is locked by another program."));
            std::this_thread::sleep_for(std::chrono::milliseconds(kLockPollMs));
        }
        QByteArray path;
        struct stat now;
        if (::fstat(fd.Get(), &opened) == 0 &&
            Resolve(QFile::encodeName(m_target), &path, &now) == 0 && path == m_path &&
            now.st_dev == opened.st_dev && now.st_ino == opened.st_ino) {
            m_old = opened;
            // Without its flags known, none may be set: O_APPEND would send every write to the
            // end of the old content.
            const int status = ::fcntl(fd.Get(), F_GETFL);
            if (status < 0 || ::fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK) != 0)
                return Fail(tr("It cannot be written: %1.").arg(SystemError(errno)));
            m_file = std::move(fd);
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline || path != m_path || !S_ISREG(now.st_mode))
            return Fail(tr("It was replaced by another file while it was being saved."));
    }
}

// 0 when the new content goes to a new file beside the target, else why not: a new file could
// not keep what the file has, or could not be made.
int FileReplacer::Private::BeginRename()
{
    const uid_t user = ::geteuid();
    if (m_exists && (m_old.st_nlink != 1 || (user != 0 && m_old.st_uid != user)))
        return EPERM;

    UniqueFd fd;
    if (const int error = CreateTemporary(m_directory, m_names.temporaryPrefix, &fd, &m_temporary))
        return error;
    // The new file takes the old one's owner, group, attributes and mode before the first
    // byte is written.
    bool same = true;
    if (m_exists) {
        struct stat created;
        same = ::fstat(fd.Get(), &created) == 0;
        if (same && (created.st_uid != m_old.st_uid || created.st_gid != m_old.st_gid))
            same = ::fchown(fd.Get(), user == 0 ? m_old.st_uid : static_cast<uid_t>(-1),
                            m_old.st_gid) == 0;
        same = same && CopyAttributes(m_file.Get(), fd.Get());
        // Set after the owner, which clears the setgid bit; checked, since a group the saver
        // is not in silently drops it.
        same = same && ::fchmod(fd.Get(), m_old.st_mode & 07777) == 0 &&
               ::fstat(fd.Get(), &created) == 0 && created.st_uid == m_old.st_uid &&
               created.st_gid == m_old.st_gid &&
               (created.st_mode & 07777) == (m_old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        same = ::fchmod(fd.Get(), 0666 & ~mask) == 0;
    }
    if (!same) {
        const int error = errno;
        fd.Reset();
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        return error;
    }
    m_output.Attach(fd.Get());
    m_new = std::move(fd);
    m_method = Method::Rename;
    return 0;
}

bool FileReplacer::Private::Commit()
{
    switch (m_method) {
    case Method::Rename:
        return CommitRename();
    case Method::InPlace:
        return CommitInPlace();
    case Method::None:
        break;
    }
    return Fail(tr("It cannot be written: %1.").arg(SystemError(EBADF)));
}

// The new file goes, and the previous content is said to be kept only where the file is seen
// to be as the save locked it.
bool FileReplacer::Private::FailRename(const QString& sentence)
{
    m_method = Method::None;
    m_new.Reset();
    ::unlink(m_temporary.constData());
    m_temporary.clear();
    struct stat now;
    m_previousKept = m_exists && ::lstat(m_path.constData(), &now) == 0 && Unchanged(m_old, now);
    return Fail(sentence);
}

bool FileReplacer::Private::CommitRename()
{
    if (!m_output.Close())
        return FailRename(tr("It could not be written: %1.").arg(SystemError(m_output.Error())));
    // The new file, to be told by its identity once it has its name.
    const UniqueFd created(::fcntl(m_new.Get(), F_DUPFD_CLOEXEC, 0));
    if (!created)
        return FailRename(tr("It could not be written: %1.").arg(SystemError(errno)));
    if (::fsync(m_new.Get()) != 0 || m_new.Close() != 0)
        return FailRename(tr("It could not be written to the disk: %1.").arg(SystemError(errno)));
    if (m_exists) {
        struct stat now;
        if (::lstat(m_path.constData(), &now) != 0 || now.st_dev != m_old.st_dev ||
            now.st_ino != m_old.st_ino)
            return FailRename(tr("It was replaced by another file while it was being saved."));
        if (!SameFile(now, m_old))
            return FailRename(tr("It was changed by another program while it was being saved."));
    }
    // A file that appeared meanwhile under a new name is not overwritten.
    const int renamed =
        m_exists ? (::rename(m_temporary.constData(), m_path.constData()) == 0 ? 0 : errno)
                 : RenameNoReplace(m_temporary, m_path);
    if (renamed != 0)
        return FailRename(tr("It could not be put in place: %1.").arg(SystemError(renamed)));
    m_method = Method::None;
    m_temporary.clear();
    if (const int synced = SyncDirectory(m_directory))
        m_warnings << tr("Its folder could not be written to the disk: %1. A power cut soon "
                         "after this save may bring back the previous content.")
                          .arg(SystemError(synced));
    Supersede(created.Get());
    return true;
}

// The new content goes to a record of this save first (SaveRecord); the file is written only
// from the complete, synced record, so that it is never the only place of the newest content.
bool FileReplacer::Private::BeginInPlace()
{
    if (!m_record->Start(m_identity, m_path))
        return Fail(m_record->Error());
    m_method = Method::InPlace;
    return true;
}

bool FileReplacer::Private::CommitInPlace()
{
    m_method = Method::None;
    // Holds the lock, and a way to read the file back, after the checked close below.
    const UniqueFd hold(::fcntl(m_file.Get(), F_DUPFD_CLOEXEC, 0));
    if (!hold)
        return Fail(tr("It cannot be written: %1.").arg(SystemError(errno)));
    if (!m_record->Publish())
        return Fail(m_record->Error()); // nothing touched the file yet
    m_previousKept = false;
    if (!StillTheFile(m_old))
        return false;
    // Cut first where the file is longer, so that no cut ever lands behind a write.
    const off_t length = m_record->Length();
    if (m_old.st_size > length && ::ftruncate(m_file.Get(), length) != 0)
        return FailKept(tr("It could not be written: %1.").arg(SystemError(errno)));
    if (const int copied = CopyContent(m_record->Descriptor(), m_file.Get()))
        return FailKept(tr("It could not be written: %1.").arg(SystemError(copied)));
    if (m_file.Close() != 0)
        return FailKept(tr("It could not be written to the disk: %1.").arg(SystemError(errno)));
    if (!CheckWritten(hold.Get()))
        return false;
    if (!m_record->Remove())
        m_warnings << m_record->Error();
    Supersede(hold.Get());
    return true;
}

// The path still names the file this save holds, and that file is as 'expected': no other
// program replaced or changed it since. The look at the path comes last, just before what
// relies on it.
bool FileReplacer::Private::StillTheFile(const struct stat& expected)
{
    QByteArray path;
    struct stat now;
    const int error = Resolve(QFile::encodeName(m_target), &path, &now);
    if (error != 0 && error != ENOENT)
        return FailKept(tr("It could not be looked at: %1.").arg(SystemError(error)));
    if (error != 0 || path != m_path || now.st_dev != expected.st_dev ||
        now.st_ino != expected.st_ino)
        return FailKept(tr("It was replaced by another file while it was being saved."));
    if (!Unchanged(expected, now))
        return FailKept(tr("It was changed by another program while it was being saved."));
    return true;
}

// The file holds exactly the record, under its path: no other program replaced or wrote it,
// with or without a lock, before this check. A write during the comparison moves the change
// time, which is looked at last.
bool FileReplacer::Private::CheckWritten(int file)
{
    struct stat written;
    if (::fstat(file, &written) != 0)
        return FailKept(tr("It could not be read back: %1.").arg(SystemError(errno)));
    // A file its owner may write but not read is judged by its size and change time alone.
    bool same = true;
    if (m_readable)
        if (const int error = SameContent(m_record->Descriptor(), file, &same))
            return FailKept(tr("It could not be read back: %1.").arg(SystemError(error)));
    if (!StillTheFile(written))
        return false;
    if (!same || written.st_size != m_record->Length())
        return FailKept(tr("It was changed by another program while it was being saved."));
    return true;
}

// The records of earlier saves of the file learn that it has been saved since.
void FileReplacer::Private::Supersede(int file)
{
    SaveRecord::Supersede(m_exists ? &m_identity : nullptr, file, m_path, m_names);
}

void FileReplacer::Private::Abandon()
{
    switch (m_method) {
    case Method::Rename:
        m_new.Reset();
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        break;
    case Method::InPlace:
        m_record.reset(); // the file was not touched: the unfinished record goes
        break;
    case Method::None:
        break;
    }
    m_method = Method::None;
}

} // namespace file
