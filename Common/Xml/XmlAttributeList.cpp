#include "XmlAttributeList.h"

#include "XmlAttribute.h"

XmlAttributeList::XmlAttributeList(int capacity)
    : m_items(nullptr), m_count(0), m_capacity(capacity > 0 ? capacity : 0)
{
    if (m_capacity > 0)
        m_items = new XmlAttribute*[m_capacity]();
}

XmlAttributeList::~XmlAttributeList()
{
    for (int i = 0; i < m_count; ++i)
        delete m_items[i];
    delete[] m_items;
}

int XmlAttributeList::Add(XmlAttribute* attribute)
{
    if (m_count >= m_capacity)
        return -1;
    m_items[m_count] = attribute;
    return m_count++;
}

XmlAttribute* XmlAttributeList::At(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    return m_items[index];
}
