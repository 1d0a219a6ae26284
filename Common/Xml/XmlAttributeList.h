#pragma once

class XmlAttribute;

// A fixed-capacity list of attribute records; it owns and deletes the records it took.
class XmlAttributeList
{
public:
    explicit XmlAttributeList(int capacity);
    ~XmlAttributeList();

    XmlAttributeList(const XmlAttributeList&) = delete;
    XmlAttributeList& operator=(const XmlAttributeList&) = delete;

    // Returns the index used, or -1 when the list is full; the caller then keeps the record and
    // must delete it. A null record takes an index and is skipped when written.
    int Add(XmlAttribute* attribute);

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    // Null for an index out of range.
    XmlAttribute* At(int index) const;

private:
    XmlAttribute** m_items;
    int m_count;
    int m_capacity;
};
