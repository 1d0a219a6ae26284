#pragma once

// The type tag of an XmlAttribute; None marks a record whose value is not set yet.
enum class XmlAttributeType : unsigned
{
    None = 0,
    Bool = 1,
    Int = 2,
    UInt = 3,
    Float = 4,
    String = 5
};

// One named, typed attribute value. A String record owns a copy of its text.
class XmlAttribute
{
public:
    // Names of 32 characters or more are cut to 31.
    static const int MaxNameLength = 31;

    explicit XmlAttribute(const char* name);
    XmlAttribute(const char* name, bool value);
    XmlAttribute(const char* name, int value);
    XmlAttribute(const char* name, unsigned int value);
    XmlAttribute(const char* name, float value);
    XmlAttribute(const char* name, const char* text);
    ~XmlAttribute();

    XmlAttribute(const XmlAttribute&) = delete;
    XmlAttribute& operator=(const XmlAttribute&) = delete;

    void SetName(const char* name);
    void Set(bool value);
    void Set(int value);
    void Set(unsigned int value);
    void Set(float value);
    // A null text is stored as the empty text.
    void Set(const char* text);

    const char* Name() const { return m_name; }
    XmlAttributeType Type() const { return m_type; }

    // Each getter reads the value as its own type, whatever the tag says.
    unsigned char BoolByte() const;
    int IntValue() const;
    unsigned int UIntValue() const;
    float FloatValue() const;
    // Null unless the tag is String.
    const char* Text() const;

private:
    void ReleaseText();

    // Raw bytes, so that every typed view is read with memcpy and a flag overwrites only the
    // first byte.
    alignas(char*) unsigned char m_value[sizeof(char*) > 4 ? sizeof(char*) : 4];
    char m_name[MaxNameLength + 1];
    XmlAttributeType m_type;
};
