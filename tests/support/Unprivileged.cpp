#include "support/Unprivileged.h"

#include <cerrno>
#include <linux/capability.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

bool DropPrivileges()
{
    // Needs CAP_SETPCAP, so before the capabilities go; a process without them has no use
    // for it. Keeps an exec of a program by user 0 from bringing the capabilities back.
    prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);

    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, none) != 0)
        return false;

    __user_cap_data_struct now[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, now) != 0)
        return false;
    for (const __user_cap_data_struct& part : now)
        if (part.effective != 0 || part.permitted != 0)
            return false;
    return true;
}

int RunInChild(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0)
        _exit(body() & 0xff);
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunUnprivileged(const std::function<int()>& body)
{
    return RunInChild([&body] { return DropPrivileges() ? body() : kCouldNotDropPrivileges; });
}

} // namespace support
