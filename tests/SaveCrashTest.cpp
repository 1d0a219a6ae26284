// Kills a save at each of its system calls and fails each call once, on each way a file is
// saved, and checks after every run that the file holds exactly the old or the new document,
// or else that the old one is byte for byte in the copy the next Open announces; that the
// verdict is true; and that nothing else is left behind once the next save has run.
#include "Common/File/FileReplacer.h"
#include "support/Files.h"

#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <map>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QByteArray Document(const char* text, int lines)
{
    QByteArray bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\n");
    for (int i = 0; i < lines; ++i)
        bytes += "   <list><name>" + QByteArray(text) + QByteArray::number(100000 + i) +
                 "</name></list>\n";
    return bytes + "</doc>\n";
}

// Same line layout, so that a torn file would read as well-formed; the new one is shorter,
// so that an old tail left behind shows.
const QByteArray kOld = Document("old ", 3000);
const QByteArray kNew = Document("new ", 2000);
const QByteArray kLarger = Document("big ", 4000);

using support::Entries;
using support::ReadAll;

// The target's mode, which every save keeps.
constexpr mode_t kMode = 0640;

mode_t Mode(const QString& name)
{
    struct stat info = {};
    ::stat(QFile::encodeName(name).constData(), &info);
    return info.st_mode & 07777;
}

// Which document the bytes are, for messages.
std::string Describe(const QByteArray& bytes)
{
    if (bytes == kOld)
        return "old";
    if (bytes == kNew)
        return "new";
    if (bytes == kLarger)
        return "larger";
    return "neither (" + std::to_string(bytes.size()) + " bytes)";
}

void WriteFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(bytes);
}

// The leak checker of a sanitized build stops a traced process: the driver runs without it.
QProcessEnvironment Traceable()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
    return environment;
}

// One way of saving: what the target, list.xml with the old document, has or lacks.
enum class Start
{
    Attribute,     // a user attribute (where the file system keeps them), as a download has
    HardLink,      // a second name, other.xml
    ReadOnlyFolder // a folder the saver, without privileges, may not write
};
const struct SavePath
{
    const char* name;
    Start start;
} kPaths[] = {
    {"rename", Start::Attribute},
    {"in place, hard link", Start::HardLink},
    {"in place, folder not writable", Start::ReadOnlyFolder},
};

class SaveCrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(State()));
        WriteFile(Content(kNew), kNew);
        WriteFile(Content(kLarger), kLarger);
    }
    void TearDown() override
    {
        ::chmod(QFile::encodeName(Work()).constData(), 0755);
        qunsetenv("XDG_STATE_HOME");
    }

    QString Work() const { return root.path() + QStringLiteral("/work"); }
    QString State() const { return root.path() + QStringLiteral("/state"); }
    QString Content(const QByteArray& bytes) const
    {
        return root.path() + (bytes == kNew ? QStringLiteral("/new") : QStringLiteral("/larger"));
    }

    // A fresh folder with the path's target in it.
    QString Fresh(const SavePath& path)
    {
        ::chmod(QFile::encodeName(Work()).constData(), 0755);
        QDir(Work()).removeRecursively();
        QDir(State()).removeRecursively();
        QDir().mkpath(Work());
        const QString target = Work() + QStringLiteral("/list.xml");
        const QByteArray name = QFile::encodeName(target);
        WriteFile(target, kOld);
        ::chmod(name.constData(), kMode);
        names = QStringList{"list.xml"};
        attributed = path.start == Start::Attribute &&
                     ::setxattr(name.constData(), "user.xdg.origin.url", "x", 1, 0) == 0;
        if (path.start == Start::HardLink &&
            ::link(name.constData(), QFile::encodeName(Work() + "/other.xml").constData()) == 0)
            names << QStringLiteral("other.xml");
        if (path.start == Start::ReadOnlyFolder)
            ::chmod(QFile::encodeName(Work()).constData(), 0555);
        return target;
    }

    // Runs the driver, under strace with 'strace' options when given; its report.
    QByteArray Run(const SavePath& path, const QString& target, const QStringList& strace,
                   const QByteArray& content = kNew, const QString& limit = QString())
    {
        QStringList arguments{target, Content(content)};
        if (path.start == Start::ReadOnlyFolder)
            arguments << QStringLiteral("--unprivileged");
        if (!limit.isEmpty())
            arguments << QStringLiteral("--fsize") << limit;
        QProcess driver;
        if (strace.isEmpty()) {
            driver.setProgram(QStringLiteral(VELLORIN_SAVE_DRIVER));
        } else {
            driver.setProgram(QStringLiteral(VELLORIN_STRACE));
            arguments = strace +
                        QStringList{QStringLiteral("-qq"), QStringLiteral("-o"),
                                    root.path() + QStringLiteral("/trace"),
                                    QStringLiteral(VELLORIN_SAVE_DRIVER)} +
                        arguments;
        }
        driver.setArguments(arguments);
        driver.setProcessEnvironment(Traceable());
        driver.start();
        EXPECT_TRUE(driver.waitForFinished(60000));
        return driver.readAllStandardOutput();
    }

    // The system calls of one undisturbed save, each as strace's filter for it:
    // name:when=<its number among the calls of that name>.
    QStringList SaveCalls(const SavePath& path)
    {
        const QString target = Fresh(path);
        EXPECT_EQ(Run(path, target, {QStringLiteral("-e"), QStringLiteral("trace=all")}),
                  QByteArray("saved\n"));
        std::map<QString, int> seen;
        QStringList calls;
        int markers = 0;
        const QRegularExpression call(QStringLiteral("^([a-z0-9_]+)\\("));
        for (const QByteArray& line : ReadAll(root.path() + QStringLiteral("/trace")).split('\n')) {
            const QRegularExpressionMatch match = call.match(QString::fromLatin1(line));
            if (!match.hasMatch())
                continue;
            const QString name = match.captured(1);
            const int when = ++seen[name];
            if (name == QLatin1String("getppid"))
                ++markers;
            else if (markers == 1)
                calls << name + QStringLiteral(":when=") + QString::number(when);
        }
        EXPECT_EQ(markers, 2) << "the save ran to its end under strace";
        return calls;
    }

    // The promises, after a save that reported 'report' (nothing when it was killed).
    void Check(const SavePath& path, const QString& target, const QString& fault,
               const QByteArray& report, const QByteArray& content = kNew)
    {
        const std::string where =
            std::string(path.name) + ", " + fault.toStdString() + ": " + report.toStdString();
        const QByteArray now = ReadAll(target);
        const QString copy = file::FileReplacer::InterruptedCopyOf(target);
        if (!copy.isEmpty()) {
            EXPECT_EQ(Describe(ReadAll(copy)), "old")
                << where << "the announced copy is the old document";
            EXPECT_EQ(Mode(copy), 0600u) << where;
        }
        EXPECT_EQ(Mode(target), kMode) << where;
        EXPECT_TRUE(now == kOld || now == content || !copy.isEmpty())
            << where << "torn: " << Describe(now);
        for (const QString& name : names)
            EXPECT_EQ(Describe(ReadAll(Work() + QLatin1Char('/') + name)), Describe(now)) << where;

        QStringList left = Entries(Work()) + Entries(State() + QStringLiteral("/vellorin"));
        for (const QString& name : names)
            left.removeOne(name);
        left.removeOne(QFileInfo(copy).fileName());
        const QList<QByteArray> lines = report.split('\n');
        if (report.startsWith("saved\n")) {
            EXPECT_EQ(Describe(now), Describe(content)) << where;
            EXPECT_TRUE(copy.isEmpty() || report.contains(QFile::encodeName(copy)))
                << where << "a copy left after success is named";
        } else if (report.startsWith("failed\n")) {
            EXPECT_FALSE(lines.value(3).isEmpty()) << where << "a reason";
            if (lines.value(1) == "kept=1") {
                EXPECT_EQ(Describe(now), "old") << where;
            } else if (now != kOld) {
                EXPECT_EQ(QString::fromLocal8Bit(lines.value(2).mid(5)), copy)
                    << where << "a failure that leaves no old document names the copy";
            }
        }
        if (!report.isEmpty()) {
            EXPECT_TRUE(left.isEmpty()) << where << left.join(' ').toStdString();
        }

        // The next save completes, and removes whatever the interrupted one left.
        const auto save = [&] {
            file::FileReplacer replacer(target);
            return replacer.Begin() &&
                           replacer.Output()->Write(kNew.constData(),
                                                    static_cast<unsigned>(kNew.size())) ==
                               kNew.size() &&
                           replacer.Commit() && replacer.Warnings().isEmpty()
                       ? 0
                       : 1;
        };
        EXPECT_EQ(path.start == Start::ReadOnlyFolder ? support::RunUnprivileged(save) : save(), 0)
            << where;
        EXPECT_EQ(Describe(ReadAll(target)), "new") << where;
        left = Entries(Work()) + Entries(State() + QStringLiteral("/vellorin"));
        EXPECT_EQ(left, names) << where << "after the next save";
        EXPECT_EQ(Mode(target), kMode) << where << "after the next save";
        if (attributed) {
            EXPECT_EQ(::getxattr(QFile::encodeName(target).constData(), "user.xdg.origin.url",
                                 nullptr, 0),
                      1)
                << where << "the attribute stays";
        }
    }

    QTemporaryDir root;
    QStringList names;       // what belongs in the work folder
    bool attributed = false; // the target has a user attribute
};

