#pragma once

#include <string>

class XmlAttributeList;

namespace file {
class AbstractFile;
}

// Streams an indented XML document into a file, one element per line, three blanks per level.
// Nothing is escaped: names and values must already be well-formed UTF-8 XML text.
//
// Every byte goes to the file as one Write of length 1; the file does the buffering. Write
// errors are not looked at. A null file is allowed: nothing is written, the depth is still kept.
class XmlWriter
{
public:
    // Writes the declaration line when file is not null. The file stays the caller's.
    explicit XmlWriter(file::AbstractFile* file);
    // Flushes and closes the file, without deleting it.
    ~XmlWriter();

    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    // Starts a new document on the same file: depth 0 and a new declaration line.
    void WriteDeclaration();

    XmlWriter& OpenElement(const char* name, const XmlAttributeList* attributes = nullptr);
    XmlWriter& CloseElement(const char* name);

    // A leaf element with its value on one line.
    XmlWriter& WriteElement(const char* name, const char* value,
                            const XmlAttributeList* attributes = nullptr);
    // Written up to the first zero byte.
    XmlWriter& WriteElement(const char* name, const std::string& value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, bool value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, unsigned char value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, short value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, unsigned short value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, int value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, unsigned int value,
                            const XmlAttributeList* attributes = nullptr);
    XmlWriter& WriteElement(const char* name, float value,
                            const XmlAttributeList* attributes = nullptr);

    void WriteAttributes(const XmlAttributeList& list);
    void WriteIndent();

    // Raw output without markup. Flags as 0 or 1, integers in decimal (unsigned int as the
    // signed number of the same bits), floats with six decimals.
    XmlWriter& operator<<(const char* text);
    XmlWriter& operator<<(bool value);
    XmlWriter& operator<<(unsigned char value);
    XmlWriter& operator<<(short value);
    XmlWriter& operator<<(unsigned short value);
    XmlWriter& operator<<(int value);
    XmlWriter& operator<<(unsigned int value);
    XmlWriter& operator<<(float value);

    int Depth() const { return m_depth; }

private:
    void WriteText(const char* text);
    void WriteInt(int value);
    void WriteFloat(float value);
    void StartTag(const char* name, const XmlAttributeList* attributes);
    XmlWriter& EndTag(const char* name);

    file::AbstractFile* m_file;
    char m_buffer[128];
    int m_depth;
};
