#include "FileQt.h"

#include <climits>

namespace file {

namespace {

// Read and Write report their counts as int.
qint64 ClampedSize(unsigned size)
{
    return size < static_cast<unsigned>(INT_MAX) ? static_cast<qint64>(size) : INT_MAX;
}

} // namespace

FileQt::FileQt() = default;

FileQt::~FileQt() = default;

bool FileQt::Open(const char* name, int mode)
{
    if (m_file.isOpen())
        return false;
    m_mode = mode;
    m_failed = false;

    QIODevice::OpenMode openMode;
    switch (mode) {
    case ReadOnly:
        openMode = QIODevice::ReadOnly;
        break;
    case WriteOnly:
        openMode = QIODevice::WriteOnly;
        break;
    case WriteNewOnly:
        openMode = QIODevice::WriteOnly | QIODevice::NewOnly;
        break;
    case ReadWrite:
        openMode = QIODevice::ReadWrite;
        break;
    default:
        return false;
    }
    if (name == nullptr)
        return false;
    m_file.setFileName(QString(name));
    return m_file.open(openMode);
}

bool FileQt::OpenHandle(int handle)
{
    if (m_file.isOpen())
        return false;
    m_mode = WriteOnly;
    m_failed = false;
    return m_file.open(handle, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
}

bool FileQt::Close()
{
    if (!m_file.isOpen())
        return !m_failed;
    const bool flushed = m_file.flush();
    m_file.close();
    // After a failed flush QFile keeps that error; otherwise it reports the close itself.
    if (!flushed || m_file.error() != QFileDevice::NoError)
        m_failed = true;
    return !m_failed;
}

bool FileQt::Flush()
{
    // A closed file has nothing left to push; this keeps the flush that follows Close() from
    // touching the verdict.
    if (!m_file.isOpen())
        return true;
    const bool flushed = m_file.flush();
    if (!flushed)
        m_failed = true;
    return flushed;
}

int FileQt::Read(void* buffer, unsigned size)
{
    return static_cast<int>(m_file.read(static_cast<char*>(buffer), ClampedSize(size)));
}

int FileQt::Write(const void* data, unsigned size)
{
    const qint64 written = m_file.write(static_cast<const char*>(data), ClampedSize(size));
    if (written != static_cast<qint64>(size))
        m_failed = true;
    return static_cast<int>(written);
}

bool FileQt::Seek(unsigned position)
{
    return m_file.seek(static_cast<qint64>(position));
}

unsigned FileQt::Tell()
{
    return static_cast<unsigned>(m_file.pos());
}

char* FileQt::ReadLine(char* buffer, int size)
{
    if (buffer == nullptr || size < 3 || m_file.atEnd())
        return nullptr;
    if (m_file.readLine(buffer, size - 1) < 0)
        return nullptr;
    return buffer;
}

qint64 FileQt::Size()
{
    return m_file.size();
}

bool FileQt::Truncate()
{
    return m_file.resize(m_file.pos());
}

} // namespace file
