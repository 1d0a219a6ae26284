// Kills a save at each of its system calls and fails each call once, on each way a file is
// saved, also in sequences of saves, and checks after every run that the newest complete
// document is byte for byte in the file or in the record the next Open announces, through any
// of the file's names; that the verdict is true; that the user's own files beside it stay as
// they are; and that nothing else is left behind once a save has completed.
#include "Common/File/FileReplacer.h"
#include "Common/File/SaveRecord.h"
#include "support/FileNames.h"
#include "support/Files.h"

#include "support/Spawn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
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

// Files of the user's own beside the target, under names a save might have used; the content
// of each is its name.
const QStringList kUsersOwn{"list.xml.vellorin-previous", ".vellorin-own.tmp"};

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
QStringList TraceableEnvironment()
{
    const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    return {QStringLiteral("ASAN_OPTIONS=") + asan + (asan.isEmpty() ? "" : ":") +
            QStringLiteral("detect_leaks=0")};
}

// Some build sandboxes forbid tracing altogether: the driver, called without arguments, must
// then still end with its own code under strace.
bool Traceable()
{
    return support::Spawn(QStringLiteral(VELLORIN_STRACE),
                          QStringList{QStringLiteral("-qq"), QStringLiteral("-e"),
                                      QStringLiteral("trace=none"),
                                      QStringLiteral(VELLORIN_SAVE_DRIVER)},
                          TraceableEnvironment())
               .code == 2;
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
    // In this order the two shards CTest runs at once take about as long as each other.
    {"in place, hard link", Start::HardLink},
    {"in place, folder not writable", Start::ReadOnlyFolder},
    {"rename", Start::Attribute},
};

