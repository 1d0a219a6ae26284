#include "FileReplacer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace file {

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("FileReplacer", text);
}

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

// A short name of its own, so that it fits beside any name the target may have.
int CreateExclusive(const QByteArray& directory, const char* suffix, QByteArray* name)
{
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        *name = directory + "/.vellorin-" +
                QByteArray::number(QRandomGenerator::global()->generate64() % 0xFFFFFFFFFFull, 36) +
                suffix;
        fd = ::open(name->constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        name->clear();
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

// Copies the whole content of 'from' over the start of 'to' and cuts 'to' behind it.
bool CopyContent(int from, int to)
{
    char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!WriteAll(to, buffer, static_cast<std::size_t>(got), offset))
            return false;
        offset += got;
    }
    return ::ftruncate(to, offset) == 0 && ::fsync(to) == 0;
}

// The same file, not merely one that took over a freed inode number: the change time moves
// with every new file and every change of owner, mode or links.
bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

void SyncDirectory(const QByteArray& directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // not every file system syncs folders; the file itself is on disk already
    ::close(fd);
}

} // namespace

FileReplacer::FileReplacer(const QString& target) : m_target(target) {}

FileReplacer::~FileReplacer()
{
    Abandon();
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
    m_previousKept = m_exists;
    if (BeginRename())
        return true;
    if (!m_error.isEmpty())
        return false;
    if (!m_exists)
        return Fail(Tr("It cannot be created: %1.").arg(SystemError(errno)));
    return BeginInPlace();
}

bool FileReplacer::ResolveTarget()
{
    QByteArray path = QFile::encodeName(m_target);
    if (path.isEmpty())
        return Fail(Tr("It cannot be created: %1.").arg(SystemError(ENOENT)));
    for (int hop = 0;; ++hop) {
        if (hop == 40)
            return Fail(Tr("It cannot be written: %1.").arg(SystemError(ELOOP)));
        if (::lstat(path.constData(), &m_old) != 0) {
            if (errno != ENOENT)
                return Fail(Tr("It cannot be written: %1.").arg(SystemError(errno)));
            m_exists = false;
            break;
        }
        if (!S_ISLNK(m_old.st_mode)) {
            m_exists = true;
            break;
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), link, sizeof link);
        if (length < 0 || length == static_cast<ssize_t>(sizeof link))
            return Fail(Tr("It cannot be written: %1.")
                            .arg(SystemError(length < 0 ? errno : ENAMETOOLONG)));
        const QByteArray next(link, static_cast<int>(length));
        path = next.startsWith('/') ? next : DirectoryOf(path) + '/' + next;
    }
    m_path = path;
    m_directory = DirectoryOf(path);
    if (!m_exists)
        return true;
    if (!S_ISREG(m_old.st_mode))
        return Fail(Tr("It is not a regular file."));
    // A file its owner keeps from being written stays as it is, though its folder might allow
    // replacing it.
    if (::access(m_path.constData(), W_OK) != 0)
        return Fail(Tr("It cannot be written: %1.").arg(SystemError(errno)));
    return true;
}

