#pragma once

#include <functional>

namespace support {

// Exit code of RunUnprivileged's child when it could not give up its privileges.
constexpr int kCouldNotDropPrivileges = 125;

// Runs 'body' in a forked child and returns what body returned (0 to 255), 128 + the signal
// that ended the child, or -1 when no child could be started. The child leaves with _exit: no
// exit handlers run there.
int RunInChild(const std::function<int()>& body);

// Gives up every capability of the calling process (effective, permitted, inheritable and
// ambient sets), and as far as it may, the capabilities a later exec would grant to user 0.
// Root is then bound by file modes like any user, under its own user id: no other user needs
// to exist or be mapped, and folders private to the current user stay reachable. Without
// capabilities there is nothing to give up. Returns false if any effective capability remains.
bool DropPrivileges();

// RunInChild for a child that has dropped its privileges first; kCouldNotDropPrivileges when
// it could not.
int RunUnprivileged(const std::function<int()>& body);

} // namespace support