class SaveCrashTest : public ::testing::TestWithParam<SavePath>
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
        for (const QString& own : kUsersOwn)
            WriteFile(Work() + QStringLiteral("/") + own, own.toUtf8());
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
                   const QByteArray& content = kNew, const QString& limit = QString(),
                   const QStringList& options = {})
    {
        QStringList arguments = QStringList{target, Content(content)} + options;
        if (path.start == Start::ReadOnlyFolder)
            arguments << QStringLiteral("--unprivileged");
        if (!limit.isEmpty())
            arguments << QStringLiteral("--fsize") << limit;
        QString program = QStringLiteral(VELLORIN_SAVE_DRIVER);
        if (!strace.isEmpty()) {
            program = QStringLiteral(VELLORIN_STRACE);
            arguments = strace +
                        QStringList{QStringLiteral("-qq"), QStringLiteral("-o"),
                                    root.path() + QStringLiteral("/trace"),
                                    QStringLiteral(VELLORIN_SAVE_DRIVER)} +
                        arguments;
        }
        const support::Ended ended = support::Spawn(program, arguments, TraceableEnvironment());
        EXPECT_NE(ended.code, -1) << "the driver ended within a minute";
        return ended.output;
    }

    // The system calls of one undisturbed save, each as strace's filter for it:
    // name:when=<its number among the calls of that name>; where the save, once it has the
    // target's lock, sees that the path still names the file it locked; and where it first and
    // last changes the target (an in-place save's cut and writes).
    struct Calls
    {
        QStringList names;
        int locked = -1;
        int firstChange = -1;
        int lastChange = -1;
    };
    // 'options' as the driver gets them in the runs, so that calls are counted alike.
    Calls SaveCalls(const SavePath& path, const QStringList& options = {})
    {
        const QString target = Fresh(path);
        EXPECT_EQ(Run(path, target,
                      {QStringLiteral("-y"), QStringLiteral("-e"), QStringLiteral("trace=all")},
                      kNew, {}, options),
                  QByteArray("saved\n"));
        std::map<QString, int> seen;
        Calls calls;
        int markers = 0;
        const QRegularExpression call(QStringLiteral("^([a-z0-9_]+)\\((\\d+<([^>]*)>)?"));
        const QString file = QFileInfo(target).canonicalFilePath();
        for (const QByteArray& line : ReadAll(root.path() + QStringLiteral("/trace")).split('\n')) {
            const QRegularExpressionMatch match = call.match(QString::fromLatin1(line));
            if (!match.hasMatch())
                continue;
            const QString name = match.captured(1);
            const int when = ++seen[name];
            if (name == QLatin1String("getppid")) {
                ++markers;
                continue;
            }
            if (markers != 1)
                continue;
            if (match.captured(3) == file && name == QLatin1String("flock") &&
                line.contains("LOCK_EX") && line.endsWith("= 0"))
                calls.locked = -2;
            if (calls.locked == -2 && line.contains('"' + QFile::encodeName(target) + '"'))
                calls.locked = static_cast<int>(calls.names.size());
            if (match.captured(3) == file &&
                (name == QLatin1String("ftruncate") || name == QLatin1String("pwrite64"))) {
                calls.lastChange = static_cast<int>(calls.names.size());
                if (calls.firstChange < 0)
                    calls.firstChange = calls.lastChange;
            }
            calls.names << name + QStringLiteral(":when=") + QString::number(when);
        }
        EXPECT_EQ(markers, 2) << "the save ran to its end under strace";
        return calls;
    }

    // What belongs in the work folder, sorted as Entries() lists it.
    QStringList Expected() const
    {
        QStringList all = names + kUsersOwn;
        all.sort();
        return all;
    }

    void UsersOwnStay(const std::string& where) const
    {
        for (const QString& own : kUsersOwn)
            EXPECT_EQ(ReadAll(Work() + QStringLiteral("/") + own), own.toUtf8()) << where;
    }

    // The record the next Open announces, through every name of the file alike; empty when none.
    QString Announced(const QString& target)
    {
        const QString record = file::SaveRecord::Find(target, support::kFileNames).record;
        for (const QString& name : names)
            EXPECT_EQ(file::SaveRecord::Find(Work() + QLatin1Char('/') + name, support::kFileNames)
                          .record,
                      record);
        return record;
    }

    // The promises, after a save of 'content' that reported 'report' (nothing when it was
    // killed), where 'newest' was the newest complete document before it; that becomes the
    // newest complete document after it.
    void Check(const QString& target, const std::string& where, const QByteArray& report,
               const QByteArray& content, QByteArray& newest)
    {
        const QByteArray now = ReadAll(target);
        const QString record = Announced(target);
        const QByteArray kept = record.isEmpty() ? QByteArray() : ReadAll(record);
        if (!record.isEmpty()) {
            EXPECT_EQ(Mode(record), 0600u) << where;
        }
        if (now == content || kept == content)
            newest = content;
        EXPECT_TRUE(now == newest || kept == newest)
            << where << ": the newest complete document is lost; the file is " << Describe(now)
            << ", the record " << (record.isEmpty() ? "none" : Describe(kept));
        EXPECT_EQ(Mode(target), kMode) << where;
        for (const QString& name : names)
            EXPECT_EQ(Describe(ReadAll(Work() + QLatin1Char('/') + name)), Describe(now)) << where;
        UsersOwnStay(where);

        const QList<QByteArray> lines = report.split('\n');
        if (report.startsWith("saved\n")) {
            EXPECT_EQ(Describe(now), Describe(content)) << where;
        } else if (report.startsWith("failed\n")) {
            EXPECT_FALSE(lines.value(3).isEmpty()) << where << ": a reason";
            if (lines.value(1) == "kept=1") {
                EXPECT_EQ(Describe(now), Describe(newest == content ? now : newest)) << where;
            } else if (now != content && now != newest) {
                EXPECT_EQ(ReadAll(QString::fromLocal8Bit(lines.value(2).mid(5))), content)
                    << where << ": a failure that may leave the file torn names the new content";
            }
        }
        if (report.startsWith("saved\n")) {
            QStringList left = Entries(Work()) + Entries(State() + QStringLiteral("/vellorin"));
            left.removeOne(QFileInfo(record).fileName());
            EXPECT_EQ(left, Expected()) << where;
        }
    }

    // A save of 'content', as the user's next one: in this process, or by the driver where it
    // must give up its privileges.
    void SaveNow(const SavePath& path, const QString& target, const QByteArray& content)
    {
        if (path.start == Start::ReadOnlyFolder) {
            EXPECT_EQ(Run(path, target, {}, content), QByteArray("saved\n"));
            return;
        }
        const auto save = [&] {
            file::FileReplacer replacer(target, support::kFileNames);
            if (!replacer.Begin().Ok() ||
                replacer.Output()->Write(content.constData(),
                                         static_cast<unsigned>(content.size())) != content.size())
                return 1;
            const file::Outcome saved = replacer.Commit();
            return saved.Ok() && saved.warnings.isEmpty() ? 0 : 1;
        };
        EXPECT_EQ(save(), 0);
    }

    // After the next save completes, the file holds it, and nothing else is left but the
    // records of earlier saves whose documents the file does not hold ('discarded', as the user
    // may), or none.
    void CheckNextSave(const SavePath& path, const QString& target, const std::string& where,
                       const QList<QByteArray>& discarded = {})
    {
        SaveNow(path, target, kNew);
        EXPECT_EQ(Describe(ReadAll(target)), "new") << where;
        for (QString record = Announced(target); !record.isEmpty(); record = Announced(target)) {
            EXPECT_TRUE(discarded.contains(ReadAll(record)))
                << where << ": " << Describe(ReadAll(record));
            if (!file::SaveRecord::Discard(record, support::kFileNames).Ok() || HasFailure())
                return;
        }
        EXPECT_EQ(Entries(Work()) + Entries(State() + QStringLiteral("/vellorin")), Expected())
            << where << ": after the next save";
        EXPECT_EQ(Mode(target), kMode) << where << ": after the next save";
        if (attributed) {
            EXPECT_EQ(::getxattr(QFile::encodeName(target).constData(), "user.xdg.origin.url",
                                 nullptr, 0),
                      1)
                << where << ": the attribute stays";
        }
    }

    // strace's options that kill or fail 'call' (name:when=N) with 'fault'.
    static QStringList Inject(const QString& call, const QString& fault)
    {
        const QString name = call.section(QLatin1Char(':'), 0, 0);
        return QStringList{QStringLiteral("-e"), QStringLiteral("trace=") + name,
                           QStringLiteral("-e"),
                           QStringLiteral("inject=") + name + QLatin1Char(':') + fault +
                               QLatin1Char(':') + call.section(QLatin1Char(':'), 1)};
    }

    QTemporaryDir root;
    QStringList names;       // what belongs in the work folder
    bool attributed = false; // the target has a user attribute
};

