#include "tests/support/MemoryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Input: three control bytes, then the expected magic (as many bytes as the first control
// byte names), then the file. The other control bytes pick the read piece size, the end
// result, the maximum version and the line buffer size.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const unsigned magicLength = data[0] % 40;
    const unsigned readPiece = data[1] & 7;
    const int endResult = (data[1] & 8) != 0 ? -1 : 0;
    const unsigned short maximum = static_cast<unsigned short>(data[2] * 257u);
    const int lineSize = data[2] % 70 - 2;
    data += 3;
    size -= 3;

    const std::size_t expectedSize = magicLength < size ? magicLength : size;
    const std::string expected(reinterpret_cast<const char*>(data), expectedSize);
    const std::string contents(reinterpret_cast<const char*>(data) + expectedSize,
                               size - expectedSize);

    file::MemoryFile input(contents);
    input.DeliverReadsInPieces(readPiece);
    input.SetEndResult(endResult);

    char magic[40] = {};
    expected.copy(magic, sizeof magic);
    input.CheckMagic(magic, magicLength);
    input.ReadVersion("fuzz", maximum);

    // Every string read must survive a write and a second read unchanged.
    std::string text;
    for (unsigned before = input.Tell(); before < contents.size(); before = input.Tell()) {
        input.ReadString(text);
        if (text.size() > 32767 || input.Tell() <= before || input.Tell() > contents.size())
            std::abort();
        file::MemoryFile copy;
        std::string back;
        copy.WriteString(text).Seek(0);
        copy.ReadString(back);
        if (back != text || copy.Tell() != copy.Bytes().size())
            std::abort();
    }

    // The default line reader over the same bytes must end and stay inside its buffer.
    file::MemoryFile lines(contents);
    lines.DeliverReadsInPieces(readPiece);
    lines.SetEndResult(endResult);
    char* buffer = lineSize > 0 ? new char[lineSize] : nullptr;
    char* line = nullptr;
    std::size_t calls = 0;
    while ((line = lines.ReadLine(buffer, lineSize)) != nullptr) {
        if (line != buffer || ++calls > contents.size() + 1)
            std::abort();
    }
    delete[] buffer;
    return 0;
}
