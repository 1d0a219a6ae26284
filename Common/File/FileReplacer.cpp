#include "FileReplacer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace file {

namespace {

// The copy of the previous content of an in-place save is named after the file.
const QByteArray kCopySuffix(".vellorin-previous");
const QByteArray kTemporaryPrefix(".vellorin-");
const QByteArray kTemporarySuffix(".tmp");
// Symbolic links followed before giving up with ELOOP, as the kernel's own limit.
constexpr int kMaxLinkHops = 40;
// A temporary name is drawn from 36^8 (eight base-36 digits, so it stays short) and drawn
// again while taken, a few times.
constexpr std::uint64_t kTemporaryNameSpace = 2821109907456ull; // 36^8
constexpr int kTemporaryNameTries = 16;
// Hex digits of the path's hash that name a copy in the state folder.
constexpr int kCopyKeyDigits = 16;
// Bytes of the target's name kept in a copy's name there, so that key, name and suffix fit.
constexpr int kCopyNameBytes = 160;

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray DirectoryOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray NameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Follows symbolic links from 'given'. 0 when a file is there ('info' describes it), ENOENT
// when the name is free ('path' is where the file would be), else the error number.
int Resolve(QByteArray given, QByteArray* path, struct stat* info)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        *path = given;
        if (::lstat(given.constData(), info) != 0)
            return errno;
        if (!S_ISLNK(info->st_mode))
            return 0;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(given.constData(), link, sizeof link);
        if (length < 0)
            return errno;
        if (length == static_cast<ssize_t>(sizeof link))
            return ENAMETOOLONG;
        const QByteArray next(link, static_cast<int>(length));
        given = next.startsWith('/') ? next : DirectoryOf(given) + '/' + next;
    }
    return ELOOP;
}

// A short name of its own, so that it fits beside any name the target may have, locked from
// its first moment on so that no cleaning of leftovers takes it.
int CreateTemporary(const QByteArray& directory, QByteArray* name)
{
    int fd = -1;
    for (int attempt = 0; attempt < kTemporaryNameTries && fd < 0; ++attempt) {
        *name =
            directory + '/' + kTemporaryPrefix +
            QByteArray::number(QRandomGenerator::global()->generate64() % kTemporaryNameSpace, 36) +
            kTemporarySuffix;
        fd = ::open(name->constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        name->clear();
        return -1;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

// Removes the temporary files that saves which died left in 'directory': those of this user
// that no live save holds locked.
void CleanLeftovers(const QByteArray& directory)
{
    DIR* folder = ::opendir(directory.constData());
    if (!folder)
        return;
    const int at = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(kTemporaryPrefix) || !name.endsWith(kTemporarySuffix))
            continue;
        UniqueFd fd(::openat(at, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened, named;
        if (!fd || ::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != ::geteuid() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::fstatat(at, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlinkat(at, entry->d_name, 0);
    }
    ::closedir(folder);
}

// Copies the whole content of 'from' over the start of 'to', cuts 'to' behind it and syncs it.
// 0, or the error number of the call that failed.
int CopyContent(int from, int to)
{
    DescriptorWriter out;
    out.Attach(to);
    char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        if (out.Write(buffer, static_cast<unsigned>(got)) != got)
            return out.Error();
        offset += got;
    }
    if (!out.Flush())
        return out.Error();
    if (::ftruncate(to, out.Length()) != 0 || ::fsync(to) != 0)
        return errno;
    return 0;
}

// Gives 'from' the name 'to' unless a file has that name; where the file system cannot tell,
// a plain rename. False with errno set on failure.
bool RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    return errno == EINVAL && ::rename(from.constData(), to.constData()) == 0;
}

// The same file, not merely one that took over a freed inode number: the change time moves
// with every new file and every change of owner, mode or links.
bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// 0, or the error number of a folder sync that failed where the file system offers one.
int SyncDirectory(const QByteArray& directory)
{
    UniqueFd fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return errno;
    if (::fsync(fd.Get()) != 0 && errno != EINVAL) // EINVAL: no syncing of folders there
        return errno;
    return fd.Close() == 0 ? 0 : errno;
}

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

// The first 'size' bytes of a UTF-8 name or fewer, never cut inside a character: the name
// announced to the user must be the one on the disk.
QByteArray CutAtCharacter(const QByteArray& name, int size)
{
    if (size >= name.size())
        return name;
    while (size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80)
        --size;
    return name.left(size);
}

// Where the copy of 'path' may be: beside it (when the name fits) and in the state folder,
// under a name made of its whole path.
QList<QByteArray> CopyPlaces(const QByteArray& path)
{
    QList<QByteArray> places;
    const QByteArray name = NameOf(path);
    if (name.size() + kCopySuffix.size() <= NAME_MAX)
        places << path + kCopySuffix;
    QByteArray whole = path;
    if (char* real = ::realpath(DirectoryOf(path).constData(), nullptr)) {
        whole = QByteArray(real) + '/' + name;
        std::free(real);
    }
    const QByteArray key =
        QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex().left(kCopyKeyDigits);
    places << QFile::encodeName(FileReplacer::StateFolder()) + '/' + key + '-' +
                  CutAtCharacter(name, kCopyNameBytes) + kCopySuffix;
    return places;
}

} // namespace

FileReplacer::FileReplacer(const QString& target) : m_target(target)
{
    // An oversized write then fails with EFBIG, and the previous content is put back.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &m_fileSizeSignal);
}

FileReplacer::~FileReplacer()
{
    Abandon();
    ::sigaction(SIGXFSZ, &m_fileSizeSignal, nullptr);
}

QString FileReplacer::StateFolder()
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        base = qgetenv("HOME");
        if (base.isEmpty())
            if (const passwd* user = ::getpwuid(::geteuid()))
                base = user->pw_dir;
        base += "/.local/state";
    }
    return QFile::decodeName(base) + QStringLiteral("/vellorin");
}

