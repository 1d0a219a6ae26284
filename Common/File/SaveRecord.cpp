#include "SaveRecord.h"

#include "FileCalls.h"
#include "UniqueFd.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

namespace file {

namespace {

// Hex digits of the hash of the path in a record's name.
constexpr int kPathKeyDigits = 16;
// Bytes of the file's name kept at the end of a record's name, so that the whole fits.
constexpr int kRecordNameBytes = 160;
// Parts of a record's name before the file's own: device, inode, path key, a part of its own.
constexpr int kNameFields = 4;

QByteArray PathKey(const QByteArray& path)
{
    QByteArray whole = path;
    if (char* real = ::realpath(path.constData(), nullptr)) {
        whole = real;
        std::free(real);
    }
    return QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex().left(kPathKeyDigits);
}

QByteArray Identity(const struct stat& info)
{
    return QByteArray::number(static_cast<qulonglong>(info.st_dev), 16) + '-' +
           QByteArray::number(static_cast<qulonglong>(info.st_ino), 16);
}

// When the file came to be, where the file system tells; an invalid time elsewhere.
QDateTime Birth(const QByteArray& path)
{
    struct statx info = {};
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_BTIME, &info) != 0 ||
        !(info.stx_mask & STATX_BTIME))
        return {};
    return QDateTime::fromMSecsSinceEpoch(info.stx_btime.tv_sec * 1000 +
                                          info.stx_btime.tv_nsec / 1000000);
}

QDateTime Modified(const struct stat& info)
{
    return QDateTime::fromMSecsSinceEpoch(info.st_mtim.tv_sec * 1000 +
                                          info.st_mtim.tv_nsec / 1000000);
}

// Calls 'each' with the full name and the status of every record in the folder that belongs
// to the file 'info' at 'path': this user's own regular files, named by the file's identity or
// by its path. A record named by an identity that a newer file took over is not the file's.
void ForEachRecord(const struct stat& info, const QByteArray& path, const ProgramNames& names,
                   const std::function<void(const QByteArray&, const struct stat&)>& each)
{
    const QByteArray folder = QFile::encodeName(SaveRecord::Folder(names));
    DIR* entries = ::opendir(folder.constData());
    if (!entries)
        return;
    // Worked out at the first record: most saves find none.
    QList<QByteArray> identity;
    QByteArray key;
    QDateTime born;
    const int at = ::dirfd(entries);
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!name.endsWith(names.recordSuffix))
            continue;
        const QList<QByteArray> fields = name.split('-');
        struct stat record;
        if (fields.size() <= kNameFields ||
            ::fstatat(at, entry->d_name, &record, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(record.st_mode) || record.st_uid != ::geteuid() || record.st_nlink != 1)
            continue;
        if (key.isEmpty()) {
            identity = Identity(info).split('-');
            key = PathKey(path);
            born = Birth(path);
        }
        const bool sameIdentity = fields[0] == identity[0] && fields[1] == identity[1] &&
                                  !(born.isValid() && born > Modified(record));
        if (sameIdentity || fields[2] == key)
            each(folder + '/' + name, record);
    }
    ::closedir(entries);
}

// Makes 'folder' and its missing parents for this user alone, each synced into its parent so
// that a record in it survives a power cut.
int MakeFolder(const QByteArray& folder)
{
    struct stat info;
    if (::stat(folder.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    const QByteArray parent = DirectoryOf(folder);
    if (parent != folder)
        if (const int error = MakeFolder(parent))
            return error;
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    return SyncDirectory(parent);
}

} // namespace

SaveRecord::~SaveRecord()
{
    if (!m_published)
        Drop();
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SaveRecord::Folder(const ProgramNames& names)
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        base = qgetenv("HOME");
        if (base.isEmpty())
            if (const passwd* user = ::getpwuid(::geteuid()))
                base = user->pw_dir;
        base += "/.local/state";
    }
    return QFile::decodeName(base) + QLatin1Char('/') + names.stateFolder;
}

QString SaveRecord::Path() const
{
    return QFile::decodeName(m_name);
}

