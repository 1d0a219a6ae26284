#pragma once

#include "Common/File/AbstractFile.h"

#include <QFile>

namespace file {

// A file on disk through QFile.
//
// Close() gives the verdict on the whole session since Open(): it is true only when every
// Write delivered all its bytes and every Flush and the final close succeeded. QFile forgets an
// earlier write error when it closes, so the verdict is kept here.
class FileQt : public AbstractFile
{
public:
    enum Mode
    {
        ReadOnly = 0,
        WriteOnly = 1,    // creates the file or empties an existing one
        WriteNewOnly = 2, // creates the file; fails when the name exists (temporary files)
        ReadWrite = 3     // creates the file when missing, keeps its contents
    };

    FileQt();
    ~FileQt() override;

    FileQt(const FileQt&) = delete;
    FileQt& operator=(const FileQt&) = delete;

    // name is UTF-8; mode is one of Mode. Fails for any other code, a null name or while a file
    // is still open.
    bool Open(const char* name, int mode);
    // Writes through a descriptor that stays open, and the caller's, after Close().
    bool OpenHandle(int handle);

    bool Close() override;
    bool Flush() override;
    int Read(void* buffer, unsigned size) override;
    int Write(const void* data, unsigned size) override;
    bool Seek(unsigned position) override;
    unsigned Tell() override;
    // Keeps the line's end bytes; stores at most size - 2 bytes and a zero. Null at the end of
    // the file, when size is below 3 or when the file cannot be read; buffer is then untouched.
    char* ReadLine(char* buffer, int size) override;

    virtual qint64 Size();
    // Cuts the file at the current position.
    virtual bool Truncate();

    bool Failed() const { return m_failed; }
    // The toolkit's description of the last error.
    QString ErrorString() const { return m_file.errorString(); }

private:
    QFile m_file;
    int m_mode = ReadOnly;
    bool m_failed = false;
};

} // namespace file
