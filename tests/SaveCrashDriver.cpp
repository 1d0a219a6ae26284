// One save for SaveCrashTest, to be killed or failed at each of its system calls: replaces
// <target> by the bytes of <content> and prints the verdict on its standard output:
//   saved, then one warning a line                                          (exit 0)
//   failed, kept=<0|1>, copy=<where the previous content stays>, the reason (exit 1)
// Options: --unprivileged gives up every privilege first; --fsize N sets the file-size limit;
// --intrude write|rename acts as another program that takes no lock, when SIGUSR1 arrives (a
// trace sends it at one of the save's calls): it writes kIntruder over the target, or renames
// <target>.intruder, which holds it, over the target.
// The save itself lies between two getppid calls, so that a trace can tell its calls apart.
#include "Common/File/FileReplacer.h"

#include "support/FileNames.h"
#include "support/Unprivileged.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr char kIntruder[] = "another program's content\n";
char g_target[4096];
char g_intruder[4096];
bool g_rename = false;

// Only calls that may run in a signal handler.
void Intrude(int)
{
    const int error = errno;
    if (g_rename) {
        ::rename(g_intruder, g_target);
    } else if (const int fd = ::open(g_target, O_WRONLY | O_TRUNC | O_CLOEXEC); fd >= 0) {
        if (::write(fd, kIntruder, sizeof kIntruder - 1) < 0)
            ::_exit(6);
        ::close(fd);
    }
    errno = error;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unprivileged") == 0 && !support::DropPrivileges())
            return 3;
        if (std::strcmp(argv[i], "--intrude") == 0 && i + 1 < argc) {
            g_rename = std::strcmp(argv[i + 1], "rename") == 0;
            std::snprintf(g_target, sizeof g_target, "%s", argv[1]);
            std::snprintf(g_intruder, sizeof g_intruder, "%s.intruder", argv[1]);
            struct sigaction intrude = {};
            intrude.sa_handler = Intrude;
            intrude.sa_flags = SA_RESTART;
            ::sigaction(SIGUSR1, &intrude, nullptr);
        }
        if (std::strcmp(argv[i], "--fsize") == 0 && i + 1 < argc) {
            const rlimit limit{std::strtoul(argv[i + 1], nullptr, 10), RLIM_INFINITY};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 4;
        }
    }
    QFile source(QString::fromLocal8Bit(argv[2]));
    if (!source.open(QIODevice::ReadOnly))
        return 5;
    const QByteArray content = source.readAll();
    QByteArray report;
    ::syscall(SYS_getppid);
    {
        file::FileReplacer replacer(QString::fromLocal8Bit(argv[1]), support::kFileNames);
        // In pieces, as the XML writer sends them, which does not look at the results either.
        file::Outcome saved = replacer.Begin();
        for (int at = 0; saved.Ok() && at < content.size(); at += 1000)
            replacer.Output()->Write(content.constData() + at,
                                     static_cast<unsigned>(qMin(1000, content.size() - at)));
        if (saved.Ok())
            saved = replacer.Commit();
        if (saved.Ok())
            report = "saved\n";
        else
            report = "failed\nkept=" + QByteArray(saved.previousKept ? "1" : "0") +
                     "\ncopy=" + saved.keptCopy.toLocal8Bit() + '\n' +
                     saved.sentence.toLocal8Bit() + '\n';
        for (const QString& warning : saved.warnings)
            report += warning.toLocal8Bit() + '\n';
    }
    ::syscall(SYS_getppid);
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return report.startsWith("saved") ? 0 : 1;
}
