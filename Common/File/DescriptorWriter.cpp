#include "DescriptorWriter.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace file {

namespace {

constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

} // namespace

void DescriptorWriter::Attach(int fd)
{
    m_fd = fd;
    m_offset = 0;
    m_error = fd < 0 ? EBADF : 0;
    m_buffer.clear();
    m_buffer.reserve(kBufferSize);
}

bool DescriptorWriter::WriteOut(const char* data, std::size_t size)
{
    while (size > 0 && m_error == 0) {
        const ssize_t written = ::pwrite(m_fd, data, size, m_offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            m_error = errno;
        else if (written == 0)
            m_error = EIO; // a regular file that takes nothing and says no error
        else {
            data += written;
            size -= static_cast<std::size_t>(written);
            m_offset += written;
        }
    }
    return m_error == 0;
}

bool DescriptorWriter::Flush()
{
    const bool written = WriteOut(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}

int DescriptorWriter::Read(void*, unsigned)
{
    return -1;
}

int DescriptorWriter::Write(const void* data, unsigned size)
{
    if (m_error != 0 || size > INT_MAX)
        return -1;
    const char* bytes = static_cast<const char*>(data);
    if (m_buffer.size() + size > kBufferSize && !Flush())
        return -1;
    if (size >= kBufferSize)
        return WriteOut(bytes, size) ? static_cast<int>(size) : -1;
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    return static_cast<int>(size);
}

bool DescriptorWriter::Seek(unsigned)
{
    return false;
}

unsigned DescriptorWriter::Tell()
{
    return static_cast<unsigned>(m_offset + static_cast<off_t>(m_buffer.size()));
}

} // namespace file
