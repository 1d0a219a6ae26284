#pragma once

#include "Common/File/AbstractFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

namespace file {

// An AbstractFile over a string of bytes, for tests and fuzzing. Writes overwrite at the
// position and extend the data. It can be told to fail writes after a number of bytes, to
// deliver reads in short pieces, and to report the end of the data as -1 instead of 0.
class MemoryFile : public AbstractFile
{
public:
    MemoryFile() = default;
    explicit MemoryFile(std::string bytes) : m_bytes(std::move(bytes)) {}

    bool Close() override
    {
        ++m_closeCalls;
        return true;
    }
    bool Flush() override
    {
        ++m_flushCalls;
        return true;
    }

    int Read(void* buffer, unsigned size) override
    {
        ++m_readCalls;
        if (size == 0)
            return 0;
        if (m_position >= m_bytes.size())
            return m_endResult;
        std::size_t count = std::min<std::size_t>(size, m_bytes.size() - m_position);
        if (m_readPiece > 0)
            count = std::min<std::size_t>(count, m_readPiece);
        std::memcpy(buffer, m_bytes.data() + m_position, count);
        m_position += count;
        return static_cast<int>(count);
    }

    int Write(const void* data, unsigned size) override
    {
        ++m_writeCalls;
        std::size_t count = size;
        if (m_writeLimited)
            count = std::min(count, m_writeBudget);
        if (count == 0)
            return size == 0 ? 0 : -1;
        if (m_writeLimited)
            m_writeBudget -= count;
        if (m_position + count > m_bytes.size())
            m_bytes.resize(m_position + count);
        m_bytes.replace(m_position, count, static_cast<const char*>(data), count);
        m_position += count;
        return static_cast<int>(count);
    }

    bool Seek(unsigned position) override
    {
        if (position > m_bytes.size())
            return false;
        m_position = position;
        return true;
    }
    unsigned Tell() override { return static_cast<unsigned>(m_position); }

    const std::string& Bytes() const { return m_bytes; }

    // Writes deliver at most this many bytes in all; the rest is refused.
    void FailWritesAfter(std::size_t bytes)
    {
        m_writeLimited = true;
        m_writeBudget = bytes;
    }
    // Each Read delivers at most this many bytes (0: no limit).
    void DeliverReadsInPieces(unsigned piece) { m_readPiece = piece; }
    // What Read returns at the end of the data: 0 like a file, or -1 like a failing device.
    void SetEndResult(int result) { m_endResult = result; }

    int ReadCalls() const { return m_readCalls; }
    int WriteCalls() const { return m_writeCalls; }
    int FlushCalls() const { return m_flushCalls; }
    int CloseCalls() const { return m_closeCalls; }

private:
    std::string m_bytes;
    std::size_t m_position = 0;
    bool m_writeLimited = false;
    std::size_t m_writeBudget = 0;
    unsigned m_readPiece = 0;
    int m_endResult = 0;
    int m_readCalls = 0;
    int m_writeCalls = 0;
    int m_flushCalls = 0;
    int m_closeCalls = 0;
};

} // namespace file
