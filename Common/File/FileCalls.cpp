#include "FileCalls.h"

#include "DescriptorWriter.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
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
// Behind the digits, a check of them and of the folder: the cleaning removes only a file whose
// name carries it, never a file of the user's that merely looks like a leftover, nor a copy of
// a leftover that came from another folder.
constexpr int kTemporaryCheckDigits = 8;
// Hex digits of each part of an identity.
constexpr int kIdentityDigits = 12;
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

// What ties a temporary name to the folder it was made in.
QByteArray FolderKey(int folder)
{
    Identity identity;
    if (Identify(folder, {}, &identity) != 0)
        return {};
    return identity.fileSystem + QByteArray::number(identity.inode, 16) + identity.born;
}

QByteArray TemporaryCheck(const QByteArray& prefix, const QByteArray& digits,
                          const QByteArray& folder)
{
    return KeyOf(prefix + digits + '/' + folder, kTemporaryCheckDigits);
}

// Whether 'name' is one CreateTemporary makes in the folder 'folder' (FolderKey): the prefix,
// the digits, '-', their check, the suffix.
bool IsTemporaryName(const QByteArray& name, const QByteArray& prefix, const QByteArray& folder)
{
    const int digitsAt = prefix.size();
    const int checkAt = digitsAt + kTemporaryDigits + 1;
    if (folder.isEmpty() ||
        name.size() != checkAt + kTemporaryCheckDigits + kTemporarySuffix.size() ||
        !name.startsWith(prefix) || !name.endsWith(kTemporarySuffix) || name[checkAt - 1] != '-')
        return false;
    return name.mid(checkAt, kTemporaryCheckDigits) ==
           TemporaryCheck(prefix, name.mid(digitsAt, kTemporaryDigits), folder);
}

// Removes the temporary files of saves that died from the open folder 'at' (FolderKey 'key'):
// those of this user, under a name CreateTemporary made in this folder, that no live save holds
// locked. What else is there stays in 'names'.
void CleanLeftovers(int at, const QByteArray& prefix, const QByteArray& key,
                    QList<QByteArray>* names)
{
    for (auto name = names->begin(); name != names->end();) {
        if (!IsTemporaryName(*name, prefix, key)) {
            ++name;
            continue;
        }
        // Only to see that no live save holds it: a file its owner may write but not read is
        // opened for writing, which changes nothing.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        UniqueFd fd(::openat(at, name->constData(), O_RDONLY | flags));
        if (!fd && errno == EACCES)
            fd.Reset(::openat(at, name->constData(), O_WRONLY | flags));
        struct stat opened, named;
        if (fd && ::fstat(fd.Get(), &opened) == 0 && S_ISREG(opened.st_mode) &&
            opened.st_uid == ::geteuid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(at, name->constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev &&
            ::unlinkat(at, name->constData(), 0) == 0)
            name = names->erase(name);
        else
            ++name;
    }
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

QByteArray KeyOf(const QByteArray& text, int digits)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().left(digits);
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

int Identify(int fd, const QByteArray& path, Identity* identity)
{
    struct statx info = {};
    struct statfs system = {};
    const bool open = fd >= 0;
    if (::statx(open ? fd : AT_FDCWD, open ? "" : path.constData(),
                (open ? AT_EMPTY_PATH : 0) | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &info) != 0 ||
        (open ? ::fstatfs(fd, &system) : ::statfs(path.constData(), &system)) != 0)
        return errno;
    int fsid[2];
    static_assert(sizeof fsid == sizeof system.f_fsid, "two numbers");
    std::memcpy(fsid, &system.f_fsid, sizeof fsid);
    identity->device = makedev(info.stx_dev_major, info.stx_dev_minor);
    // A file system that offers no identity of its own is known by its device.
    identity->fileSystem =
        KeyOf(fsid[0] != 0 || fsid[1] != 0 ? "fsid " + QByteArray::number(fsid[0], 16) + ' ' +
                                                 QByteArray::number(fsid[1], 16)
                                           : "device " + QByteArray::number(identity->device, 16),
              kIdentityDigits);
    identity->inode = info.stx_ino;
    identity->born.clear();
    if ((info.stx_mask & STATX_BTIME) != 0) {
        identity->born = KeyOf("born " + QByteArray::number(info.stx_btime.tv_sec) + '.' +
                                   QByteArray::number(info.stx_btime.tv_nsec),
                               kIdentityDigits);
    } else if (S_ISREG(info.stx_mode)) {
        const UniqueFd opened(
            open ? -1 : ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        int generation = 0;
        if (::ioctl(open ? fd : opened.Get(), FS_IOC_GETVERSION, &generation) == 0)
            identity->born = KeyOf("generation " + QByteArray::number(generation), kIdentityDigits);
    }
    return 0;
}

int EntriesOf(int folder, QList<QByteArray>* names)
{
    names->clear();
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = ::getdents64(folder, buffer, sizeof buffer);
        if (got <= 0)
            return got == 0 ? 0 : errno;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names->append(name);
            at += entry->d_reclen;
        }
    }
}

int CreateTemporary(const QByteArray& directory, const QByteArray& prefix, UniqueFd* fd,
                    QByteArray* name, QList<QByteArray>* entries)
{
    // A folder that cannot be read can still be written to.
    UniqueFd folder(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QList<QByteArray> names;
    const bool read = folder && EntriesOf(folder.Get(), &names) == 0;
    if (!folder)
        folder.Reset(::open(directory.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return errno;
    const QByteArray key = FolderKey(folder.Get());
    if (key.isEmpty())
        return errno;
    if (read)
        CleanLeftovers(folder.Get(), prefix, key, &names);
    if (entries)
        *entries = names;
    int error = EEXIST;
    for (int attempt = 0; attempt < kTemporaryNameTries && error == EEXIST; ++attempt) {
        const QByteArray digits =
            QByteArray::number(QRandomGenerator::global()->generate64() % kTemporaryNameSpace, 36)
                .rightJustified(kTemporaryDigits, '0');
        const QByteArray base =
            prefix + digits + '-' + TemporaryCheck(prefix, digits, key) + kTemporarySuffix;
        fd->Reset(::openat(folder.Get(), base.constData(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        error = *fd ? 0 : errno;
        *name = directory + '/' + base;
    }
    if (error != 0) {
        name->clear();
        return error;
    }
    ::flock(fd->Get(), LOCK_EX | LOCK_NB);
    return 0;
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
    return ::fsync(to) == 0 ? 0 : errno;
}

int RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool Unchanged(const struct stat& was, const struct stat& now)
{
    return SameFile(was, now) && was.st_size == now.st_size &&
           was.st_mtim.tv_sec == now.st_mtim.tv_sec && was.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
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

int SameContent(int a, int b, bool* same)
{
    std::vector<char> left(kCompareBlock), right(kCompareBlock);
    *same = false;
    for (off_t offset = 0;; offset += static_cast<off_t>(kCompareBlock)) {
        const ssize_t got = ReadAt(a, left.data(), kCompareBlock, offset);
        if (got < 0)
            return errno;
        const ssize_t other = ReadAt(b, right.data(), kCompareBlock, offset);
        if (other < 0)
            return errno;
        if (other != got ||
            std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) != 0)
            return 0;
        if (got < static_cast<ssize_t>(kCompareBlock)) {
            *same = true;
            return 0;
        }
    }
}

} // namespace file
