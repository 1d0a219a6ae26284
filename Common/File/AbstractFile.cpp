#include "AbstractFile.h"

#include <cstdio>
#include <cstring>

namespace file {

namespace {

const unsigned MaxMagicLength = 32;
const std::size_t MaxStringLength = 32767;

} // namespace

AbstractFile::~AbstractFile() = default;

char* AbstractFile::ReadLine(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
        return nullptr;

    int count = 0;
    while (count < size) {
        char byte = 0;
        const bool gotByte = Read(&byte, 1) == 1;
        if (!gotByte)
            byte = 0;
        if (byte == '\r')
            continue;
        if (byte == 0) {
            buffer[count] = 0;
            if (count == 0)
                return nullptr;
            // Step back onto the zero byte so that the next call returns null; after an
            // empty Read there is nothing to step back over.
            if (gotByte)
                Seek(Tell() - 1);
            return buffer;
        }
        if (byte == '\n') {
            buffer[count] = 0;
            return buffer;
        }
        buffer[count++] = byte;
    }
    buffer[size - 1] = 0;
    return buffer;
}

// Keeps reading until size bytes have come or a Read delivers nothing, so that a stream that
// hands out data in pieces is not taken for a short file.
unsigned AbstractFile::ReadFully(void* buffer, unsigned size)
{
    unsigned total = 0;
    while (total < size) {
        const int count = Read(static_cast<char*>(buffer) + total, size - total);
        if (count <= 0)
            break;
        total += static_cast<unsigned>(count) < size - total ? static_cast<unsigned>(count)
                                                             : size - total;
    }
    return total;
}

bool AbstractFile::CheckMagic(const char* magic, unsigned length)
{
    if (length > MaxMagicLength) {
        std::fprintf(stderr, "Magic size is too long.\n");
        return false;
    }
    char bytes[MaxMagicLength] = {};
    const unsigned count = ReadFully(bytes, length);
    if (count == length && std::strncmp(magic, bytes, length) == 0)
        return true;
    std::fprintf(stderr, "Invalid magic '%.*s' '%.*s'.\n", static_cast<int>(length), magic,
                 static_cast<int>(count), bytes);
    return false;
}

unsigned short AbstractFile::ReadVersion(const char* name, unsigned short maximum)
{
    unsigned char bytes[2] = {};
    unsigned version = 0;
    if (ReadFully(bytes, 2) == 2)
        version = bytes[0] | static_cast<unsigned>(bytes[1]) << 8;
    if (version != 0 && version <= maximum)
        return static_cast<unsigned short>(version);
    std::fprintf(stderr, "%s: Invalid version %u > %u.\n", name != nullptr ? name : "", version,
                 static_cast<unsigned>(maximum));
    return 0;
}

AbstractFile& AbstractFile::WriteString(const std::string& text)
{
    const std::size_t length = text.size() < MaxStringLength ? text.size() : MaxStringLength;
    const unsigned char bytes[2] = {static_cast<unsigned char>(length & 0xff),
                                    static_cast<unsigned char>(length >> 8)};
    Write(bytes, 2);
    if (length > 0)
        Write(text.data(), static_cast<unsigned>(length));
    return *this;
}

AbstractFile& AbstractFile::ReadString(std::string& text)
{
    text.clear();
    unsigned char bytes[2] = {};
    if (ReadFully(bytes, 2) != 2)
        return *this;
    int count = bytes[0] | bytes[1] << 8;
    if (count > 0x7fff)
        count -= 0x10000;
    if (count <= 0)
        return *this;
    text.reserve(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        char byte = 0;
        if (Read(&byte, 1) != 1)
            break;
        text.push_back(byte);
    }
    return *this;
}

} // namespace file
