#include "XmlWriter.h"

#include "Common/File/AbstractFile.h"
#include "XmlAttribute.h"
#include "XmlAttributeList.h"
#include "XmlChars.h"

#include <climits>
#include <cstdio>

namespace {

const char Indent[] = "   ";

// The signed number with the same 32 bits, without relying on an out-of-range conversion.
int SameBits(unsigned int value)
{
    if (value <= static_cast<unsigned int>(INT_MAX))
        return static_cast<int>(value);
    return -static_cast<int>(UINT_MAX - value) - 1;
}

} // namespace

XmlWriter::XmlWriter(file::AbstractFile* file) : m_file(file), m_buffer(), m_depth(0)
{
    WriteDeclaration();
}

XmlWriter::~XmlWriter()
{
    if (m_file != nullptr) {
        m_file->Flush();
        m_file->Close();
    }
}

void XmlWriter::WriteDeclaration()
{
    m_depth = 0;
    WriteText(kXmlDeclaration);
    WriteText("\n");
}

XmlWriter& XmlWriter::OpenElement(const char* name, const XmlAttributeList* attributes)
{
    StartTag(name, attributes);
    WriteText(">\n");
    ++m_depth;
    return *this;
}

XmlWriter& XmlWriter::CloseElement(const char* name)
{
    --m_depth;
    WriteIndent();
    return EndTag(name);
}

XmlWriter& XmlWriter::WriteElement(const char* name, const char* value,
                                   const XmlAttributeList* attributes)
{
    StartTag(name, attributes);
    WriteText(">");
    WriteText(value);
    return EndTag(name);
}

XmlWriter& XmlWriter::WriteElement(const char* name, const std::string& value,
                                   const XmlAttributeList* attributes)
{
    return WriteElement(name, value.c_str(), attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, bool value, const XmlAttributeList* attributes)
{
    return WriteElement(name, value ? 1 : 0, attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, unsigned char value,
                                   const XmlAttributeList* attributes)
{
    return WriteElement(name, static_cast<int>(value), attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, short value,
                                   const XmlAttributeList* attributes)
{
    return WriteElement(name, static_cast<int>(value), attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, unsigned short value,
                                   const XmlAttributeList* attributes)
{
    return WriteElement(name, static_cast<int>(value), attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, int value, const XmlAttributeList* attributes)
{
    StartTag(name, attributes);
    WriteText(">");
    WriteInt(value);
    return EndTag(name);
}

XmlWriter& XmlWriter::WriteElement(const char* name, unsigned int value,
                                   const XmlAttributeList* attributes)
{
    return WriteElement(name, SameBits(value), attributes);
}

XmlWriter& XmlWriter::WriteElement(const char* name, float value,
                                   const XmlAttributeList* attributes)
{
    StartTag(name, attributes);
    WriteText(">");
    WriteFloat(value);
    return EndTag(name);
}

void XmlWriter::WriteAttributes(const XmlAttributeList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        const XmlAttribute* attribute = list.At(i);
        if (attribute == nullptr)
            continue;
        WriteText(" ");
        WriteText(attribute->Name());
        WriteText("=\"");
        switch (attribute->Type()) {
        case XmlAttributeType::Bool:
            WriteInt(attribute->BoolByte());
            break;
        case XmlAttributeType::Int:
            WriteInt(attribute->IntValue());
            break;
        case XmlAttributeType::UInt:
            WriteInt(SameBits(attribute->UIntValue()));
            break;
        case XmlAttributeType::Float:
            WriteFloat(attribute->FloatValue());
            break;
        case XmlAttributeType::String:
            WriteText(attribute->Text());
            break;
        default:
            std::fprintf(stderr, "Invalid attribute: %i.\n",
                         SameBits(static_cast<unsigned>(attribute->Type())));
            break;
        }
        WriteText("\"");
    }
}

void XmlWriter::WriteIndent()
{
    if (m_file == nullptr)
        return;
    for (int i = 0; i < m_depth; ++i)
        WriteText(Indent);
}

XmlWriter& XmlWriter::operator<<(const char* text)
{
    WriteText(text);
    return *this;
}

XmlWriter& XmlWriter::operator<<(bool value)
{
    WriteInt(value ? 1 : 0);
    return *this;
}

XmlWriter& XmlWriter::operator<<(unsigned char value)
{
    WriteInt(value);
    return *this;
}

XmlWriter& XmlWriter::operator<<(short value)
{
    WriteInt(value);
    return *this;
}

XmlWriter& XmlWriter::operator<<(unsigned short value)
{
    WriteInt(value);
    return *this;
}

XmlWriter& XmlWriter::operator<<(int value)
{
    WriteInt(value);
    return *this;
}

XmlWriter& XmlWriter::operator<<(unsigned int value)
{
    WriteInt(SameBits(value));
    return *this;
}

XmlWriter& XmlWriter::operator<<(float value)
{
    WriteFloat(value);
    return *this;
}

// The one way out to the file. Kept to a single pass with no copy: it runs once per byte of
// every document.
void XmlWriter::WriteText(const char* text)
{
    if (m_file == nullptr || text == nullptr)
        return;
    for (; *text != 0; ++text)
        m_file->Write(text, 1);
}

void XmlWriter::WriteInt(int value)
{
    if (m_file == nullptr)
        return;
    std::snprintf(m_buffer, sizeof m_buffer, "%d", value);
    WriteText(m_buffer);
}

void XmlWriter::WriteFloat(float value)
{
    if (m_file == nullptr)
        return;
    std::snprintf(m_buffer, sizeof m_buffer, "%f", static_cast<double>(value));
    WriteText(m_buffer);
}

void XmlWriter::StartTag(const char* name, const XmlAttributeList* attributes)
{
    WriteIndent();
    WriteText("<");
    WriteText(name);
    if (attributes != nullptr)
        WriteAttributes(*attributes);
}

XmlWriter& XmlWriter::EndTag(const char* name)
{
    WriteText("</");
    WriteText(name);
    WriteText(">\n");
    return *this;
}
