#pragma once

#include "Common/File/AbstractFile.h"

#include <sys/types.h>

#include <vector>

namespace file {

// Writes a stream of bytes from the start of a descriptor that stays the caller's, through a
// buffer of its own. The first failing write ends the stream and its error number is kept, so
// that the reason given to the user is the one of the write that failed.
class DescriptorWriter : public AbstractFile
{
public:
    DescriptorWriter() = default;
    DescriptorWriter(const DescriptorWriter&) = delete;
    DescriptorWriter& operator=(const DescriptorWriter&) = delete;

    // Starts a new stream at offset 0 of fd; -1 detaches.
    void Attach(int fd);

    // Pushes out what is buffered; true when every byte so far has been written. The
    // descriptor stays open.
    bool Close() override { return Flush(); }
    bool Flush() override;
    int Read(void* buffer, unsigned size) override;
    int Write(const void* data, unsigned size) override;
    bool Seek(unsigned position) override;
    unsigned Tell() override;

    // The error number of the first failure, or 0.
    int Error() const { return m_error; }
    // The bytes written so far, once flushed.
    off_t Length() const { return m_offset; }

private:
    bool WriteOut(const char* data, std::size_t size);

    int m_fd = -1;
    off_t m_offset = 0;
    int m_error = 0;
    std::vector<char> m_buffer;
};

} // namespace file
