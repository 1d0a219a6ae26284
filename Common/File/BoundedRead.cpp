#include "BoundedRead.h"

#include "UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace file {

namespace {

// The first buffer, when the file reports a smaller size: most files that report none are
// small.
constexpr qint64 kFirstBuffer = qint64{64} * 1024;

} // namespace

Outcome BoundedRead::Read(const QString& fileName, qint64 maxBytes, QByteArray& bytes,
                          const Hook& beforeOpen)
{
    bytes.clear();
    const QByteArray path = QFile::encodeName(fileName);
    auto unreadable = [] {
        return Outcome::Failed(
            Outcome::Unreadable,
            tr("It cannot be read: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
    };
    auto notRegular = [] {
        return Outcome::Failed(Outcome::NotRegularFile, tr("It is not a regular file."));
    };
    auto tooLarge = [maxBytes, &bytes] {
        bytes.clear();
        return Outcome::Failed(Outcome::TooLarge, tr("It is larger than %1 bytes.").arg(maxBytes));
    };

    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return unreadable();
    if (!S_ISREG(info.st_mode))
        return notRegular();
    if (beforeOpen)
        beforeOpen();
    UniqueFd file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file)
        return unreadable();
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return notRegular();
    if (info.st_size > maxBytes)
        return tooLarge();

    // The reported size is only a hint: some files report 0 and deliver without end. One byte
    // beyond the limit tells a file that is too large.
    const qint64 capacity = qMax<qint64>(info.st_size + 1, kFirstBuffer);
    bytes.resize(static_cast<int>(qMin<qint64>(capacity, maxBytes + 1)));
    qint64 size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes)
                break;
            bytes.resize(static_cast<int>(qMin<qint64>(qint64(bytes.size()) * 2, maxBytes + 1)));
        }
        const ssize_t got =
            ::read(file.Get(), bytes.data() + size, static_cast<std::size_t>(bytes.size() - size));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Outcome failed = unreadable();
            bytes.clear();
            return failed;
        }
        if (got == 0)
            break;
        size += got;
    }
    if (size > maxBytes)
        return tooLarge();
    bytes.resize(static_cast<int>(size));
    return {};
}

} // namespace file
