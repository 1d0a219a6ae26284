#include "Common/File/FileReplacer.h"
#include "Common/File/FileCalls.h"
#include "Common/File/SaveRecord.h"
#include "support/FileNames.h"
#include "support/Files.h"

#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

using file::FileReplacer;
using file::SaveRecord;

namespace {

// Called instead of syncing while set: the moment the whole new content has been written.
std::function<int(int fd)> g_syncHook;
// While set, closing this descriptor reports this error after closing it, as a file system
// that finds a write error late does.
int g_failingClose = -1;
int g_closeError = EIO;
// While set, the next rename, or the next write, fails with this error.
int g_renameError = 0;
int g_writeError = 0;

} // namespace

extern "C" int rename(const char* from, const char* to)
{
    if (g_renameError != 0) {
        errno = std::exchange(g_renameError, 0);
        return -1;
    }
    return static_cast<int>(::syscall(SYS_rename, from, to));
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset)
{
    if (g_writeError != 0) {
        errno = std::exchange(g_writeError, 0);
        return -1;
    }
    return ::syscall(SYS_pwrite64, fd, data, size, offset);
}

// While set, the next read at an offset fails with this error.
int g_readError = 0;

extern "C" ssize_t pread(int fd, void* data, size_t size, off_t offset)
{
    if (g_readError != 0) {
        errno = std::exchange(g_readError, 0);
        return -1;
    }
    return ::syscall(SYS_pread64, fd, data, size, offset);
}

// While set, the next F_GETFL fails with this error.
int g_getFlagsError = 0;

extern "C" int fcntl(int fd, int cmd, ...)
{
    va_list rest;
    va_start(rest, cmd);
    const long argument = va_arg(rest, long);
    va_end(rest);
    if (cmd == F_GETFL && g_getFlagsError != 0) {
        errno = std::exchange(g_getFlagsError, 0);
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fcntl, fd, cmd, argument));
}

// While set, no file has a birth time, as on a file system that keeps none.
bool g_noBirthTimes = false;

extern "C" int statx(int folder, const char* path, int flags, unsigned int mask, struct statx* info)
{
    const int result = static_cast<int>(::syscall(SYS_statx, folder, path, flags, mask, info));
    if (result == 0 && g_noBirthTimes)
        info->stx_mask &= ~STATX_BTIME;
    return result;
}

// Nor a generation number.
extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    if (request == FS_IOC_GETVERSION && g_noBirthTimes) {
        errno = ENOTTY;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_ioctl, fd, request, argument));
}

