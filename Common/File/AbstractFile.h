#pragma once

#include <string>

namespace file {

// A byte stream: the only way the support library reaches files.
//
// The binary header members read and write little-endian items at the current position: a magic
// of up to 32 raw bytes, a 16-bit version and strings prefixed by a signed 16-bit byte count.
class AbstractFile
{
public:
    virtual ~AbstractFile();

    virtual bool Close() = 0;
    virtual bool Flush() = 0;
    // Returns the number of bytes read, 0 at the end of the data, -1 on error.
    virtual int Read(void* buffer, unsigned size) = 0;
    // Returns the number of bytes written, -1 on error.
    virtual int Write(const void* data, unsigned size) = 0;
    virtual bool Seek(unsigned position) = 0;
    virtual unsigned Tell() = 0;
    // Reads one line without its carriage returns and line feed into buffer (size >= 1, else
    // null). A zero byte, or a Read that delivers nothing, ends the data: null when no character
    // came before it. A line longer than size - 1 characters is cut; the character after the cut
    // is lost.
    virtual char* ReadLine(char* buffer, int size);

    // True when the next length (<= 32) bytes equal magic, compared as strncmp does.
    bool CheckMagic(const char* magic, unsigned length);
    // The version read when it lies in 1..maximum, else 0.
    unsigned short ReadVersion(const char* name, unsigned short maximum);
    // Stores at most the first 32767 bytes, so that the count stays a positive 16-bit number.
    AbstractFile& WriteString(const std::string& text);
    // Empties text first; stops early at the end of the data.
    AbstractFile& ReadString(std::string& text);

private:
    unsigned ReadFully(void* buffer, unsigned size);
};

} // namespace file