QString FileReplacer::InterruptedCopyOf(const QString& target)
{
    QByteArray path;
    struct stat info;
    if (target.isEmpty() || Resolve(QFile::encodeName(target), &path, &info) != 0)
        return {};
    for (const QByteArray& place : CopyPlaces(path))
        if (::lstat(place.constData(), &info) == 0 && S_ISREG(info.st_mode))
            return QFile::decodeName(place);
    return {};
}

bool FileReplacer::Fail(const QString& error)
{
    if (m_error.isEmpty())
        m_error = error;
    return false;
}

bool FileReplacer::Begin()
{
    if (!ResolveTarget())
        return false;
    if (BeginRename())
        return true;
    if (!m_error.isEmpty())
        return false;
    if (!m_exists)
        return Fail(tr("It cannot be created: %1.").arg(SystemError(errno)));
    return BeginInPlace();
}

bool FileReplacer::ResolveTarget()
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
    return LockTarget();
}

// Opens the target and locks it against other saves, waiting for a save that holds it; a save
// that replaced it meanwhile leaves a new file, which is then the one to lock.
bool FileReplacer::LockTarget()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
        // Not blocking on a FIFO swapped in since the check.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        UniqueFd fd(::open(m_path.constData(), O_RDWR | flags));
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
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        QByteArray path;
        struct stat now;
        if (Resolve(QFile::encodeName(m_target), &path, &now) == 0 && path == m_path &&
            ::fstat(fd.Get(), &opened) == 0 && now.st_dev == opened.st_dev &&
            now.st_ino == opened.st_ino) {
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

bool FileReplacer::BeginRename()
{
    const uid_t user = ::geteuid();
    if (m_exists && (m_old.st_nlink != 1 || (user != 0 && m_old.st_uid != user)))
        return false;

    CleanLeftovers(m_directory);
    UniqueFd fd(CreateTemporary(m_directory, &m_temporary));
    if (!fd)
        return false;
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
        errno = error;
        return false;
    }
    m_output.Attach(fd.Get());
    m_new = std::move(fd);
    m_method = Method::Rename;
    return true;
}

bool FileReplacer::BeginInPlace()
{
    if (!KeepCopy())
        return false;
    m_output.Attach(m_file.Get());
    m_method = Method::InPlace;
    return true;
}

// Puts a complete, synced copy of the previous content at the first of CopyPlaces() where it
// can be created, and syncs its folder, before anything is written to the file. A copy that an
// interrupted save left there is the previous content the user may need: it stays as it is, and
// the content to put back on failure goes to a temporary file of this save instead.
bool FileReplacer::KeepCopy()
{
    const QList<QByteArray> places = CopyPlaces(m_path);
    for (const QByteArray& place : places) {
        struct stat info;
        if (::lstat(place.constData(), &info) != 0)
            continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1)
            return Fail(tr("Its previous content could not be kept aside: \"%1\" is in the way.")
                            .arg(QFile::decodeName(place)));
        m_copy = place;
        break;
    }

    int error = 0;
    QByteArray folder;
    for (const QByteArray& place : places) {
        folder = DirectoryOf(place);
        if (place == places.last()) {
            QDir().mkpath(QFile::decodeName(DirectoryOf(folder)));
            ::mkdir(folder.constData(), 0700);
        }
        CleanLeftovers(folder);
        QByteArray temporary;
        UniqueFd copy(CreateTemporary(folder, &temporary));
        if (!copy) {
            error = errno;
            continue; // a folder the saver cannot write: the next place
        }
        error = CopyContent(m_file.Get(), copy.Get());
        if (error == 0 && !m_copy.isEmpty()) {
            m_restoreName = temporary; // locked while this save lives
        } else if (error == 0) {
            if (!RenameNoReplace(temporary, place))
                error = errno;
            else if ((error = SyncDirectory(folder)) != 0)
                ::unlink(place.constData());
            else
                m_copy = place;
            m_copyIsOurs = error == 0;
        }
        if (error != 0) {
            ::unlink(temporary.constData());
            break;
        }
        m_restore = std::move(copy);
        return true;
    }
    return Fail(tr("Its previous content could not be kept aside in \"%1\": %2.")
                    .arg(QFile::decodeName(folder), SystemError(error)));
}