// The replacer's calls to fsync come here, so that a test can fail them or look around at the
// moment they happen.
extern "C" int fsync(int fd)
{
    if (g_syncHook)
        return g_syncHook(fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int close(int fd)
{
    const int result = static_cast<int>(::syscall(SYS_close, fd));
    if (fd == g_failingClose && result == 0) {
        g_failingClose = -1;
        errno = g_closeError;
        return -1;
    }
    return result;
}

namespace {

const file::ProgramNames& kNames = support::kFileNames;

// The old content is the longer, so that an old tail left behind shows.
const QByteArray kOld("<doc><list><name>previous, and somewhat longer</name></list></doc>\n");
const QByteArray kNew("<doc><list><name>new content</name></list></doc>\n");

using support::ReadAll;

void WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(bytes);
}

struct stat Stat(const QString& name)
{
    struct stat info = {};
    EXPECT_EQ(::lstat(QFile::encodeName(name).constData(), &info), 0) << name.toStdString();
    return info;
}

class FileReplacerTest : public ::testing::Test
{
protected:
    // Copies of files written in place go to a state folder of the test's own, and none stays.
    FileReplacerTest() { qputenv("XDG_STATE_HOME", QFile::encodeName(state.path())); }
    ~FileReplacerTest() override
    {
        g_syncHook = nullptr;
        qunsetenv("XDG_STATE_HOME");
        EXPECT_TRUE(QDir(state.path() + QStringLiteral("/vellorin"))
                        .entryList(QDir::Files | QDir::Hidden)
                        .isEmpty());
    }

    QString Path(const char* name) const { return dir.Path(QString::fromUtf8(name)); }
    QString WriteOld(const char* name, mode_t mode = 0644) const
    {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kOld);
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }
    // Replaces 'target' by kNew; false with the replacer's error when it fails.
    static bool Replace(const QString& target, QString* error = nullptr,
                        bool* previousKept = nullptr,
                        const std::function<void()>& afterBegin = nullptr)
    {
        FileReplacer replacer(target, kNames);
        file::Outcome saved = replacer.Begin();
        if (saved.Ok() && afterBegin)
            afterBegin();
        // Commits whatever the write says, as the XML writer's user does.
        const bool written =
            saved.Ok() && replacer.Output()->Write(
                              kNew.constData(), static_cast<unsigned>(kNew.size())) == kNew.size();
        if (saved.Ok())
            saved = replacer.Commit();
        if (error)
            *error = saved.sentence;
        if (previousKept)
            *previousKept = saved.previousKept;
        return saved.Ok() && written;
    }
    QStringList Entries() const { return dir.Entries(); }
    // A record of 'content' as a save of the file 'identity' at 'path', interrupted once the
    // record was complete, leaves it.
    static QString Keep(const file::Identity& identity, const QString& path,
                        const QByteArray& content)
    {
        SaveRecord record(kNames);
        EXPECT_TRUE(record.Start(identity, QFile::encodeName(path)));
        record.Output()->Write(content.constData(), static_cast<unsigned>(content.size()));
        EXPECT_TRUE(record.Publish());
        return record.Path();
    }
    static file::Identity IdentityOf(const QString& path)
    {
        file::Identity identity;
        EXPECT_EQ(file::Identify(-1, QFile::encodeName(path), &identity), 0);
        return identity;
    }
    static void ClearRecords()
    {
        const QDir folder(SaveRecord::Folder(kNames));
        for (const QString& name : folder.entryList(QDir::Files))
            QFile::remove(folder.filePath(name));
    }
    support::TempFolder dir;
    QTemporaryDir state;
};

TEST_F(FileReplacerTest, RefusesEverythingButRegularFilesAndLeavesThemAsTheyAre)
{
    const QString fifo = Path("fifo.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString loop = Path("loop.xml");
    ASSERT_TRUE(QFile::link(Path("loop2.xml"), loop));
    ASSERT_TRUE(QFile::link(loop, Path("loop2.xml")));
    const QString socketName = Path("socket.xml");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(socketName);
    ASSERT_LT(static_cast<std::size_t>(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(),
                static_cast<std::size_t>(socketPath.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QString folder = Path("folder.xml");
    ASSERT_TRUE(QDir().mkdir(folder));
    // A device node of its own (the machine's devices are never a target here), where the
    // test may make one.
    const QString device = Path("device.xml");
    const bool haveDevice =
        ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;

    const struct
    {
        QString name;
        mode_t type;
        const char* error;
        bool kept; // a file was seen there and left as it was
    } cases[] = {
        {fifo, S_IFIFO, "It is not a regular file.", true},
        {Path("socket.xml"), S_IFSOCK, "It is not a regular file.", true},
        {folder, S_IFDIR, "It is not a regular file.", true},
        {haveDevice ? device : fifo, static_cast<mode_t>(haveDevice ? S_IFCHR : S_IFIFO),
         "It is not a regular file.", true},
        {loop, S_IFLNK, "It cannot be written: Too many levels of symbolic links.", false},
    };
    for (const auto& c : cases) {
        const struct stat before = Stat(c.name);
        QString error;
        bool kept = !c.kept;
        EXPECT_FALSE(Replace(c.name, &error, &kept)) << c.name.toStdString();
        EXPECT_EQ(error, QLatin1String(c.error));
        EXPECT_EQ(kept, c.kept) << c.name.toStdString();
        const struct stat after = Stat(c.name);
        EXPECT_EQ(after.st_mode & S_IFMT, c.type) << c.name.toStdString();
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
    ::close(sock);
    EXPECT_EQ(Entries().size(), haveDevice ? 6 : 5) << "no temporary file left";
}

// The new content is never readable by anyone the file's mode keeps out: whatever exists in
// the folder when the content is complete is no more readable than the target.
TEST_F(FileReplacerTest, NewContentIsNeverMoreReadableThanTheTarget)
{
    // A hard-linked file is written in place, with a copy of its old content beside it.
    const std::pair<mode_t, bool> cases[] = {
        {0600, false}, {0640, false}, {0400, false}, {0640, true}};
    for (const auto& [mode, linked] : cases) {
        if ((mode & 0200) == 0 && ::geteuid() != 0)
            continue; // only root may write a read-only file
        const QString target = WriteOld("private.xml", mode);
        const QString link = Path("link.xml");
        if (linked) {
            ASSERT_EQ(
                ::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
                0);
        }
        int checked = 0;
        g_syncHook = [&](int fd) {
            for (const QString& name : Entries()) {
                const struct stat info = Stat(Path(name.toUtf8().constData()));
                EXPECT_EQ(info.st_mode & 0777 & ~mode, 0u) << name.toStdString();
                ++checked;
            }
            return static_cast<int>(::syscall(SYS_fsync, fd));
        };
        EXPECT_TRUE(Replace(target));
        g_syncHook = nullptr;
        EXPECT_GE(checked, 2) << "the new file is there beside the target";
        EXPECT_EQ(ReadAll(target), kNew);
        EXPECT_EQ(Stat(target).st_mode & 07777, mode);
        QFile::remove(target);
        QFile::remove(link);
    }
}

TEST_F(FileReplacerTest, HardLinksAndReadOnlyBitsKeepTheFile)
{
    const QString target = WriteOld("linked.xml");
    const QString other = Path("other-link.xml");
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()),
              0);
    const ino_t inode = Stat(target).st_ino;
    ASSERT_TRUE(Replace(target));
    EXPECT_EQ(ReadAll(other), kNew) << "every link shows the new content";
    EXPECT_EQ(Stat(target).st_ino, inode);
    EXPECT_EQ(Stat(target).st_nlink, 2u);

    // Only root may write a read-only file; it stays read-only.
    const QString readOnly = WriteOld("read-only.xml", 0444);
    QString error;
    bool kept = false;
    const bool saved = Replace(readOnly, &error, &kept);
    if (::geteuid() == 0) {
        EXPECT_TRUE(saved) << error.toStdString();
        EXPECT_EQ(ReadAll(readOnly), kNew);
    } else {
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, QStringLiteral("It cannot be written: Permission denied."));
        EXPECT_TRUE(kept);
        EXPECT_EQ(ReadAll(readOnly), kOld);
    }
    EXPECT_EQ(Stat(readOnly).st_mode & 07777, 0444u);
    EXPECT_EQ(Entries(), (QStringList{"linked.xml", "other-link.xml", "read-only.xml"}));
}

// Another owner and a shared group with its setgid bit: only root can give a new file all of
// that, and anyone else writes in place.
TEST_F(FileReplacerTest, OwnerGroupAndSetgidBitStay)
{
    const QString target = WriteOld("shared.xml", 0664);
    const QByteArray path = QFile::encodeName(target);
    if (::chown(path.constData(), 4242, 4343) != 0)
        GTEST_SKIP() << "needs the right to give a file to another user (root outside a user "
                        "namespace): "
                     << std::strerror(errno);
    ASSERT_EQ(::chmod(path.constData(), 02664), 0);
    ASSERT_TRUE(Replace(target));
    const struct stat after = Stat(target);
    EXPECT_EQ(after.st_uid, 4242u);
    EXPECT_EQ(after.st_gid, 4343u);
    EXPECT_EQ(after.st_mode & 07777, 02664u);
    EXPECT_EQ(ReadAll(target), kNew);
}

// Where the saver may write the file but not replace it (a folder they cannot write, another
// user's file in a sticky folder), the file is written in place; the saver works without
// privileges, as root without them is bound by file modes too.
TEST_F(FileReplacerTest, FileThatCannotBeReplacedIsWrittenInPlace)
{
    const QString locked = Path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    const QString inLocked = locked + QStringLiteral("/list.xml");
    {
        QFile file(inLocked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kOld);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    EXPECT_EQ(support::RunUnprivileged([&] { return Replace(inLocked) ? 0 : 1; }), 0);
    EXPECT_EQ(ReadAll(inLocked), kNew);
    EXPECT_EQ(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"list.xml"});
    ::chmod(QFile::encodeName(locked).constData(), 0755);

    const QString sticky = Path("sticky");
    ASSERT_TRUE(QDir().mkdir(sticky));
    const QByteArray stickyPath = QFile::encodeName(sticky);
    const QString shared = sticky + QStringLiteral("/shared.xml");
    {
        QFile file(shared);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kOld);
    }
    const QByteArray sharedPath = QFile::encodeName(shared);
    if (::chown(stickyPath.constData(), 4343, ::getgid()) != 0 ||
        ::chown(sharedPath.constData(), 4242, ::getgid()) != 0)
        GTEST_SKIP() << "needs the right to give files to other users: " << std::strerror(errno);
    ASSERT_EQ(::chmod(stickyPath.constData(), 01777), 0);
    ASSERT_EQ(::chmod(sharedPath.constData(), 0664), 0);
    EXPECT_EQ(support::RunUnprivileged([&] { return Replace(shared) ? 0 : 1; }), 0);
    EXPECT_EQ(ReadAll(shared), kNew);
    const struct stat after = Stat(shared);
    EXPECT_EQ(after.st_uid, 4242u);
    EXPECT_EQ(after.st_mode & 07777, 0664u);
}

TEST_F(FileReplacerTest, NamesOfAnyLegalLengthAreSaved)
{
    const QString longest = Path(std::string(251, 'n').append(".xml").c_str());
    const QString cjk =
        Path((QString(81, QChar(0x6F22)) + QStringLiteral(".xml")).toUtf8().constData());
    for (const QString& name : {longest, cjk}) {
        ASSERT_TRUE(Replace(name)) << "new";
        ASSERT_TRUE(Replace(name)) << "over the existing one";
        EXPECT_EQ(ReadAll(name), kNew);
    }
    EXPECT_EQ(Entries().size(), 2);
    // Written in place, the long name's record goes to the state folder under a shortened name,
    // which must still be a name the user can be shown and find.
    ASSERT_EQ(::link(QFile::encodeName(cjk).constData(), QFile::encodeName(Path("l")).constData()),
              0);
    int copies = 0;
    g_syncHook = [&](int fd) {
        if (DIR* folder = ::opendir(QFile::encodeName(SaveRecord::Folder(kNames)).constData())) {
            while (const dirent* entry = ::readdir(folder)) {
                const QByteArray raw(entry->d_name);
                if (raw.endsWith(".xml")) {
                    ++copies;
                    EXPECT_EQ(QString::fromUtf8(raw).toUtf8(), raw) << raw.toHex().constData();
                }
            }
            ::closedir(folder);
        }
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    EXPECT_TRUE(Replace(cjk));
    g_syncHook = nullptr;
    EXPECT_GT(copies, 0);
}

// A write, sync, close, rename or read back that fails once, in either way of replacing (a lone
// file is renamed, a hard-linked one written in place), or a state folder that cannot take the
// record, keeps the previous content, names the error of the call that failed and the place it
// failed at, and leaves nothing behind.
TEST_F(FileReplacerTest, FailedWriteSyncCloseOrRenameKeepsThePreviousContentAndLeavesNothing)
{
    const QString target = WriteOld("renamed.xml");
    const QString linked = WriteOld("in-place.xml");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(Path("second-link.xml")).constData()),
              0);
    enum Fault
    {
        GetFlags,
        Write,
        Sync,
        Close,
        Rename,
        ReadBack,
        RelativeHome,
        Crowded
    };
    const struct
    {
        Fault fault;
        const char* error;   // renamed; "": not tried there
        const char* inPlace; // null: as renamed; "": not tried; %1: the state folder
        bool inPlaceKept;    // written in place, the file holds the new content once synced
    } cases[] = {
        {GetFlags, "It cannot be written: Input/output error.", nullptr, true},
        // In place, the new content goes to the record first, in the state folder.
        {Write, "It could not be written: No space left on device.",
         "Its new content could not be kept aside in \"%1\": No space left on device.", true},
        {Sync, "It could not be written to the disk: Input/output error.",
         "Its new content could not be kept aside in \"%1\": Input/output error.", true},
        {Close, "It could not be written to the disk: Disk quota exceeded.", nullptr, false},
        {Rename, "It could not be put in place: Invalid cross-device link.", "", true},
        {ReadBack, "", "It could not be read back: Input/output error.", false},
        {RelativeHome, "",
         "Its new content could not be kept aside: there is no state folder, as HOME "
         "(\"relative\") is not an absolute path.",
         true},
        {Crowded, "",
         "Its new content could not be kept aside in \"%1\": it holds 32 records of interrupted "
         "saves already. Open their files to keep or discard them.",
         true},
    };
    const QString folder = SaveRecord::Folder(kNames);
    const QByteArray home = qgetenv("HOME");
    for (const auto& c : cases) {
        for (const QString& name : {target, linked}) {
            const char* expected = name == linked && c.inPlace ? c.inPlace : c.error;
            if (!*expected)
                continue;
            // Only the new content, recognised by its size, fails; reading back, only once the
            // file itself, recognised by its second link, holds it.
            g_syncHook = [&c](int fd) {
                struct stat info;
                if (::fstat(fd, &info) == 0 && info.st_size == kNew.size()) {
                    if (c.fault == Sync) {
                        errno = EIO;
                        return -1;
                    }
                    if (c.fault == Close) {
                        g_failingClose = fd;
                        g_closeError = EDQUOT;
                    }
                    if (c.fault == Rename)
                        g_renameError = EXDEV;
                    if (c.fault == ReadBack && info.st_nlink > 1)
                        g_readError = EIO;
                }
                return static_cast<int>(::syscall(SYS_fsync, fd));
            };
            if (c.fault == RelativeHome) {
                qunsetenv("XDG_STATE_HOME");
                qputenv("HOME", "relative");
            }
            QStringList crowd; // records as their names are, of no file here
            for (int i = 0; c.fault == Crowded && i < SaveRecord::kMaxRecords; ++i) {
                crowd << folder + QStringLiteral("/k-0-1-0-0-%1-%2-x.xml")
                                      .arg(QString(16, QLatin1Char('0')))
                                      .arg(i, 12, 16, QLatin1Char('0'));
                QDir().mkpath(folder);
                QFile(crowd.last()).open(QIODevice::WriteOnly);
            }
            QString error;
            bool kept = false;
            if (c.fault == GetFlags)
                g_getFlagsError = EIO;
            EXPECT_FALSE(Replace(name, &error, &kept,
                                 [&c] {
                                     if (c.fault == Write)
                                         g_writeError = ENOSPC;
                                 }))
                << name.toStdString() << expected;
            g_syncHook = nullptr;
            g_failingClose = -1;
            g_renameError = g_writeError = g_readError = 0;
            qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
            qputenv("HOME", home);
            for (const QString& record : crowd)
                QFile::remove(record);
            const bool keptOld = name == target || c.inPlaceKept;
            const QString reason = QString::fromUtf8(expected).replace(QLatin1String("%1"), folder);
            EXPECT_EQ(kept, keptOld) << expected << error.toStdString();
            if (keptOld) {
                EXPECT_EQ(error.toStdString(), reason.toStdString()) << name.toStdString();
                EXPECT_EQ(ReadAll(name), kOld) << name.toStdString() << expected;
            } else {
                // Complete in the file, but not seen to be on the disk: the record is named, and
                // goes at the next Open, which finds the file holding it.
                const QString prefix = reason + QStringLiteral(" Its new content is kept in \"");
                EXPECT_TRUE(error.startsWith(prefix)) << error.toStdString();
                EXPECT_EQ(ReadAll(error.mid(prefix.size()).chopped(2)), kNew);
                EXPECT_EQ(SaveRecord::Find(name, kNames).record, QString());
                WriteOld("in-place.xml");
            }
            EXPECT_EQ(Entries(), (QStringList{"in-place.xml", "renamed.xml", "second-link.xml"}))
                << expected;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("relative")))
        << "no records in the current folder";
}

// The target swapped for another file, or written by another program that takes no lock, once
// the new content is complete (renamed: in its temporary file; in place: in its record, before
// the file is touched, or in the target): the other content stays as it is, the message says
// which, and in place the new content stays in its record.
TEST_F(FileReplacerTest, TargetReplacedOrChangedMeanwhileIsLeftAlone)
{
    const QString target = Path("swapped.xml");
    enum Moment
    {
        Renamed,
        InRecord,
        InFile
    };
    for (const Moment moment : {Renamed, InRecord, InFile}) {
        const bool inPlace = moment != Renamed;
        for (const bool swap : {true, false}) {
            WriteOld("swapped.xml");
            if (inPlace) {
                ASSERT_EQ(::link(QFile::encodeName(target).constData(),
                                 QFile::encodeName(Path("link.xml")).constData()),
                          0);
            }
            const ino_t written = Stat(target).st_ino;
            g_syncHook = [&](int fd) {
                struct stat info;
                const bool now = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                                 (info.st_ino == written) == (moment == InFile) &&
                                 info.st_size == kNew.size();
                if (now) {
                    QFile other(swap ? Path("side.xml") : target);
                    EXPECT_TRUE(other.open(QIODevice::WriteOnly));
                    other.write("other");
                    other.close();
                    if (swap) {
                        EXPECT_EQ(std::rename(QFile::encodeName(other.fileName()).constData(),
                                              QFile::encodeName(target).constData()),
                                  0);
                    }
                }
                return static_cast<int>(::syscall(SYS_fsync, fd));
            };
            QString error;
            EXPECT_FALSE(Replace(target, &error));
            g_syncHook = nullptr;
            QString expected = swap ? QStringLiteral("It was replaced by another file while it "
                                                     "was being saved.")
                                    : QStringLiteral("It was changed by another program while "
                                                     "it was being saved.");
            const QString record = SaveRecord::Find(target, kNames).record;
            EXPECT_EQ(record.isEmpty(), !inPlace);
            if (inPlace) {
                expected += QStringLiteral(" Its new content is kept in \"%1\".").arg(record);
                EXPECT_EQ(ReadAll(record), kNew);
                EXPECT_TRUE(SaveRecord::Discard(record, kNames).Ok());
            }
            EXPECT_EQ(error.toStdString(), expected.toStdString()) << moment;
            EXPECT_EQ(ReadAll(target), QByteArray("other"));
            QFile::remove(Path("link.xml"));
            EXPECT_EQ(Entries(), QStringList{"swapped.xml"});
        }
    }
}

// A new name that cannot be made says nothing about a previous content, since no file was seen.
TEST_F(FileReplacerTest, FailureOnANewNameSaysThereWasNoPreviousFile)
{
    const QString plain = WriteOld("plain.xml");
    const QString closed = Path("closed");
    ASSERT_TRUE(QDir().mkdir(closed));
    ASSERT_EQ(::chmod(QFile::encodeName(closed).constData(), 0600), 0);
    const struct
    {
        QString name;
        const char* error;
    } cases[] = {
        {Path("missing/new.xml"), "It cannot be created: No such file or directory."},
        {plain + QStringLiteral("/new.xml"), "It cannot be written: Not a directory."},
        {Path(std::string(256, 'n').c_str()), "It cannot be written: File name too long."},
        {closed + QStringLiteral("/new.xml"), "It cannot be written: Permission denied."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(support::RunUnprivileged([&c] {
                      QString error;
                      bool kept = true;
                      return !Replace(c.name, &error, &kept) && !kept &&
                                     error == QLatin1String(c.error)
                                 ? 0
                                 : 1;
                  }),
                  0)
            << c.error;
    }
    EXPECT_EQ(ReadAll(plain), kOld);
    // A file that appears under the new name while the save runs is not overwritten.
    const QString appearing = Path("appearing.xml");
    QString error;
    bool kept = true;
    EXPECT_FALSE(Replace(appearing, &error, &kept, [&] { WriteOld("appearing.xml"); }));
    EXPECT_EQ(error, QStringLiteral("It could not be put in place: File exists."));
    EXPECT_FALSE(kept);
    EXPECT_EQ(ReadAll(appearing), kOld);
    EXPECT_EQ(Entries(), (QStringList{"appearing.xml", "closed", "plain.xml"}));
}

// A new file gets the mode the umask allows, and its name appears only once it is complete.
TEST_F(FileReplacerTest, NewFileFollowsTheUmaskAndAppearsOnlyWhenComplete)
{
    const QString target = Path("new.xml");
    for (mode_t mask : {022, 077, 027}) {
        int synced = 0;
        g_syncHook = [&](int fd) {
            struct stat info;
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
                EXPECT_FALSE(QFile::exists(target)) << "while the save runs";
            }
            ++synced;
            return static_cast<int>(::syscall(SYS_fsync, fd));
        };
        const mode_t before = ::umask(mask);
        EXPECT_TRUE(Replace(target));
        ::umask(before);
        g_syncHook = nullptr;
        EXPECT_GE(synced, 1);
        EXPECT_EQ(Stat(target).st_mode & 07777, 0666 & ~mask);
        EXPECT_EQ(ReadAll(target), kNew);
        QFile::remove(target);
    }
}

// A replacement that is begun, written and then dropped leaves the file as it was and nothing
// beside it, on either way of replacing and for a new name.
TEST_F(FileReplacerTest, DroppedReplacementLeavesNothing)
{
    const QString alone = WriteOld("alone.xml");
    const QString linked = WriteOld("linked.xml");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(Path("link.xml")).constData()),
              0);
    for (const QString& name : {alone, linked, Path("new.xml")}) {
        {
            FileReplacer replacer(name, kNames);
            ASSERT_TRUE(replacer.Begin().Ok()) << name.toStdString();
            replacer.Output()->Write(kNew.constData(), static_cast<unsigned>(kNew.size()));
            replacer.Output()->Flush();
        }
        EXPECT_EQ(Entries(), (QStringList{"alone.xml", "link.xml", "linked.xml"}));
        EXPECT_EQ(ReadAll(alone), kOld);
        EXPECT_EQ(ReadAll(linked), kOld);
        EXPECT_TRUE(SaveRecord::Find(name, kNames).record.isEmpty());
    }
}