TEST_P(SaveCrashTest, EveryKillAndFailedCallKeepsTheNewestCompleteDocument)
{
    if (!Traceable())
        GTEST_SKIP() << "strace cannot trace here";
#ifndef VELLORIN_SANITIZED
    const QStringList faults{"signal=KILL", "error=ENOSPC", "error=EDQUOT", "error=EIO",
                             "error=EINTR"};
#else
    // A sanitizer sees each path of the save and of the save after it once: a kill, a failure
    // and an interruption at every call. The save handles EDQUOT and EIO as it handles ENOSPC,
    // and leaves the same files behind; the build without sanitizers checks the file after each.
    const QStringList faults{"signal=KILL", "error=ENOSPC", "error=EINTR"};
#endif
    const SavePath& path = GetParam();
    const QStringList calls = SaveCalls(path).names;
    ASSERT_GT(calls.size(), 10) << path.name;
    std::map<std::string, int> verdicts; // how the runs ended: a check that faults landed
    for (const QString& fault : faults) {
        for (const QString& call : calls) {
            const QString target = Fresh(path);
            const QByteArray report = Run(path, target, Inject(call, fault));
            const std::string where =
                std::string(path.name) + ", " + (fault + QLatin1Char(' ') + call).toStdString();
            if (fault == QLatin1String("signal=KILL")) {
                EXPECT_TRUE(report.isEmpty()) << where << ": the kill landed";
            }
            QByteArray newest = kOld;
            Check(target, where + ": " + report.toStdString(), report, kNew, newest);
            CheckNextSave(path, target, where);
            ++verdicts[report.isEmpty() ? "killed"
                                        : report.left(report.indexOf('\n')).toStdString()];
            if (HasFailure())
                return;
        }
    }
    // A file-size limit that the record, or the new content, passes half-way: a short write,
    // then EFBIG, never the signal that would end the save there.
    for (const auto& [content, limit] :
         {std::make_pair(kNew, kNew.size() + 1000), std::make_pair(kLarger, kOld.size() + 1000)}) {
        const QString target = Fresh(path);
        const QByteArray report = Run(path, target, {}, content, QString::number(limit));
        EXPECT_FALSE(report.isEmpty()) << path.name << ": the limit's signal ended the save";
        QByteArray newest = kOld;
        Check(target, std::string(path.name) + ", fsize", report, content, newest);
        CheckNextSave(path, target, std::string(path.name) + ", fsize");
        ++verdicts[report.isEmpty() ? "killed" : report.left(report.indexOf('\n')).toStdString()];
    }
    // The failures landed, for each error one in six calls at least (EINTR is retried): a
    // sanitized build's own calls end the driver instead at times.
    const auto errors = std::count_if(faults.begin(), faults.end(), [](const QString& fault) {
        return fault.startsWith(QLatin1String("error=")) && fault != QLatin1String("error=EINTR");
    });
    EXPECT_GT(verdicts["failed"], calls.size() * errors / 6) << path.name;
    std::cout << path.name << ": " << calls.size() << " system calls, each met by "
              << faults.join(QLatin1String(", ")).toStdString() << ", and 2 file-size limits:";
    for (const auto& [verdict, count] : verdicts)
        std::cout << ' ' << count << ' ' << verdict;
    std::cout << '\n';
}

