#pragma once

// Peak memory of one step, in bytes above what the process held just before it.
//
// The kernel's high-water mark of the resident set (VmHWM) only ever grows, so each step is
// measured from a fresh mark: freed heap pages go back to the system (malloc_trim), the mark is
// reset to the current resident set (writing 5 to /proc/self/clear_refs, Linux 4.0 and later),
// the step runs, and VmHWM minus the resident set before the step is its peak. A step that must
// leave the process as it was runs in a forked child. Where the mark cannot be reset, no figure
// is given (-1).

#include <malloc.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace peak {

// A field of /proc/self/status such as "VmRSS:", in bytes; -1 when missing.
inline std::int64_t StatusBytes(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    std::int64_t bytes = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0) {
            bytes = std::strtoll(line + length, nullptr, 10) * 1024;
            break;
        }
    }
    std::fclose(status);
    return bytes;
}

// Resets the high-water mark to the current resident set; false where that is not allowed.
inline bool ResetMark()
{
    std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (!refs)
        return false;
    const bool written = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && written;
}

// Starts a measurement: returns the resident set the step's peak is counted from.
// -1 if the mark cannot be reset.
inline std::int64_t Begin()
{
    malloc_trim(0);
    if (!ResetMark())
        return -1;
    return StatusBytes("VmRSS:");
}

// The peak since Begin() returned 'base', above it; -1 without a base.
inline std::int64_t End(std::int64_t base)
{
    return base < 0 ? -1 : StatusBytes("VmHWM:") - base;
}

// Runs 'step' once in a forked child and returns its peak above the child's resident set before
// the step, or -1 if the child failed. The parent's memory stays as it was.
template <typename Step> std::int64_t InChild(Step step)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::close(channel[0]);
        const std::int64_t base = Begin();
        step();
        const std::int64_t result = End(base);
        const ssize_t written = ::write(channel[1], &result, sizeof result);
        _exit(written == sizeof result ? 0 : 1);
    }
    ::close(channel[1]);
    std::int64_t result = -1;
    if (::read(channel[0], &result, sizeof result) != sizeof result)
        result = -1;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : -1;
}

} // namespace peak