// What is synced, and when: the folder once the new file has its name; before the file is
// written in place, the record of the new content and the record's folder.
TEST_F(FileReplacerTest, SyncsReachTheFolderAndTheRecordBeforeTheFile)
{
    struct Seen
    {
        bool folder;
        ino_t inode;
        QByteArray content; // of the synced file
        QByteArray target;  // of the target at that moment
    };
    std::vector<Seen> seen;
    QString target;
    bool failNew = false;
    g_syncHook = [&](int fd) {
        struct stat info;
        EXPECT_EQ(::fstat(fd, &info), 0);
        QByteArray content;
        if (S_ISREG(info.st_mode)) {
            content.resize(static_cast<int>(info.st_size));
            EXPECT_EQ(::pread(fd, content.data(), static_cast<size_t>(content.size()), 0),
                      content.size());
        }
        seen.push_back({S_ISDIR(info.st_mode), info.st_ino, content, ReadAll(target)});
        if (failNew && content == kNew) {
            errno = EIO;
            return -1;
        }
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    ino_t folder = Stat(dir.Path()).st_ino;
    const auto synced = [&](bool isFolder, bool sameFile, const QByteArray& content,
                            const QByteArray& targetHolds) {
        const ino_t inode = Stat(target).st_ino;
        return std::any_of(seen.begin(), seen.end(), [&](const Seen& s) {
            return s.folder == isFolder && (isFolder ? s.inode == folder : s.content == content) &&
                   (isFolder || (s.inode == inode) == sameFile) && s.target == targetHolds;
        });
    };

    target = WriteOld("renamed.xml");
    EXPECT_TRUE(Replace(target));
    EXPECT_TRUE(synced(true, false, {}, kNew)) << "the folder after the rename";

    seen.clear();
    target = WriteOld("linked.xml");
    ASSERT_EQ(::link(QFile::encodeName(target).constData(),
                     QFile::encodeName(Path("link.xml")).constData()),
              0);
    EXPECT_TRUE(Replace(target));
    folder = Stat(SaveRecord::Folder(kNames)).st_ino;
    EXPECT_TRUE(synced(false, false, kNew, kOld)) << "the record, before writing";
    EXPECT_TRUE(synced(true, false, {}, kOld)) << "the record's folder, before writing";
    EXPECT_TRUE(synced(false, true, kNew, kNew)) << "the file";

    WriteOld("linked.xml");
    seen.clear();
    failNew = true;
    EXPECT_FALSE(Replace(target));
    g_syncHook = nullptr;
    EXPECT_FALSE(synced(false, true, kNew, kNew)) << "nothing written before the record";
    EXPECT_EQ(ReadAll(target), kOld);
}

// Attributes a rename can keep do not force the file to be written in place.
TEST_F(FileReplacerTest, FileWithUserAttributeIsRenamedAndKeepsIt)
{
    const QString target = WriteOld("downloaded.xml");
    const QByteArray path = QFile::encodeName(target);
    const char url[] = "https://example.org/list.xml";
    if (::setxattr(path.constData(), "user.xdg.origin.url", url, sizeof url - 1, 0) != 0)
        GTEST_SKIP() << "no user attributes on this file system: " << std::strerror(errno);
    const ino_t before = Stat(target).st_ino;
    ASSERT_TRUE(Replace(target));
    EXPECT_NE(Stat(target).st_ino, before) << "renamed, not written in place";
    char value[64] = {};
    EXPECT_EQ(::getxattr(path.constData(), "user.xdg.origin.url", value, sizeof value),
              static_cast<ssize_t>(sizeof url - 1));
    EXPECT_STREQ(value, url);
    EXPECT_EQ(ReadAll(target), kNew);
}

// Two processes save the same file at the same moment, many times: the file is always one
// complete document, on both ways of replacing.
TEST_F(FileReplacerTest, SimultaneousSavesNeverInterleave)
{
    const QString alone = WriteOld("alone.xml");
    const QString linked = WriteOld("linked.xml");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(Path("link.xml")).constData()),
              0);
    QByteArray documents[2];
    for (int i = 0; i < 2; ++i)
        documents[i] = QByteArray(300 * 1024, static_cast<char>('a' + i));
    for (const QString& name : {alone, linked}) {
        for (int round = 0; round < 8; ++round) {
            pid_t children[2];
            for (int i = 0; i < 2; ++i) {
                children[i] = ::fork();
                ASSERT_GE(children[i], 0);
                if (children[i] == 0) {
                    FileReplacer replacer(name, kNames);
                    bool ok = replacer.Begin().Ok();
                    // In pieces, so that the two would interleave without the lock.
                    for (int at = 0; ok && at < documents[i].size(); at += 4096)
                        ok = replacer.Output()->Write(documents[i].constData() + at, 4096) == 4096;
                    ::_exit(ok && replacer.Commit().Ok() ? 0 : 1);
                }
            }
            for (pid_t child : children) {
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "both saves succeed";
            }
            const QByteArray now = ReadAll(name);
            ASSERT_TRUE(now == documents[0] || now == documents[1])
                << name.toStdString() << " round " << round;
        }
    }
    EXPECT_EQ(Entries(), (QStringList{"alone.xml", "link.xml", "linked.xml"}));

    // A save that does not end in time: the second one gives up and says so.
    QFile holder(linked);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(holder.handle(), LOCK_EX), 0);
    const QByteArray before = ReadAll(linked);
    QString error;
    bool kept = false;
    EXPECT_FALSE(Replace(linked, &error, &kept));
    EXPECT_EQ(error, QStringLiteral("It is locked by another program."));
    EXPECT_TRUE(kept);
    // A lock wait decides for itself how long to wait.
    FileReplacer waiting(linked, kNames);
    int looks = 0;
    waiting.SetLockWait([&looks] { return ++looks < 3; });
    const file::Outcome begun = waiting.Begin();
    EXPECT_FALSE(begun.Ok());
    EXPECT_EQ(looks, 3);
    EXPECT_EQ(begun.sentence, QStringLiteral("It is locked by another program."));
    EXPECT_EQ(ReadAll(linked), before);
}

