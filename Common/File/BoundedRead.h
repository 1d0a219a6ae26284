#pragma once

#include "Common/File/Outcome.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <functional>

namespace file {

// Reads a whole regular file, and never more than one byte beyond a size limit. Only regular
// files are read: a look before opening keeps FIFOs and devices from being opened at all, and
// a look at the opened descriptor closes the race with a file swapped in between; opening
// never blocks.
class BoundedRead
{
    Q_DECLARE_TR_FUNCTIONS(BoundedRead)

public:
    // Called between the look before opening and the open, for tests that swap the file.
    using Hook = std::function<void()>;

    // On failure 'bytes' is empty. A file larger than 'maxBytes' is TooLarge, refused on its
    // reported size before anything is read when that size tells it.
    static Outcome Read(const QString& fileName, qint64 maxBytes, QByteArray& bytes,
                        const Hook& beforeOpen = {});
};

} // namespace file
