#include "FileCalls.h"

#include "DescriptorWriter.h"
#include "UniqueFd.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace file {

namespace {

const QByteArray kTemporarySuffix(".tmp");
// Symbolic links followed before giving up with ELOOP, as the kernel's own limit.
constexpr int kMaxLinkHops = 40;
// A temporary name is drawn from 36^8 (eight base-36 digits, so it stays short) and drawn
// again while taken, a few times.
constexpr std::uint64_t kTemporaryNameSpace = 2821109907456ull; // 36^8
constexpr int kTemporaryDigits = 8;
constexpr int kTemporaryNameTries = 16;
// Behind the digits, a check of them: the cleaning removes only a file whose name carries it,
// never a file of the user's that merely looks like a leftover.
constexpr int kTemporaryCheckDigits = 8;
constexpr std::size_t kCompareBlock = std::size_t{64} * 1024;

// Reads up to 'size' bytes at 'offset', through interruptions; the count, or -1.
ssize_t ReadAt(int fd, char* buffer, std::size_t size, off_t offset)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

QByteArray TemporaryCheck(const QByteArray& prefix, const QByteArray& digits)
{
    return QCryptographicHash::hash(prefix + digits, QCryptographicHash::Sha256)
        .toHex()
        .left(kTemporaryCheckDigits);
}

// Whether 'name' is one CreateTemporary makes: the prefix, the digits, '-', their check, the
// suffix.
bool IsTemporaryName(const QByteArray& name, const QByteArray& prefix)
{
    const int digitsAt = prefix.size();
    const int checkAt = digitsAt + kTemporaryDigits + 1;
    if (name.size() != checkAt + kTemporaryCheckDigits + kTemporarySuffix.size() ||
        !name.startsWith(prefix) || !name.endsWith(kTemporarySuffix) || name[checkAt - 1] != '-')
        return false;
    return name.mid(checkAt, kTemporaryCheckDigits) ==
           TemporaryCheck(prefix, name.mid(digitsAt, kTemporaryDigits));
}

} // namespace

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

int CreateTemporary(const QByteArray& directory, const QByteArray& prefix, QByteArray* name)
{
    int fd = -1;
    for (int attempt = 0; attempt < kTemporaryNameTries && fd < 0; ++attempt) {
        const QByteArray digits =
            QByteArray::number(QRandomGenerator::global()->generate64() % kTemporaryNameSpace, 36)
                .rightJustified(kTemporaryDigits, '0');
        *name = directory + '/' + prefix + digits + '-' + TemporaryCheck(prefix, digits) +
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

void CleanLeftovers(const QByteArray& directory, const QByteArray& prefix)
{
    DIR* folder = ::opendir(directory.constData());
    if (!folder)
        return;
    const int at = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (!IsTemporaryName(name, prefix))
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

bool RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    return errno == EINVAL && ::rename(from.constData(), to.constData()) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

int SyncDirectory(const QByteArray& directory)
{
    UniqueFd fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return errno;
    if (::fsync(fd.Get()) != 0 && errno != EINVAL) // EINVAL: no syncing of folders there
        return errno;
    return fd.Close() == 0 ? 0 : errno;
}

QByteArray CutAtCharacter(const QByteArray& name, int size)
{
    if (size >= name.size())
        return name;
    while (size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80)
        --size;
    return name.left(size);
}

bool SameContent(int a, int b)
{
    std::vector<char> left(kCompareBlock), right(kCompareBlock);
    for (off_t offset = 0;; offset += static_cast<off_t>(kCompareBlock)) {
        const ssize_t got = ReadAt(a, left.data(), kCompareBlock, offset);
        if (got < 0 || ReadAt(b, right.data(), kCompareBlock, offset) != got ||
            std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) != 0)
            return false;
        if (got < static_cast<ssize_t>(kCompareBlock))
            return true;
    }
}

} // namespace file
