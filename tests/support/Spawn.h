#pragma once

#include <QByteArray>
#include <QStringList>

namespace support {

// How a program run by Spawn ended: its exit code (128 + the signal that ended it, -1 when it
// could not be started or outlived its time) and what it wrote to its standard output.
struct Ended
{
    int code = -1;
    QByteArray output;
};

// Runs 'program' with 'arguments' and the environment of this process plus 'environment'
// (NAME=value entries, which replace those of the same name), and waits up to 'timeoutMs' for
// it; one that outlives it is killed. Started by posix_spawn, which copies nothing of this
// process: a fork of a large process, as one under the sanitizers is, costs more than the
// short program it runs.
Ended Spawn(const QString& program, const QStringList& arguments,
            const QStringList& environment = {}, int timeoutMs = 60000);

} // namespace support
