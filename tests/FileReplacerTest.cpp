#include "Common/File/FileReplacer.h"

#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using file::FileReplacer;

namespace {

// Called instead of syncing while set: the moment the whole new content has been written.
std::function<int(int fd)> g_syncHook;
// While set, closing this descriptor reports an error after closing it, as a file system that
// finds a write error late does.
int g_failingClose = -1;

} // namespace

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
        errno = EIO;
        return -1;
    }
    return result;
}

namespace {

const QByteArray kOld("<doc><list><name>previous</name></list></doc>\n");
const QByteArray kNew("<doc><list><name>new content</name></list></doc>\n");

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
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
    ~FileReplacerTest() override { g_syncHook = nullptr; }

    QString Path(const char* name) const
    {
        return dir.path() + QLatin1Char('/') + QString::fromUtf8(name);
    }
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
                        bool* previousKept = nullptr)
    {
        FileReplacer replacer(target);
        bool ok = replacer.Begin() &&
                  replacer.Output()->Write(kNew.constData(), static_cast<unsigned>(kNew.size())) ==
                      kNew.size() &&
                  replacer.Commit();
        if (error)
            *error = replacer.Error();
        if (previousKept)
            *previousKept = replacer.PreviousKept();
        return ok;
    }
    QStringList Entries() const
    {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
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
    for (mode_t mode : {0600, 0640, 0400}) {
        const QString target = WriteOld("private.xml", mode);
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
}

// A sync or a close that fails once the new content is complete, in either way of replacing
// (a lone file is renamed, a hard-linked one written in place), keeps the previous content and
// leaves nothing behind.
TEST_F(FileReplacerTest, FailedSyncOrCloseKeepsThePreviousContentAndLeavesNothing)
{
    const QString target = WriteOld("renamed.xml");
    const QString linked = WriteOld("in-place.xml");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(Path("second-link.xml")).constData()),
              0);
    for (bool failClose : {false, true}) {
        for (const QString& name : {target, linked}) {
            // The kept-aside copy is synced before the writing starts: only the new content,
            // recognised by its size, fails.
            g_syncHook = [failClose](int fd) {
                struct stat info;
                if (::fstat(fd, &info) == 0 && info.st_size == kNew.size()) {
                    if (!failClose) {
                        errno = EIO;
                        return -1;
                    }
                    g_failingClose = fd;
                }
                return static_cast<int>(::syscall(SYS_fsync, fd));
            };
            QString error;
            bool kept = false;
            EXPECT_FALSE(Replace(name, &error, &kept)) << name.toStdString() << failClose;
            g_syncHook = nullptr;
            g_failingClose = -1;
            EXPECT_EQ(error,
                      QStringLiteral("It could not be written to the disk: Input/output error."));
            EXPECT_TRUE(kept);
            EXPECT_EQ(ReadAll(name), kOld);
        }
    }
    EXPECT_EQ(Entries(), (QStringList{"in-place.xml", "renamed.xml", "second-link.xml"}));
}

// The target swapped for another file while the new content was written: the other file
// stays, and so does nothing of the save.
TEST_F(FileReplacerTest, TargetReplacedMeanwhileIsLeftAlone)
{
    const QString target = WriteOld("swapped.xml");
    g_syncHook = [&](int fd) {
        QFile other(Path("side.xml"));
        EXPECT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("other");
        other.close();
        EXPECT_EQ(std::rename(QFile::encodeName(other.fileName()).constData(),
                              QFile::encodeName(target).constData()),
                  0);
        return static_cast<int>(::syscall(SYS_fsync, fd));
    };
    QString error;
    EXPECT_FALSE(Replace(target, &error));
    g_syncHook = nullptr;
    EXPECT_EQ(error, QStringLiteral("It was replaced by another file while it was being saved."));
    EXPECT_EQ(ReadAll(target), QByteArray("other"));
    EXPECT_EQ(Entries(), QStringList{"swapped.xml"});
}

TEST_F(FileReplacerTest, FailureOnANewNameSaysThereWasNoPreviousFile)
{
    QString error;
    bool kept = true;
    EXPECT_FALSE(Replace(Path("missing/new.xml"), &error, &kept));
    EXPECT_EQ(error, QStringLiteral("It cannot be created: No such file or directory."));
    EXPECT_FALSE(kept);
    EXPECT_TRUE(Entries().isEmpty());
}

} // namespace