// What fails once the new content is complete is told after the success: a folder that could
// not be synced after the rename, a copy of the previous content that could not be removed.
TEST_F(FileReplacerTest, WarningsAfterSuccessAreTrue)
{
    const QString target = WriteOld("list.xml");
    // What a save that succeeds warns of.
    const auto warned = [&target] {
        FileReplacer replacer(target, kNames);
        EXPECT_TRUE(replacer.Begin().Ok());
        replacer.Output()->Write(kNew.constData(), static_cast<unsigned>(kNew.size()));
        const file::Outcome saved = replacer.Commit();
        EXPECT_TRUE(saved.Ok());
        return saved.warnings.join(QLatin1Char('\n')).toStdString();
    };
    g_syncHook = [](int fd) {
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
            errno = EIO;
            return -1;
        }
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    EXPECT_EQ(warned(), "Its folder could not be written to the disk: Input/output error. A power "
                        "cut soon after this save may bring back the previous content.");
    g_syncHook = nullptr;
    EXPECT_EQ(ReadAll(target), kNew);

    // In place: the state folder becomes read-only while the new content is written. The
    // record the save could not remove holds what the file holds, so no Open names it.
    WriteOld("list.xml");
    ASSERT_EQ(::link(QFile::encodeName(target).constData(),
                     QFile::encodeName(Path("link.xml")).constData()),
              0);
    const QByteArray records = QFile::encodeName(SaveRecord::Folder(kNames));
    EXPECT_EQ(support::RunUnprivileged([&] {
                  FileReplacer replacer(target, kNames);
                  if (!replacer.Begin().Ok())
                      return 1;
                  replacer.Output()->Write(kNew.constData(), static_cast<unsigned>(kNew.size()));
                  g_syncHook = [&](int fd) {
                      struct stat info;
                      if (::fstat(fd, &info) == 0 && info.st_ino == Stat(target).st_ino)
                          ::chmod(records.constData(), 0555);
                      return static_cast<int>(::syscall(SYS_fsync, fd));
                  };
                  const file::Outcome saved = replacer.Commit();
                  return saved.Ok() && saved.warnings.size() == 1 &&
                                 saved.warnings[0].startsWith(
                                     QStringLiteral("A record of its new content could not be "
                                                    "removed from \"%1/")
                                         .arg(SaveRecord::Folder(kNames))) &&
                                 saved.warnings[0].endsWith(
                                     QStringLiteral(".xml\": Permission denied."))
                             ? 0
                             : 2;
              }),
              0);
    ::chmod(records.constData(), 0700);
    EXPECT_EQ(ReadAll(target), kNew);
    const QDir folder(SaveRecord::Folder(kNames));
    EXPECT_EQ(folder.entryList(QDir::Files).size(), 1);
    EXPECT_EQ(SaveRecord::Find(target, kNames).record, QString());

    // A record that another Open removed already, as the file held it, is nothing to warn of.
    WriteOld("list.xml");
    g_syncHook = [&](int fd) {
        struct stat info;
        if (::fstat(fd, &info) == 0 && info.st_ino == Stat(target).st_ino) {
            for (const QString& name : folder.entryList(QDir::Files)) {
                EXPECT_TRUE(QFile::remove(folder.filePath(name)));
            }
        }
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    EXPECT_EQ(warned(), "");
    g_syncHook = nullptr;
    EXPECT_EQ(ReadAll(target), kNew);
}

// Of the files a save's cleaning looks at, only a temporary file that a save of this user left
// in that folder and no live save holds goes, also one the saver may write but not read: one held
// locked, another user's, a symbolic link, a copy of a leftover from another folder, and the
// user's own files, also under names that look like a leftover's, stay.
TEST_F(FileReplacerTest, OnlyLeftoversOfThisUsersDeadSavesAreRemoved)
{
    const QString target = WriteOld("list.xml");
    // A temporary file as a save makes it, left once its save has died (its descriptor goes).
    std::vector<file::UniqueFd> saving;
    const auto leftover = [&saving](const QString& folder) {
        QByteArray name;
        saving.emplace_back();
        EXPECT_EQ(file::CreateTemporary(QFile::encodeName(folder), kNames.temporaryPrefix,
                                        &saving.back(), &name),
                  0);
        return QFile::decodeName(name);
    };
    const QString dead = leftover(dir.Path());
    const QString unreadable = leftover(dir.Path()); // of a file of mode 0200
    ASSERT_EQ(::chmod(QFile::encodeName(unreadable).constData(), 0200), 0);
    const QString others = leftover(dir.Path());
    const bool othersMade = ::chown(QFile::encodeName(others).constData(), 4242, ::getgid()) == 0;
    if (!othersMade)
        QFile::remove(others);
    const QString link = leftover(dir.Path());
    QFile::remove(link);
    ASSERT_EQ(::symlink("list.xml", QFile::encodeName(link).constData()), 0);
    const QTemporaryDir elsewhere;
    const QString copied = leftover(elsewhere.path());
    ASSERT_TRUE(QFile::copy(copied, Path(QFileInfo(copied).fileName().toUtf8().constData())));
    leftover(dir.Path());
    file::UniqueFd live = std::move(saving.back()); // of a save that runs
    saving.clear();
    for (const char* own :
         {".vellorin-dead.tmp", ".vellorin-00000000-00000000.tmp", "list.xml.vellorin-previous"})
        QFile(Path(own)).open(QIODevice::WriteOnly);
    QStringList stay = Entries();
    stay.removeOne(QFileInfo(dead).fileName());
    stay.removeOne(QFileInfo(unreadable).fileName());
    ASSERT_EQ(stay.size(), othersMade ? 8 : 7);
    // Without privileges, so that file modes bind the cleaning.
    EXPECT_EQ(support::RunUnprivileged([&] { return Replace(target) ? 0 : 1; }), 0);
    EXPECT_EQ(Entries(), stay);
    EXPECT_EQ(ReadAll(target), kNew);
}

// A record goes only once the file holds its content, the user discards it, or its file is no
// longer there and the user was told: a save that completes later leaves it and marks it as
// older than the file, Open finds it through any of the file's names, and tells a save that
// holds the record now from another program that holds the file's lock.
TEST_F(FileReplacerTest, RecordsStayUntilTheFileHoldsThemOrTheUserDiscardsThem)
{
    const QString target = WriteOld("list.xml");
    const QString link = Path("link.xml");
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
    // Interrupted once the record was complete: another program writes the file meanwhile.
    const ino_t inode = Stat(target).st_ino;
    bool tear = true; // the file left with a part of the new content only
    const auto failTarget = [&](int fd) {
        struct stat info;
        if (::fstat(fd, &info) == 0 && info.st_ino == inode) {
            if (tear) {
                EXPECT_EQ(::ftruncate(fd, 10), 0);
            }
            errno = EIO;
            return -1;
        }
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    g_syncHook = failTarget;
    QString error;
    EXPECT_FALSE(Replace(target, &error));
    g_syncHook = nullptr;
    const QString record = SaveRecord::Find(target, kNames).record;
    EXPECT_EQ(error, QStringLiteral("It could not be written: Input/output error. Its new content "
                                    "is kept in \"%1\".")
                         .arg(record));
    EXPECT_EQ(ReadAll(record), kNew);
    WriteOld("list.xml"); // not what the record holds
    EXPECT_EQ(SaveRecord::Find(link, kNames).record, record) << "found through another name";
    {
        // Another program that holds the file's lock, a backup say, is no save of it.
        QFile holder(target);
        ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
        ASSERT_EQ(::flock(holder.handle(), LOCK_EX), 0);
        const SaveRecord::Found locked = SaveRecord::Find(target, kNames);
        EXPECT_EQ(locked.record.toStdString(), record.toStdString());
        EXPECT_TRUE(locked.locked);
        EXPECT_FALSE(locked.saving);
        // A save holds its record from its first byte until the file holds it.
        QFile live(record);
        ASSERT_TRUE(live.open(QIODevice::ReadOnly));
        ASSERT_EQ(::flock(live.handle(), LOCK_EX), 0);
        const SaveRecord::Found saving = SaveRecord::Find(target, kNames);
        EXPECT_TRUE(saving.saving);
        EXPECT_EQ(saving.record, QString()) << "not interrupted";
    }
    EXPECT_FALSE(SaveRecord::Find(target, kNames).saving);
    EXPECT_FALSE(SaveRecord::Find(target, kNames).locked);
    EXPECT_FALSE(SaveRecord::Find(target, kNames).savedSince);

    // A later save of other content leaves the record, saying so; one of the same content makes
    // it go.
    const QByteArray other("<doc><list><name>other</name></list></doc>\n");
    {
        FileReplacer replacer(target, kNames);
        ASSERT_TRUE(replacer.Begin().Ok());
        replacer.Output()->Write(other.constData(), static_cast<unsigned>(other.size()));
        ASSERT_TRUE(replacer.Commit().Ok());
    }
    const SaveRecord::Found since = SaveRecord::Find(target, kNames);
    EXPECT_EQ(ReadAll(since.record), kNew);
    EXPECT_TRUE(since.savedSince);
    const file::Outcome refused = SaveRecord::Discard(target, kNames);
    EXPECT_FALSE(refused.Ok()) << "only records are discarded";
    EXPECT_EQ(
        refused.sentence,
        QStringLiteral("\"%1\" could not be removed: No such file or directory.").arg(target));
    EXPECT_TRUE(SaveRecord::Discard(since.record, kNames).Ok());
    EXPECT_EQ(SaveRecord::Find(target, kNames).record, QString());
    EXPECT_EQ(ReadAll(target), other);

    // Interrupted where the file came to hold the record after all: no Open names it.
    tear = false;
    g_syncHook = failTarget;
    EXPECT_FALSE(Replace(target));
    g_syncHook = nullptr;
    const QDir records(SaveRecord::Folder(kNames));
    EXPECT_EQ(records.entryList(QDir::Files).size(), 1) << "kept by the failed save";
    EXPECT_EQ(SaveRecord::Find(link, kNames).record, QString());
    EXPECT_TRUE(records.entryList(QDir::Files).isEmpty()) << "gone, as the file holds it";

    // The file deleted: the next Open, of any file, names its record, and the one after removes
    // it. The record keeps its file's path where the state folder keeps extended attributes.
    tear = true;
    g_syncHook = failTarget;
    EXPECT_FALSE(Replace(target));
    g_syncHook = nullptr;
    const QString whose = QFileInfo(target).canonicalFilePath();
    const bool told =
        ::getxattr(QFile::encodeName(records.filePath(records.entryList(QDir::Files)[0])),
                   "user.record.of", nullptr, 0) > 0;
    const QString another = WriteOld("another.xml");
    EXPECT_TRUE(SaveRecord::Find(another, kNames).gone.isEmpty()) << "its file is there";
    ASSERT_TRUE(QFile::remove(target) && QFile::remove(link));
    if (!told) {
        std::cout << "The state folder keeps no extended attributes: the records of files no "
                     "longer there are not tried.\n";
        EXPECT_TRUE(
            SaveRecord::Discard(records.filePath(records.entryList(QDir::Files)[0]), kNames).Ok());
        return;
    }
    const QList<SaveRecord::Gone> gone = SaveRecord::Find(another, kNames).gone;
    ASSERT_EQ(gone.size(), 1);
    EXPECT_EQ(gone[0].file.toStdString(), whose.toStdString());
    EXPECT_EQ(ReadAll(gone[0].record), kNew);
    EXPECT_TRUE(SaveRecord::Find(another, kNames).gone.isEmpty()) << "told once";
    EXPECT_TRUE(records.entryList(QDir::Files).isEmpty()) << "removed once told";
}

// A record is named the file's own only where what identifies the file proves it: the same file
// system and inode, and the same birth time or generation. A record that shares only the file's
// place (its inode, or its path) is named, as uncertain; one of a newer file that took over the
// inode elsewhere, or of another file system, is not named at all. Of several, one proven to be
// the file's comes first, then the newest.
TEST_F(FileReplacerTest, ARecordIsTheFilesOnlyWhereItsIdentityProvesIt)
{
    const QString target = WriteOld("list.xml");
    const file::Identity file = IdentityOf(target);
    enum Expect
    {
        None,
        Shared,
        Proven
    };
    const struct
    {
        const char* what;
        const char* fileSystem; // null: the file's
        quint64 otherInode;     // 0: the file's
        const char* born;       // null: the file's; "": none
        const char* at;         // the record's path
        bool noBirthTimes;      // the file system keeps neither birth times nor generations
        Expect expected;
    } cases[] = {
        {"the file", nullptr, 0, nullptr, "list.xml", false, Proven},
        {"through another name", nullptr, 0, nullptr, "other.xml", false, Proven},
        {"the file, no birth times", nullptr, 0, "", "list.xml", true, Shared},
        {"a file its inode went to, elsewhere", nullptr, 0, "000000000001", "other.xml", false,
         None},
        {"a file its inode went to, at its path", nullptr, 0, "000000000001", "list.xml", false,
         Shared},
        {"another medium, at its path", "000000000002", 0, nullptr, "list.xml", false, Shared},
        {"another medium, elsewhere", "000000000002", 0, nullptr, "other.xml", false, None},
        {"another file, at its path", nullptr, 1, nullptr, "list.xml", false, Shared},
    };
    if (file.born.isEmpty())
        GTEST_SKIP() << "the test's folder keeps neither birth times nor generations";
    for (const auto& c : cases) {
        file::Identity identity = file;
        if (c.fileSystem)
            identity.fileSystem = c.fileSystem;
        identity.inode += c.otherInode;
        if (c.born)
            identity.born = c.born;
        const QString record = Keep(identity, Path(c.at), kNew);
        g_noBirthTimes = c.noBirthTimes;
        const SaveRecord::Found found = SaveRecord::Find(target, kNames);
        g_noBirthTimes = false;
        EXPECT_EQ(found.record.isEmpty() ? "none" : found.record.toStdString(),
                  c.expected == None ? "none" : record.toStdString())
            << c.what;
        EXPECT_EQ(found.proven, c.expected == Proven) << c.what;
        ClearRecords();
    }

    // Two records of the file: the newer one, whichever the folder lists first; one proven to be
    // the file's before a newer one that only shares its place.
    const QString older = Keep(file, target, "older");
    const QString newer = Keep(file, target, "newer");
    const auto made = [](const QString& record, int seconds) {
        const timespec times[2] = {{0, UTIME_OMIT}, {1'800'000'000 + seconds, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(record).constData(), times, 0), 0);
    };
    made(older, 0);
    made(newer, 10);
    EXPECT_EQ(ReadAll(SaveRecord::Find(target, kNames).record), QByteArray("newer"));
    made(older, 20);
    EXPECT_EQ(ReadAll(SaveRecord::Find(target, kNames).record), QByteArray("older"));
    file::Identity elsewhere = file;
    elsewhere.fileSystem = "000000000002";
    made(Keep(elsewhere, target, "shared"), 30);
    EXPECT_EQ(ReadAll(SaveRecord::Find(target, kNames).record), QByteArray("older"));
    ClearRecords();
}

// On real file systems without birth times, mounted from an image where the machine allows: a
// medium swapped in the same slot, whose first file has the same device and inode as the first
// file of the one before, and a deleted file's inode that a new file took. The record is never
// proven to be the new file's; a record of a medium that was taken out is no record of a file
// that is gone.
TEST_F(FileReplacerTest, ARecordOfAnotherMediumOrOfAReusedInodeIsNotProvenTheFiles)
{
    const QString image = Path("medium.img");
    const QString medium = Path("medium");
    ASSERT_TRUE(QDir().mkdir(medium));
    QFile(image).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile(image).resize(8 << 20));
    QString device;
    const auto run = [&device](const char* program, const QStringList& arguments) {
        QProcess process;
        process.start(QLatin1String(program), arguments);
        const bool ran = process.waitForFinished(60000) &&
                         process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (ran && device.isEmpty())
            device = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        return ran;
    };
    if (!run("losetup", {QStringLiteral("--find"), QStringLiteral("--show"), image}))
        GTEST_SKIP() << "no loop device can be attached here (needs root and /dev/loop*)";
    struct Detach
    {
        QString device, medium;
        ~Detach()
        {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), medium});
            QProcess::execute(QStringLiteral("losetup"), {QStringLiteral("-d"), device});
        }
    } detach{device, medium};
    // A new file system with 128-byte inodes, which keep no birth times, in the same slot.
    const auto insert = [&] {
        run("umount", {medium});
        return run("mkfs.ext4", {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"),
                                 QStringLiteral("128"), device}) &&
               run("mount", {device, medium});
    };
    if (!insert())
        GTEST_SKIP() << "the image cannot be made and mounted here (mkfs.ext4, mount)";
    const QString target = medium + QStringLiteral("/list.xml");
    WriteFile(target, kOld);
    const struct stat first = Stat(target);
    const QString record = Keep(IdentityOf(target), target, kNew);
    run("umount", {medium});
    EXPECT_TRUE(SaveRecord::Find(WriteOld("here.xml"), kNames).gone.isEmpty())
        << "its medium is only out";
    ASSERT_TRUE(insert());
    WriteFile(target, kOld);
    const struct stat swapped = Stat(target);
    const SaveRecord::Found found = SaveRecord::Find(target, kNames);
    EXPECT_EQ(found.record, record) << "it shares the path";
    EXPECT_FALSE(found.proven) << "another medium's";
    ClearRecords();

    Keep(IdentityOf(target), target, kNew);
    QFile::remove(target);
    const QString reused = medium + QStringLiteral("/new.xml");
    WriteFile(reused, kOld);
    EXPECT_FALSE(SaveRecord::Find(reused, kNames).proven) << "a deleted file's";
    ClearRecords();
    if (swapped.st_dev != first.st_dev || swapped.st_ino != first.st_ino ||
        Stat(reused).st_ino != swapped.st_ino)
        GTEST_SKIP() << "the new files here had other devices or inodes than the old ones";
}

} // namespace