int SaveRecord::Start(const struct stat& info, const QByteArray& path)
{
    const QByteArray folder = QFile::encodeName(Folder(m_names));
    int error = MakeFolder(folder);
    if (error == 0) {
        CleanLeftovers(folder, m_names.temporaryPrefix);
        m_fd = CreateTemporary(folder, m_names.temporaryPrefix, &m_temporary);
        error = m_fd < 0 ? errno : 0;
    }
    if (error != 0) {
        m_error = tr("Its new content could not be kept aside in \"%1\": %2.")
                      .arg(Folder(m_names), SystemError(error));
        return -1;
    }
    m_name = folder + '/' + Identity(info) + '-' + PathKey(path) + '-' +
             QByteArray::number(QRandomGenerator::global()->generate64(), 16) + '-' +
             CutAtCharacter(NameOf(path), kRecordNameBytes);
    if (!m_name.endsWith(m_names.recordSuffix))
        m_name += m_names.recordSuffix; // opened as the program's own, whatever its name
    return m_fd;
}

bool SaveRecord::Publish()
{
    const QByteArray folder = DirectoryOf(m_name);
    if (::fsync(m_fd) != 0) {
        m_error = tr("It could not be written to the disk: %1.").arg(SystemError(errno));
        Drop();
        return false;
    }
    int error = 0;
    if (!RenameNoReplace(m_temporary, m_name))
        error = errno;
    else if ((error = SyncDirectory(folder)) != 0)
        ::unlink(m_name.constData());
    else
        m_published = true;
    if (error == 0)
        return true;
    m_error = tr("Its new content could not be kept aside in \"%1\": %2.")
                  .arg(QFile::decodeName(folder), SystemError(error));
    Drop();
    return false;
}

QString SaveRecord::Remove()
{
    if (!m_published)
        return {};
    m_published = false;
    m_temporary.clear();
    if (::unlink(m_name.constData()) != 0 && errno != ENOENT)
        return tr("A record of its new content could not be removed from \"%1\": %2.")
            .arg(Path(), SystemError(errno));
    SyncDirectory(DirectoryOf(m_name)); // one that comes back holds what the file holds
    return {};
}

void SaveRecord::Drop()
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

void SaveRecord::Prune(int fd, const struct stat& info, const QByteArray& path,
                       const ProgramNames& names)
{
    ForEachRecord(info, path, names, [fd](const QByteArray& name, const struct stat&) {
        UniqueFd record(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (record && SameContent(fd, record.Get()))
            ::unlink(name.constData());
    });
}

SaveRecord::Found SaveRecord::Find(const QString& fileName, const ProgramNames& names)
{
    QByteArray path;
    struct stat info;
    if (fileName.isEmpty() || Resolve(QFile::encodeName(fileName), &path, &info) != 0 ||
        !S_ISREG(info.st_mode))
        return {};
    Found found;
    UniqueFd file(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    // A save holds the lock from before it touches the file until the file holds the record.
    found.saving = file && ::flock(file.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (file && !found.saving)
        Prune(file.Get(), info, path, names);
    ForEachRecord(info, path, names, [&found](const QByteArray& name, const struct stat& record) {
        const QDateTime made = Modified(record);
        if (found.record.isEmpty() || made > found.made) {
            found.record = QFile::decodeName(name);
            found.made = made;
        }
    });
    if (found.record.isEmpty())
        found.saving = false;
    return found;
}

bool SaveRecord::Discard(const QString& record, const ProgramNames& names, QString* error)
{
    const QByteArray name = QFile::encodeName(record);
    const QByteArray folder = QFile::encodeName(Folder(names));
    struct stat info;
    int failure = 0;
    if (DirectoryOf(name) != folder || ::lstat(name.constData(), &info) != 0)
        failure = ENOENT;
    else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        failure = EPERM;
    else if (::unlink(name.constData()) != 0)
        failure = errno;
    if (failure == 0) {
        SyncDirectory(folder);
        return true;
    }
    if (error)
        *error = tr("\"%1\" could not be removed: %2.").arg(record, SystemError(failure));
    return false;
}

} // namespace file
