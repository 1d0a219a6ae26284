#include "Spawn.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace support {

Ended Spawn(const QString& program, const QStringList& arguments, const QStringList& environment,
            int timeoutMs)
{
    std::vector<QByteArray> texts{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        texts.push_back(QFile::encodeName(argument));
    const size_t argumentCount = texts.size();
    std::vector<QByteArray> replaced;
    for (const QString& entry : environment)
        replaced.push_back(entry.toLocal8Bit());
    for (char** entry = environ; *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        const QByteArray name(*entry, equals ? static_cast<int>(equals - *entry) : -1);
        bool kept = true;
        for (const QByteArray& entryReplaced : replaced)
            kept = kept && !entryReplaced.startsWith(name + '=');
        if (kept)
            texts.emplace_back(*entry);
    }
    std::vector<char*> argv;
    for (size_t i = 0; i < argumentCount; ++i)
        argv.push_back(texts[i].data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (QByteArray& entry : replaced)
        envp.push_back(entry.data());
    for (size_t i = argumentCount; i < texts.size(); ++i)
        envp.push_back(texts[i].data());
    envp.push_back(nullptr);

    Ended ended;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return ended;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (started != 0) {
        ::close(out[0]);
        return ended;
    }
    // Read until the program closes its output or its time is up.
    QElapsedTimer clock;
    clock.start();
    bool late = false;
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        pollfd ready{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) == 0) {
            late = true;
            break;
        }
        char buffer[4096];
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got > 0)
            ended.output.append(buffer, static_cast<int>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    ::close(out[0]);
    // A program that closed its output may still run: it has the rest of the time to end.
    int status = 0;
    pid_t waited = 0;
    while (!late && (waited = ::waitpid(pid, &status, WNOHANG)) == 0) {
        late = clock.elapsed() >= timeoutMs;
        if (!late)
            ::usleep(2000);
    }
    if (late) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else if (waited == pid) {
        ended.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return ended;
}

} // namespace support