bool FileReplacer::Commit()
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

bool FileReplacer::CommitRename()
{
    m_method = Method::None;
    QString error;
    if (!m_output.Close())
        error = tr("It could not be written: %1.").arg(SystemError(m_output.Error()));
    else if (::fsync(m_new.Get()) != 0 || m_new.Close() != 0)
        error = tr("It could not be written to the disk: %1.").arg(SystemError(errno));
    if (error.isEmpty() && m_exists) {
        struct stat now;
        if (::lstat(m_path.constData(), &now) != 0 || now.st_dev != m_old.st_dev ||
            now.st_ino != m_old.st_ino)
            error = tr("It was replaced by another file while it was being saved.");
        else if (!SameFile(now, m_old))
            error = tr("It was changed by another program while it was being saved.");
    }
    if (error.isEmpty()) {
        // A file that appeared meanwhile under a new name is not overwritten.
        const bool renamed = m_exists ? ::rename(m_temporary.constData(), m_path.constData()) == 0
                                      : RenameNoReplace(m_temporary, m_path);
        if (!renamed)
            error = tr("It could not be put in place: %1.").arg(SystemError(errno));
    }
    m_new.Reset();
    if (!error.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        struct stat now;
        m_previousKept = m_exists && ::lstat(m_path.constData(), &now) == 0 &&
                         SameFile(now, m_old) && now.st_size == m_old.st_size &&
                         now.st_mtim.tv_sec == m_old.st_mtim.tv_sec &&
                         now.st_mtim.tv_nsec == m_old.st_mtim.tv_nsec;
        return Fail(error);
    }
    m_temporary.clear();
    if (const int synced = SyncDirectory(m_directory))
        m_warnings << tr("Its folder could not be written to the disk: %1. A power cut soon "
                         "after this save may bring back the previous content.")
                          .arg(SystemError(synced));
    return true;
}

bool FileReplacer::CommitInPlace()
{
    m_method = Method::None;
    // Keeps the lock after the checked close below, until the copy is gone or put back.
    UniqueFd hold(::fcntl(m_file.Get(), F_DUPFD_CLOEXEC, 0));
    QString error;
    if (!m_output.Close())
        error = tr("It could not be written: %1.").arg(SystemError(m_output.Error()));
    else if (::ftruncate(m_file.Get(), m_output.Length()) != 0 || ::fsync(m_file.Get()) != 0 ||
             m_file.Close() != 0)
        error = tr("It could not be written to the disk: %1.").arg(SystemError(errno));
    if (error.isEmpty()) {
        RemoveCopy();
        DropRestore();
        return true;
    }
    if (!m_file)
        m_file = std::move(hold);
    m_previousKept = RestoreInPlace();
    if (!m_previousKept)
        error += QLatin1Char(' ') + tr("Its previous content is kept in \"%1\".").arg(m_keptCopy);
    return Fail(error);
}

// Puts the previous content back and removes the copy this save made; a copy that an
// interrupted save left stays. False, with KeptCopy() set, where the file does not hold its
// previous content.
bool FileReplacer::RestoreInPlace()
{
    if (!m_file)
        m_file.Reset(::open(m_path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    const bool restored = m_file && m_restore && CopyContent(m_restore.Get(), m_file.Get()) == 0;
    DropRestore();
    if (!restored)
        m_keptCopy = QFile::decodeName(m_copy);
    else if (m_copyIsOurs)
        RemoveCopy();
    return restored;
}

void FileReplacer::DropRestore()
{
    m_restore.Reset();
    if (!m_restoreName.isEmpty())
        ::unlink(m_restoreName.constData());
    m_restoreName.clear();
}

void FileReplacer::RemoveCopy()
{
    if (m_copy.isEmpty())
        return;
    if (::unlink(m_copy.constData()) != 0 && errno != ENOENT)
        m_warnings << tr("A copy of its previous content could not be removed from \"%1\": %2.")
                          .arg(QFile::decodeName(m_copy), SystemError(errno));
    else
        SyncDirectory(DirectoryOf(m_copy)); // a copy that comes back would only be announced
    m_copy.clear();
}

void FileReplacer::Abandon()
{
    switch (m_method) {
    case Method::Rename:
        m_new.Reset();
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        break;
    case Method::InPlace:
        m_previousKept = RestoreInPlace();
        break;
    case Method::None:
        break;
    }
    m_method = Method::None;
}

} // namespace file