bool FileReplacer::BeginRename()
{
    const uid_t user = ::geteuid();
    if (m_exists && (m_old.st_nlink != 1 || (user != 0 && m_old.st_uid != user) ||
                     ::listxattr(m_path.constData(), nullptr, 0) > 0))
        return false;

    const int fd = CreateExclusive(m_directory, ".tmp", &m_temporary);
    if (fd < 0)
        return false;
    // The new file takes the old one's owner, group and mode before the first byte is written.
    bool same = true;
    if (m_exists) {
        struct stat created;
        same = ::fstat(fd, &created) == 0;
        if (same && (created.st_uid != m_old.st_uid || created.st_gid != m_old.st_gid))
            same =
                ::fchown(fd, user == 0 ? m_old.st_uid : static_cast<uid_t>(-1), m_old.st_gid) == 0;
        // Set after the owner, which clears the setgid bit; checked, since a group the saver
        // is not in silently drops it.
        same = same && ::fchmod(fd, m_old.st_mode & 07777) == 0 && ::fstat(fd, &created) == 0 &&
               created.st_uid == m_old.st_uid && created.st_gid == m_old.st_gid &&
               (created.st_mode & 07777) == (m_old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        same = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    if (!same || !m_output.OpenHandle(fd)) {
        const int error = errno;
        ::close(fd);
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        errno = error;
        return false;
    }
    m_fd = fd;
    m_method = Method::Rename;
    return true;
}

bool FileReplacer::BeginInPlace()
{
    const int fd = ::open(m_path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(Tr("It cannot be written: %1.").arg(SystemError(errno)));
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !SameFile(opened, m_old)) {
        ::close(fd);
        return Fail(Tr("It was replaced by another file while it was being saved."));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    // The old content is kept aside, readable by the saver alone, beside the file or else in
    // the temporary folder.
    int backup = CreateExclusive(m_directory, ".bak", &m_backup);
    if (backup < 0)
        backup = CreateExclusive(QFile::encodeName(QDir::tempPath()), ".bak", &m_backup);
    if (backup < 0 || !CopyContent(fd, backup)) {
        const int error = errno;
        if (backup >= 0) {
            ::close(backup);
            ::unlink(m_backup.constData());
        }
        m_backup.clear();
        ::close(fd);
        return Fail(
            Tr("Its previous content could not be kept aside: %1.").arg(SystemError(error)));
    }
    ::close(backup);
    if (!m_output.OpenHandle(fd)) {
        ::close(fd);
        ::unlink(m_backup.constData());
        m_backup.clear();
        return Fail(Tr("It cannot be written: %1.").arg(m_output.ErrorString()));
    }
    m_fd = fd;
    m_method = Method::InPlace;
    return true;
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
    return Fail(Tr("It cannot be written: %1.").arg(SystemError(EBADF)));
}

bool FileReplacer::CommitRename()
{
    m_method = Method::None;
    const bool written = m_output.Close();
    const QString writeError = m_output.ErrorString();
    const bool synced = written && ::fsync(m_fd) == 0;
    const int syncError = errno;
    const bool closed = ::close(m_fd) == 0;
    const int closeError = errno;
    m_fd = -1;

    QString error;
    if (!written)
        error = Tr("It could not be written: %1.").arg(writeError);
    else if (!synced)
        error = Tr("It could not be written to the disk: %1.").arg(SystemError(syncError));
    else if (!closed)
        error = Tr("It could not be written to the disk: %1.").arg(SystemError(closeError));
    if (error.isEmpty() && m_exists) {
        struct stat now;
        if (::lstat(m_path.constData(), &now) != 0 || !SameFile(now, m_old))
            error = Tr("It was replaced by another file while it was being saved.");
    }
    if (error.isEmpty()) {
        int renamed = -1;
        if (m_exists) {
            renamed = ::rename(m_temporary.constData(), m_path.constData());
        } else {
            // A file that appeared meanwhile is not overwritten.
            renamed = ::renameat2(AT_FDCWD, m_temporary.constData(), AT_FDCWD, m_path.constData(),
                                  RENAME_NOREPLACE);
            if (renamed != 0 && errno == EINVAL)
                renamed = ::rename(m_temporary.constData(), m_path.constData());
        }
        if (renamed != 0)
            error = Tr("It could not be put in place: %1.").arg(SystemError(errno));
    }
    if (!error.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        return Fail(error);
    }
    m_temporary.clear();
    SyncDirectory(m_directory);
    return true;
}

bool FileReplacer::CommitInPlace()
{
    m_method = Method::None;
    QString error;
    if (!m_output.Close()) {
        error = Tr("It could not be written: %1.").arg(m_output.ErrorString());
    } else {
        const off_t length = ::lseek(m_fd, 0, SEEK_CUR);
        if (length < 0 || ::ftruncate(m_fd, length) != 0 || ::fsync(m_fd) != 0)
            error = Tr("It could not be written to the disk: %1.").arg(SystemError(errno));
    }
    if (error.isEmpty()) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            error = Tr("It could not be written to the disk: %1.").arg(SystemError(errno));
    }
    if (error.isEmpty()) {
        ::unlink(m_backup.constData());
        m_backup.clear();
        return true;
    }
    m_previousKept = RestoreInPlace();
    if (!m_previousKept)
        error += QLatin1Char(' ') +
                 Tr("Its previous content is kept in \"%1\".").arg(QFile::decodeName(m_backup));
    return Fail(error);
}

bool FileReplacer::RestoreInPlace()
{
    int fd = m_fd;
    m_fd = -1;
    if (fd < 0)
        fd = ::open(m_path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    const int backup = ::open(m_backup.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool restored = fd >= 0 && backup >= 0 && CopyContent(backup, fd);
    if (backup >= 0)
        ::close(backup);
    if (fd >= 0)
        ::close(fd);
    if (restored) {
        ::unlink(m_backup.constData());
        m_backup.clear();
    }
    return restored;
}

void FileReplacer::Abandon()
{
    switch (m_method) {
    case Method::Rename:
        m_output.Close();
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_temporary.constData());
        m_temporary.clear();
        break;
    case Method::InPlace:
        m_output.Close();
        RestoreInPlace();
        break;
    case Method::None:
        break;
    }
    m_method = Method::None;
}

} // namespace file