// Sequences on both ways of writing in place: a first save killed at every system call, then a
// second one, of another document, killed at kSecondKills calls of an undisturbed save's, spread
// evenly and shifted with each first, so that every call is reached; then a third that
// completes. After every step the newest complete document is in the file or in the announced
// record, and the user's own file beside it is untouched.
TEST_P(SaveCrashTest, SequencesOfKilledSavesKeepTheNewestCompleteDocument)
{
    if (!Traceable())
        GTEST_SKIP() << "strace cannot trace here";
    constexpr int kSecondKills = 2;
    const SavePath& path = GetParam();
    if (path.start == Start::Attribute)
        GTEST_SKIP() << "renamed: each save alone is all or nothing";
#ifdef VELLORIN_SANITIZED
    // What the files hold after each step is the unit build's to show. A sanitizer has nothing
    // more to see here: a killed save runs no code a save failed at the same call does not, and
    // the save after a killed one runs above, after every kill.
    GTEST_SKIP() << "the sequences run in the build without sanitizers";
#endif
    const QStringList calls = SaveCalls(path).names;
    ASSERT_GT(calls.size(), 10) << path.name;
    const int stride = static_cast<int>(calls.size()) / kSecondKills;
    int sequences = 0;
    for (int first = 0; first < calls.size(); ++first) {
        for (int second = first % stride; second < calls.size(); second += stride) {
            const QString target = Fresh(path);
            const std::string where = std::string(path.name) + ", first killed at " +
                                      calls[first].toStdString() + ", second at " +
                                      calls[second].toStdString();
            QByteArray newest = kOld;
            Check(target, where + " (first)",
                  Run(path, target, Inject(calls[first], QStringLiteral("signal=KILL"))), kNew,
                  newest);
            Check(target, where + " (second)",
                  Run(path, target, Inject(calls[second], QStringLiteral("signal=KILL")), kLarger),
                  kLarger, newest);
            CheckNextSave(path, target, where, {kLarger});
            ++sequences;
            if (HasFailure())
                return;
        }
    }
    std::cout << path.name << ": " << sequences << " sequences of three saves\n";
}