TEST_F(SaveCrashTest, EveryKillAndFailedCallLeavesOldNewOrAnnouncedCopy)
{
    {
        // Some build sandboxes forbid tracing altogether: the driver, called without
        // arguments, must then still end with its own code under strace.
        QProcess probe;
        probe.setProcessEnvironment(Traceable());
        probe.start(QStringLiteral(VELLORIN_STRACE),
                    {QStringLiteral("-qq"), QStringLiteral("-e"), QStringLiteral("trace=none"),
                     QStringLiteral(VELLORIN_SAVE_DRIVER)});
        ASSERT_TRUE(probe.waitForFinished(60000));
        if (probe.exitCode() != 2)
            GTEST_SKIP() << "strace cannot trace here: "
                         << probe.readAllStandardError().toStdString();
    }
    const QStringList faults{"signal=KILL", "error=ENOSPC", "error=EDQUOT", "error=EIO",
                             "error=EINTR"};
    for (const SavePath& path : kPaths) {
        const QStringList calls = SaveCalls(path);
        ASSERT_GT(calls.size(), 10) << path.name;
        std::map<std::string, int> verdicts; // how the runs ended: a check that faults landed
        for (const QString& fault : faults) {
            for (const QString& call : calls) {
                const QString name = call.section(QLatin1Char(':'), 0, 0);
                const QString target = Fresh(path);
                const QByteArray report = Run(
                    path, target,
                    {QStringLiteral("-e"), QStringLiteral("trace=") + name, QStringLiteral("-e"),
                     QStringLiteral("inject=") + name + QLatin1Char(':') + fault +
                         QLatin1Char(':') + call.section(QLatin1Char(':'), 1)});
                if (fault == QLatin1String("signal=KILL")) {
                    EXPECT_TRUE(report.isEmpty())
                        << path.name << ": the kill landed at " << call.toStdString();
                }
                Check(path, target, fault + QLatin1Char(' ') + call, report);
                ++verdicts[report.isEmpty() ? "killed"
                                            : report.left(report.indexOf('\n')).toStdString()];
                if (HasFailure())
                    return;
            }
        }
        // A file-size limit that the copy, or the new content, passes half-way: a short write,
        // then EFBIG, never the signal that would end the save there.
        for (const auto& [content, limit] : {std::make_pair(kNew, kNew.size() + 1000),
                                             std::make_pair(kLarger, kOld.size() + 1000)}) {
            const QString target = Fresh(path);
            const QByteArray report = Run(path, target, {}, content, QString::number(limit));
            EXPECT_FALSE(report.isEmpty()) << path.name << ": the limit's signal ended the save";
            Check(path, target, QStringLiteral("fsize"), report, content);
            ++verdicts[report.isEmpty() ? "killed"
                                        : report.left(report.indexOf('\n')).toStdString()];
        }
        // The failures landed: a sanitized build's own calls end the driver instead at times.
        EXPECT_GT(verdicts["failed"], calls.size() / 2) << path.name;
        std::cout << path.name << ": " << calls.size() << " system calls, each killed and failed "
                  << faults.size() - 1 << " ways, and 2 file-size limits:";
        for (const auto& [verdict, count] : verdicts)
            std::cout << ' ' << count << ' ' << verdict;
        std::cout << '\n';
    }
}

} // namespace
