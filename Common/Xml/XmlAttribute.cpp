#include "XmlAttribute.h"

#include <cstring>

XmlAttribute::XmlAttribute(const char* name) : m_value(), m_type(XmlAttributeType::None)
{
    SetName(name);
}

XmlAttribute::XmlAttribute(const char* name, bool value) : XmlAttribute(name)
{
    Set(value);
}

XmlAttribute::XmlAttribute(const char* name, int value) : XmlAttribute(name)
{
    Set(value);
}

XmlAttribute::XmlAttribute(const char* name, unsigned int value) : XmlAttribute(name)
{
    Set(value);
}

XmlAttribute::XmlAttribute(const char* name, float value) : XmlAttribute(name)
{
    Set(value);
}

XmlAttribute::XmlAttribute(const char* name, const char* text) : XmlAttribute(name)
{
    Set(text);
}

XmlAttribute::~XmlAttribute()
{
    ReleaseText();
}

void XmlAttribute::SetName(const char* name)
{
    std::memset(m_name, 0, sizeof m_name);
    if (name != nullptr)
        std::strncpy(m_name, name, MaxNameLength);
}

void XmlAttribute::Set(bool value)
{
    ReleaseText();
    m_value[0] = value ? 1 : 0;
    m_type = XmlAttributeType::Bool;
}

void XmlAttribute::Set(int value)
{
    ReleaseText();
    std::memcpy(m_value, &value, sizeof value);
    m_type = XmlAttributeType::Int;
}

void XmlAttribute::Set(unsigned int value)
{
    ReleaseText();
    std::memcpy(m_value, &value, sizeof value);
    m_type = XmlAttributeType::UInt;
}

void XmlAttribute::Set(float value)
{
    ReleaseText();
    std::memcpy(m_value, &value, sizeof value);
    m_type = XmlAttributeType::Float;
}

void XmlAttribute::Set(const char* text)
{
    ReleaseText();
    if (text == nullptr)
        text = "";
    const std::size_t size = std::strlen(text) + 1;
    char* copy = new char[size];
    std::memcpy(copy, text, size);
    std::memcpy(m_value, &copy, sizeof copy);
    m_type = XmlAttributeType::String;
}

unsigned char XmlAttribute::BoolByte() const
{
    return m_value[0];
}

int XmlAttribute::IntValue() const
{
    int value;
    std::memcpy(&value, m_value, sizeof value);
    return value;
}

unsigned int XmlAttribute::UIntValue() const
{
    unsigned int value;
    std::memcpy(&value, m_value, sizeof value);
    return value;
}

float XmlAttribute::FloatValue() const
{
    float value;
    std::memcpy(&value, m_value, sizeof value);
    return value;
}

const char* XmlAttribute::Text() const
{
    if (m_type != XmlAttributeType::String)
        return nullptr;
    const char* text;
    std::memcpy(&text, m_value, sizeof text);
    return text;
}

void XmlAttribute::ReleaseText()
{
    if (m_type != XmlAttributeType::String)
        return;
    delete[] Text();
    m_type = XmlAttributeType::None;
}