// Another program that takes no lock writes the file, or renames another file over it, at any
// one of the system calls of an in-place save: a save that says it saved leaves the file, under
// its name, holding exactly the new content; one that fails once it may have written the file
// names a record that holds the new content. What the other program does after the save locked
// the file and before the save's last look ahead of its first change (a cut where the file is
// longer, then its writes), or after the save's last change, stays exactly as that program
// left it; in the first case the save fails, naming the record.
TEST_P(SaveCrashTest, AnotherProgramAtAnyCallOfAnInPlaceSaveIsToldTruthfully)
{
    if (!Traceable())
        GTEST_SKIP() << "strace cannot trace here";
    const QByteArray intruder("another program's content\n");
    const SavePath& path = GetParam();
    if (path.start == Start::Attribute)
        GTEST_SKIP() << "renamed: each save alone is all or nothing";
    const Calls calls = SaveCalls(path, {QStringLiteral("--intrude"), QStringLiteral("write")});
    // The check that the file holds the new content ends with the call before the record
    // is removed.
    const int lastCheck = static_cast<int>(
        std::find_if(calls.names.rbegin(), calls.names.rend(),
                     [](const QString& c) { return c.startsWith(QLatin1String("unlink:")); }) -
        calls.names.rbegin());
    const int checked = static_cast<int>(calls.names.size()) - lastCheck - 2;
    ASSERT_GT(checked, 0) << path.name;
    ASSERT_GT(calls.firstChange, calls.locked + 1) << path.name;
    ASSERT_GE(calls.locked, 0) << path.name;
    std::map<std::string, int> verdicts;
    for (const QString& intrusion : {QStringLiteral("write"), QStringLiteral("rename")}) {
        if (intrusion == QLatin1String("rename") && path.start == Start::ReadOnlyFolder)
            continue; // the other program may not rename there either
        for (int at = 0; at < calls.names.size(); ++at) {
            const QString& call = calls.names[at];
            const QString target = Fresh(path);
            WriteFile(target + QStringLiteral(".intruder"), intruder);
            const QByteArray report =
                Run(path, target, Inject(call, QStringLiteral("signal=SIGUSR1")), kNew, {},
                    {QStringLiteral("--intrude"), intrusion});
            const std::string where = std::string(path.name) + ", " + intrusion.toStdString() +
                                      " at " + call.toStdString() + ": " + report.toStdString();
            const QByteArray now = ReadAll(target);
            const QList<QByteArray> lines = report.split('\n');
            const QString record = QString::fromLocal8Bit(lines.value(2).mid(5));
            const bool before = at >= calls.locked && at < calls.firstChange - 1;
            if (before || at >= calls.lastChange) {
                EXPECT_EQ(Describe(now), Describe(intruder)) << where << ": left as it was";
            }
            if (before) {
                EXPECT_TRUE(lines.value(3).startsWith("It was changed by another program") ||
                            lines.value(3).startsWith("It was replaced by another file"))
                    << where;
                EXPECT_FALSE(record.isEmpty()) << where;
            }
            if (report.startsWith("saved\n")) {
                // What another program does once the save's last check looked stays, and
                // no save can tell.
                if (at < checked || now != intruder) {
                    EXPECT_EQ(Describe(now), "new") << where;
                }
            } else {
                ASSERT_TRUE(report.startsWith("failed\n")) << where;
                // Two programs writing at once without a lock mix their bytes; the save
                // must then say so.
                EXPECT_TRUE(now == kOld || now == kNew || now == intruder ||
                            lines.value(3).startsWith("It was changed by another program"))
                    << where << ": torn, " << Describe(now);
                if (!record.isEmpty()) {
                    EXPECT_EQ(Describe(ReadAll(record)), "new") << where;
                }
                EXPECT_TRUE(record.isEmpty() || lines.value(3).contains(record.toLocal8Bit()))
                    << where << ": the reason names the record";
            }
            UsersOwnStay(where);
            ++verdicts[(intrusion + QLatin1Char(' ') +
                        (now == intruder ? "left"
                         : now == kNew   ? "overwritten"
                                         : "neither") +
                        QLatin1Char(' ') + report.left(report.indexOf('\n')))
                           .toStdString()];
            if (HasFailure())
                return;
        }
    }
    std::cout << path.name << ": another program at each of " << calls.names.size()
              << " system calls, " << calls.firstChange - calls.locked - 1
              << " of them after the lock and before the last look ahead of the first change:";
    for (const auto& [verdict, count] : verdicts)
        std::cout << " " << count << " " << verdict << ";";
    std::cout << '\n';
}

// Each way of saving a case of its own, so that CTest can run them on several cores.
INSTANTIATE_TEST_SUITE_P(Paths, SaveCrashTest, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<SavePath>& info) {
                             return std::string(info.param.start == Start::Attribute ? "Rename"
                                                : info.param.start == Start::HardLink
                                                    ? "HardLink"
                                                    : "ReadOnlyFolder");
                         });

} // namespace
