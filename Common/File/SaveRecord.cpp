#include "SaveRecord.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace file {

namespace {

// Hex digits of the hash of the path in a record's name, and of its own random part.
constexpr int kPathKeyDigits = 16;
constexpr int kStemDigits = 12;
// Bytes of the file's name kept at the end of a record's name, so that the whole fits.
constexpr int kRecordNameBytes = 150;
// Parts of a record's name before the file's own: state, file system, inode, birth time, path
// key, a part of its own. Earlier versions wrote four: device, inode, path key, a part of its
// own.
constexpr int kNameFields = 6;
constexpr int kOldNameFields = 4;
// The file a record was made for, where the state folder keeps extended attributes.
const char kOriginAttribute[] = "user.record.of";

// What a record's name says.
struct Entry
{
    // 'k' kept; 's' its file has been saved successfully since; 't' its file is no longer
    // there, and the user has been told.
    char state = 'k';
    bool old = false; // named by an earlier version: only device, inode and path are known
    Identity file;
    QByteArray pathKey;
    QByteArray stem;
    QByteArray name; // the file's name, as the record ends
};

// How sure it is that a record is of a certain file.
enum class Match
{
    None,
    Shared, // it shares the file's place on the disk or its path, but is not proven its own
    Proven
};

// The path with every link and every "." or ".." resolved, where it can be.
QByteArray RealPath(const QByteArray& path)
{
    QByteArray whole = path;
    if (char* real = ::realpath(path.constData(), nullptr)) {
        whole = real;
        std::free(real);
    }
    return whole;
}

QByteArray PathKey(const QByteArray& path)
{
    return KeyOf(RealPath(path), kPathKeyDigits);
}

QByteArray RecordName(char state, const Identity& file, const QByteArray& pathKey,
                      const QByteArray& stem, const QByteArray& name)
{
    return QByteArray(1, state) + '-' + file.fileSystem + '-' + QByteArray::number(file.inode, 16) +
           '-' + (file.born.isEmpty() ? QByteArray("0") : file.born) + '-' + pathKey + '-' + stem +
           '-' + name;
}

bool Parse(const QByteArray& name, const QByteArray& suffix, Entry* entry)
{
    if (!name.endsWith(suffix))
        return false;
    const QList<QByteArray> fields = name.split('-');
    const auto rest = [&name](int fields) {
        int at = 0;
        for (int i = 0; i < fields; ++i)
            at = name.indexOf('-', at) + 1;
        return name.mid(at);
    };
    bool inode = false;
    if (fields.size() > kNameFields && fields[0].size() == 1 &&
        QByteArray("kst").contains(fields[0][0])) {
        entry->state = fields[0][0];
        entry->file.fileSystem = fields[1];
        entry->file.inode = fields[2].toULongLong(&inode, 16);
        entry->file.born = fields[3] == "0" ? QByteArray() : fields[3];
        entry->pathKey = fields[4];
        entry->stem = fields[5];
        entry->name = rest(kNameFields);
        return inode;
    }
    bool device = false;
    if (fields.size() <= kOldNameFields)
        return false;
    entry->old = true;
    entry->file.device = fields[0].toULongLong(&device, 16);
    entry->file.inode = fields[1].toULongLong(&inode, 16);
    entry->pathKey = fields[2];
    entry->name = rest(kOldNameFields);
    return device && inode && entry->pathKey.size() == kPathKeyDigits;
}

Match MatchOf(const Entry& entry, const Identity& file, const QByteArray& pathKey)
{
    const bool samePlace =
        entry.file.inode == file.inode &&
        (entry.old ? entry.file.device == file.device : entry.file.fileSystem == file.fileSystem);
    // Where the file system tells a file from a newer one that took over its inode, the record
    // is proven to be the file's, or not its at all but for its path.
    if (samePlace && !entry.old && !entry.file.born.isEmpty() && !file.born.isEmpty()) {
        if (entry.file.born == file.born)
            return Match::Proven;
        return entry.pathKey == pathKey ? Match::Shared : Match::None;
    }
    return samePlace || entry.pathKey == pathKey ? Match::Shared : Match::None;
}

QDateTime Made(const struct stat& record)
{
    return QDateTime::fromMSecsSinceEpoch(record.st_mtim.tv_sec * 1000 +
                                          record.st_mtim.tv_nsec / 1000000);
}

QByteArray Origin(const QByteArray& record)
{
    char origin[PATH_MAX];
    const ssize_t size = ::getxattr(record.constData(), kOriginAttribute, origin, sizeof origin);
    return size > 0 ? QByteArray(origin, static_cast<int>(size)) : QByteArray();
}

// Whether a live save holds the record locked.
bool Held(const QByteArray& record)
{
    const UniqueFd fd(::open(record.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return fd && ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// A record in the folder: its full name, what its name says and its status.
struct Record
{
    QByteArray name;
    Entry entry;
    struct stat info;
};

// This user's own regular files with one link in the folder, under a name a record has.
QList<Record> RecordsIn(const ProgramNames& names)
{
    const QByteArray folder = QFile::encodeName(SaveRecord::Folder(names));
    const UniqueFd at(
        folder.isEmpty() ? -1 : ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QList<QByteArray> entries;
    QList<Record> records;
    if (!at || EntriesOf(at.Get(), &entries) != 0)
        return records;
    for (const QByteArray& name : entries) {
        Record record{folder + '/' + name, {}, {}};
        if (Parse(name, names.recordSuffix, &record.entry) &&
            ::fstatat(at.Get(), name.constData(), &record.info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(record.info.st_mode) && record.info.st_uid == ::geteuid() &&
            record.info.st_nlink == 1)
            records.append(record);
    }
    return records;
}

// Whether the file 'path' on the file system 'fileSystem' is no longer there: its name is
// free, and the nearest folder above it that is there lies on that very file system, so that
// a medium that was taken out, or a file system not mounted now, does not count.
bool IsGone(const QByteArray& path, const QByteArray& fileSystem)
{
    QByteArray resolved;
    struct stat info;
    if (Resolve(path, &resolved, &info) != ENOENT)
        return false;
    for (QByteArray folder = DirectoryOf(resolved);; folder = DirectoryOf(folder)) {
        Identity above;
        const int error = Identify(-1, folder + "/.", &above);
        if (error == 0)
            return above.fileSystem == fileSystem;
        if (error != ENOENT || folder == "/" || folder == ".")
            return false;
    }
}

// A record whose file is no longer there is named to the user (and marked so) the first time it
// is seen, and removed the next time, when it is still gone.
void Forget(const QByteArray& record, const Entry& entry, const struct stat& info,
            QList<SaveRecord::Gone>* gone)
{
    const QByteArray origin = Origin(record);
    if (entry.old || origin.isEmpty() || !IsGone(origin, entry.file.fileSystem) || Held(record))
        return;
    if (entry.state == 't') {
        ::unlink(record.constData());
        return;
    }
    const QByteArray told = DirectoryOf(record) + '/' +
                            RecordName('t', entry.file, entry.pathKey, entry.stem, entry.name);
    if (RenameNoReplace(record, told) == 0)
        gone->append({QFile::decodeName(origin), QFile::decodeName(told), Made(info)});
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

SaveRecord::SaveRecord(const ProgramNames& names) : m_names(names) {}

SaveRecord::~SaveRecord()
{
    if (!m_published)
        Drop();
}

QString SaveRecord::Folder(const ProgramNames& names)
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        base = qgetenv("HOME");
        if (base.isEmpty())
            if (const passwd* user = ::getpwuid(::geteuid()))
                base = user->pw_dir;
        // A relative one would put records wherever the program happens to run.
        if (!base.startsWith('/'))
            return {};
        base += "/.local/state";
    }
    return QFile::decodeName(base) + QLatin1Char('/') + names.stateFolder;
}

QString SaveRecord::Path() const
{
    return QFile::decodeName(m_name);
}

bool SaveRecord::Fail(const QString& sentence)
{
    Q_ASSERT(m_error.isEmpty());
    m_error = sentence;
    return false;
}

QString SaveRecord::KeptAside(int error) const
{
    return tr("Its new content could not be kept aside in \"%1\": %2.")
        .arg(m_folder, SystemError(error));
}

bool SaveRecord::Start(const Identity& file, const QByteArray& path)
{
    m_folder = Folder(m_names);
    if (m_folder.isEmpty())
        return Fail(tr("Its new content could not be kept aside: there is no state folder, as "
                       "HOME (\"%1\") is not an absolute path.")
                        .arg(QFile::decodeName(qgetenv("HOME"))));
    const QByteArray folder = QFile::encodeName(m_folder);
    if (const int error = MakeFolder(folder))
        return Fail(KeptAside(error));
    QList<QByteArray> entries;
    if (const int error =
            CreateTemporary(folder, m_names.temporaryPrefix, &m_fd, &m_temporary, &entries))
        return Fail(KeptAside(error));
    Entry entry;
    const auto records = std::count_if(entries.begin(), entries.end(), [&](const QByteArray& n) {
        return Parse(n, m_names.recordSuffix, &entry);
    });
    if (records >= kMaxRecords) {
        Drop();
        return Fail(tr("Its new content could not be kept aside in \"%1\": it holds %2 records of "
                       "interrupted saves already. Open their files to keep or discard them.")
                        .arg(m_folder)
                        .arg(records));
    }
    m_output.Attach(m_fd.Get());
    m_file = RealPath(path);
    QByteArray name = CutAtCharacter(NameOf(path), kRecordNameBytes);
    if (!name.endsWith(m_names.recordSuffix))
        name += m_names.recordSuffix; // opened as the program's own, whatever the file's name
    const QByteArray stem =
        QByteArray::number(QRandomGenerator::global()->generate64() >> (64 - 4 * kStemDigits), 16)
            .rightJustified(kStemDigits, '0');
    m_name = folder + '/' + RecordName('k', file, KeyOf(m_file, kPathKeyDigits), stem, name);
    return true;
}

bool SaveRecord::Publish()
{
    int error = m_output.Flush() ? 0 : m_output.Error();
    if (error == 0) {
        // Where the folder keeps them, the path goes along, synced with the content.
        ::fsetxattr(m_fd.Get(), kOriginAttribute, m_file.constData(),
                    static_cast<size_t>(m_file.size()), 0);
        if (::fsync(m_fd.Get()) != 0)
            error = errno;
    }
    if (error == 0 && (error = RenameNoReplace(m_temporary, m_name)) == 0) {
        m_temporary.clear();
        if ((error = SyncDirectory(DirectoryOf(m_name))) != 0)
            ::unlink(m_name.constData());
    }
    if (error != 0) {
        Drop();
        return Fail(KeptAside(error));
    }
    m_published = true;
    return true;
}

bool SaveRecord::Remove()
{
    if (!m_published)
        return true;
    m_published = false;
    if (::unlink(m_name.constData()) != 0 && errno != ENOENT) {
        const int error = errno;
        return Fail(tr("A record of its new content could not be removed from \"%1\": %2.")
                        .arg(Path(), SystemError(error)));
    }
    SyncDirectory(DirectoryOf(m_name)); // one that comes back holds what the file holds
    return true;
}

void SaveRecord::Drop()
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

void SaveRecord::Prune(int fd, const Identity& file, const QByteArray& path,
                       const ProgramNames& names)
{
    const QList<Record> records = RecordsIn(names);
    if (records.isEmpty())
        return;
    const QByteArray key = PathKey(path);
    for (const Record& record : records) {
        if (MatchOf(record.entry, file, key) == Match::None)
            continue;
        const UniqueFd held(::open(record.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        bool same = false;
        if (held && ::flock(held.Get(), LOCK_SH | LOCK_NB) == 0 &&
            SameContent(fd, held.Get(), &same) == 0 && same)
            ::unlink(record.name.constData());
    }
}

void SaveRecord::Supersede(const Identity* before, int fd, const QByteArray& path,
                           const ProgramNames& names)
{
    const QList<Record> records = RecordsIn(names);
    Identity after;
    if (records.isEmpty() || Identify(fd, {}, &after) != 0)
        return;
    const QByteArray key = PathKey(path);
    for (const Record& record : records) {
        const Entry& entry = record.entry;
        const Match match = before ? MatchOf(entry, *before, key)
                                   : (entry.pathKey == key ? Match::Shared : Match::None);
        if (match == Match::None || entry.old)
            continue;
        const bool proven = match == Match::Proven;
        const QByteArray saved = DirectoryOf(record.name) + '/' +
                                 RecordName('s', proven ? after : entry.file,
                                            proven ? key : entry.pathKey, entry.stem, entry.name);
        if (saved != record.name)
            RenameNoReplace(record.name, saved);
    }
}

SaveRecord::Found SaveRecord::Find(const QString& fileName, const ProgramNames& names)
{
    Found found;
    QByteArray path;
    struct stat info;
    if (fileName.isEmpty() || Resolve(QFile::encodeName(fileName), &path, &info) != 0 ||
        !S_ISREG(info.st_mode))
        return found;
    const UniqueFd file(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    Identity identity;
    if (Identify(file.Get(), path, &identity) != 0)
        return found;
    found.locked = file && ::flock(file.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (file)
        Prune(file.Get(), identity, path, names);
    const QByteArray key = PathKey(path);
    for (const Record& record : RecordsIn(names)) {
        const QByteArray& name = record.name;
        const Entry& entry = record.entry;
        const Match match = MatchOf(entry, identity, key);
        if (match == Match::None) {
            Forget(name, entry, record.info, &found.gone);
            continue;
        }
        // A live save holds its record from its first byte until the file holds it.
        if (Held(name)) {
            found.saving = true;
            continue;
        }
        const bool proven = match == Match::Proven;
        const QDateTime made = Made(record.info);
        if (!found.record.isEmpty() &&
            (found.proven > proven || (found.proven == proven && made <= found.made)))
            continue;
        const QByteArray origin = Origin(name);
        found.record = QFile::decodeName(name);
        found.made = made;
        found.proven = proven;
        found.savedSince = entry.state == 's';
        found.of = QFile::decodeName(origin.isEmpty() ? entry.name : origin);
    }
    if (found.saving) {
        const QList<Gone> gone = found.gone;
        found = Found();
        found.saving = true;
        found.gone = gone;
    }
    return found;
}

Outcome SaveRecord::Discard(const QString& record, const ProgramNames& names)
{
    const QByteArray name = QFile::encodeName(record);
    const QByteArray folder = QFile::encodeName(Folder(names));
    Entry entry;
    struct stat info;
    int failure = 0;
    if (folder.isEmpty() || DirectoryOf(name) != folder ||
        !Parse(NameOf(name), names.recordSuffix, &entry) || ::lstat(name.constData(), &info) != 0)
        failure = ENOENT;
    else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        failure = EPERM;
    else if (::unlink(name.constData()) != 0)
        failure = errno;
    if (failure != 0)
        return Outcome::Failed(
            Outcome::NotRemoved,
            tr("\"%1\" could not be removed: %2.").arg(record, SystemError(failure)));
    SyncDirectory(folder);
    return {};
}

} // namespace file
