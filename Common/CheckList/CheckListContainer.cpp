#include "CheckListContainer.h"

#include "Common/File/FileReplacer.h"
#include "LoadChecks.h"
#include "LoadLimits.h"

#include "Common/Xml/XmlRead.h"
#include "Common/Xml/XmlWriter.h"

#include <rapidxml/rapidxml.hpp>

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

namespace zuchecklist {

namespace {

// The positions from 'at' up to 'at' + 'count' are all in 'entries'; 'at' may be the count itself
// when 'count' is 0. In 64 bits, so that no sum overflows.
template <typename T> bool Spans(const std::vector<T>& entries, long long at, long long count)
{
    return at >= 0 && count >= 0 && at + count <= static_cast<long long>(entries.size());
}

template <typename T> std::vector<T> TakeRange(std::vector<T>& entries, int at, int count)
{
    if (!Spans(entries, at, count))
        return {};
    const auto begin = entries.begin() + at;
    std::vector<T> taken(std::make_move_iterator(begin), std::make_move_iterator(begin + count));
    entries.erase(begin, begin + count);
    return taken;
}

template <typename T> void InsertRange(std::vector<T>& entries, int at, std::vector<T> added)
{
    if (Spans(entries, at, 0))
        entries.insert(entries.begin() + at, std::make_move_iterator(added.begin()),
                       std::make_move_iterator(added.end()));
}

template <typename T> bool CanMove(const std::vector<T>& entries, int at, int offset)
{
    return Spans(entries, at, 1) && Spans(entries, static_cast<long long>(at) + offset, 1);
}

// The entries in between shift by one toward the vacated place.
template <typename T> void Move(std::vector<T>& entries, int at, int offset)
{
    if (!CanMove(entries, at, offset))
        return;
    const auto from = entries.begin() + at;
    if (offset > 0)
        std::rotate(from, from + 1, from + offset + 1);
    else
        std::rotate(from + offset, from, from + 1);
}

template <typename T> std::optional<T> TakeOne(std::vector<T>& entries, int at)
{
    std::vector<T> taken = TakeRange(entries, at, 1);
    return taken.empty() ? std::nullopt : std::optional<T>(std::move(taken.front()));
}

} // namespace

CheckListContainer::CheckListContainer(const QString& fileName) : m_fileName(fileName) {}

QString CheckListContainer::GetListName(int list) const
{
    return IsList(list) ? m_lists[list].m_name : QString();
}

void CheckListContainer::SetListName(const QString& name, int list)
{
    if (IsList(list))
        m_lists[list].m_name = name;
}

void CheckListContainer::AddList(const QString& name)
{
    m_lists.push_back(CheckList{name, {}});
}

void CheckListContainer::DeleteList(int list)
{
    TakeList(list);
}

std::optional<CheckList> CheckListContainer::GetList(int list) const
{
    return IsList(list) ? std::optional<CheckList>(m_lists[list]) : std::nullopt;
}

std::optional<CheckList> CheckListContainer::TakeList(int list)
{
    return TakeOne(m_lists, list);
}

std::vector<CheckList> CheckListContainer::TakeLists(int list, int count)
{
    return TakeRange(m_lists, list, count);
}

void CheckListContainer::InsertLists(int list, std::vector<CheckList> lists)
{
    InsertRange(m_lists, list, std::move(lists));
}

bool CheckListContainer::CanMoveList(int list, int offset) const
{
    return CanMove(m_lists, list, offset);
}

void CheckListContainer::MoveList(int list, int offset)
{
    Move(m_lists, list, offset);
}

int CheckListContainer::GetItemCount(int list) const
{
    return IsList(list) ? static_cast<int>(m_lists[list].m_items.size()) : 0;
}

QString CheckListContainer::GetItemText(int list, int item) const
{
    return IsItem(list, item) ? m_lists[list].m_items[item].m_text : QString();
}

QString CheckListContainer::GetItemAction(int list, int item) const
{
    return IsItem(list, item) ? m_lists[list].m_items[item].m_action : QString();
}

void CheckListContainer::SetItem(const QString& text, const QString& action, int list, int item)
{
    if (IsItem(list, item))
        m_lists[list].m_items[item] = CheckListItem{text, action};
}

void CheckListContainer::AddItem(const QString& text, const QString& action, int list)
{
    if (IsList(list))
        m_lists[list].m_items.push_back(CheckListItem{text, action});
}

void CheckListContainer::DeleteItem(int list, int item)
{
    TakeItem(list, item);
}

std::optional<CheckListItem> CheckListContainer::TakeItem(int list, int item)
{
    return IsList(list) ? TakeOne(m_lists[list].m_items, item) : std::nullopt;
}

std::vector<CheckListItem> CheckListContainer::TakeItems(int list, int item, int count)
{
    return IsList(list) ? TakeRange(m_lists[list].m_items, item, count)
                        : std::vector<CheckListItem>();
}

void CheckListContainer::InsertItems(int list, int item, std::vector<CheckListItem> items)
{
    if (IsList(list))
        InsertRange(m_lists[list].m_items, item, std::move(items));
}

bool CheckListContainer::CanMoveItem(int list, int item, int offset) const
{
    return IsList(list) && CanMove(m_lists[list].m_items, item, offset);
}

void CheckListContainer::MoveItem(int list, int item, int offset)
{
    if (IsList(list))
        Move(m_lists[list].m_items, item, offset);
}

void CheckListContainer::SetFileName(const QString& fileName)
{
    m_fileName = fileName;
}

bool CheckListContainer::ParseXML(char* text)
{
    if (!text)
        return false;
    if (XmlParserDepth(text, limits::kMaxNesting) > limits::kMaxNesting) {
        ReportNestingTooDeep();
        return false;
    }
    return ParseXML(text, {}, nullptr, nullptr, nullptr);
}

file::Outcome CheckListContainer::Load(char* text, const XmlScan& checked,
                                       std::vector<CheckListItem>* loose)
{
    using file::Outcome;
    if (!text)
        return Outcome::Failed(Outcome::NotChecklist, tr("It holds no text."));
    // A syntax error of the walk is one RapidXML finds as well, at the same place: it reports
    // it in its own words. Whatever else stopped the walk, RapidXML might pass over.
    Outcome judged = LoadChecks::Judge(text, checked);
    if (!judged.Ok() && checked.verdict != XmlScan::Malformed)
        return judged;
    // RapidXML reads a document type declaration otherwise than XML does (it ends the internal
    // subset at the first ']', even in a quoted value) and ignores what it declares: it gets
    // blanks in its place.
    std::memset(text + checked.doctypeBegin, ' ', checked.doctypeEnd - checked.doctypeBegin);
    file::Outcome why;
    ParseXML(text, judged, &why, &checked, loose);
    return why;
}

// Parses the whole text, then appends its lists, unless RapidXML or 'refused' says otherwise:
// nothing is added on failure. 'why', if given, tells the outcome; 'walked', if given, is the
// checks' scan of the text; 'loose', if given, receives the items outside any list.
bool CheckListContainer::ParseXML(char* text, const file::Outcome& refused, file::Outcome* why,
                                  const XmlScan* walked, std::vector<CheckListItem>* loose)
{
    using file::Outcome;
    Outcome ignored;
    Outcome& outcome = why ? *why : ignored;
    // RapidXML writes terminators and replaced references into the text before the place where
    // it stops, so that place is counted beforehand where the walk stopped: RapidXML stops
    // there too.
    LoadChecks::Place stopped{};
    const bool known = walked && walked->verdict == XmlScan::Malformed;
    if (known)
        stopped = LoadChecks::PlaceOf(text, walked->stop);
    // The document carries a 64 KiB node pool: too large for the stack.
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<rapidxml::parse_full>(text);
    } catch (const XmlParseAbort& abort) {
        // The handler has reported it.
        const std::size_t offset = abort.where >= text ? abort.where - text : 0;
        if (!known)
            stopped = LoadChecks::PlaceOf(text, offset);
        outcome =
            LoadChecks::NotWellFormed(QString::fromUtf8(abort.what), stopped.line, stopped.column);
        return false;
    }
    if (!refused.Ok()) {
        outcome = refused;
        return false;
    }
    const XmlNode* doc = FirstXmlElement(document.get(), "doc");
    if (!doc) {
        std::fputs("Parse error in global part\n", stderr);
        outcome = Outcome::Failed(Outcome::NotChecklist,
                                  tr("It cannot be loaded as a checklist: no <doc> element."));
        return false;
    }

    // Composing the trace costs more than parsing; skip it when nobody would see it. A piece of a
    // document on the clipboard is no document loaded.
    const bool trace = !loose && QLoggingCategory::defaultCategory()->isDebugEnabled();

    // Values are read whole: the buffer grows when a value does not fit.
    std::vector<char> buffer(212);
    auto read = [&buffer](const XmlNode* node, const char* name) {
        std::size_t length = GetXmlText(node, name, buffer.data(), buffer.size(), "");
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            GetXmlText(node, name, buffer.data(), buffer.size(), "");
        }
        return QString::fromUtf8(buffer.data(), static_cast<int>(length));
    };

    const auto readItems = [&](const XmlNode* parent, std::vector<CheckListItem>& items) {
        for (const XmlNode* itemNode = FirstXmlElement(parent, "item"); itemNode;
             itemNode = NextXmlElement(itemNode, "item")) {
            items.push_back(CheckListItem{read(itemNode, "name"), read(itemNode, "action")});
            if (trace) {
                const CheckListItem& item = items.back();
                qDebug() << "Item: " << item.m_text << " | Action: " << item.m_action;
            }
        }
    };
    if (loose)
        readItems(doc, *loose);
    for (const XmlNode* listNode = FirstXmlElement(doc, "list"); listNode;
         listNode = NextXmlElement(listNode, "list")) {
        CheckList list;
        list.m_name = read(listNode, "name");
        if (trace)
            qDebug() << "CHECKLIST: " << list.m_name;
        readItems(listNode, list.m_items);
        m_lists.push_back(std::move(list));
    }
    outcome = {};
    return true;
}

namespace {

// UTF-8 for the file, with the markup characters as entities. Characters that XML 1.0 cannot
// carry at all (most C0 controls, U+FFFE, U+FFFF, unpaired surrogates) are left out, so that
// every saved file can be read again.
std::string ToXmlText(const QString& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()) + 8);
    const ushort* p = text.utf16();
    const ushort* end = p + text.size();
    for (; p < end; ++p) {
        const unsigned c = *p;
        if (c < 0x80) {
            if (c == '&')
                out += "&amp;";
            else if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else if (IsXmlChar(c))
                out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c < 0xE000) {
            if (c < 0xDC00 && p + 1 < end && p[1] >= 0xDC00 && p[1] < 0xE000) {
                const unsigned u = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
                ++p;
                out += static_cast<char>(0xF0 | (u >> 18));
                out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (u & 0x3F));
            }
        } else if (IsXmlChar(c)) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

void CheckListContainer::WriteXml(file::AbstractFile* out, const std::vector<CheckListItem>& items,
                                  const std::vector<CheckList>& lists)
{
    XmlWriter writer(out);
    const auto writeItems = [&writer](const std::vector<CheckListItem>& written) {
        for (const CheckListItem& item : written) {
            writer.OpenElement("item");
            writer.WriteElement("name", ToXmlText(item.m_text));
            writer.WriteElement("action", ToXmlText(item.m_action));
            writer.CloseElement("item");
        }
    };
    writer.OpenElement("doc");
    writeItems(items);
    for (const CheckList& list : lists) {
        writer.OpenElement("list");
        writer.WriteElement("name", ToXmlText(list.m_name));
        writeItems(list.m_items);
        writer.CloseElement("list");
    }
    writer.CloseElement("doc");
}

file::Outcome CheckListContainer::WriteXML() const
{
    return WriteXML({});
}

file::Outcome CheckListContainer::WriteXML(const std::function<bool()>& keepWaiting) const
{
    file::FileReplacer out(m_fileName, FileNames());
    out.SetLockWait(keepWaiting);
    file::Outcome begun = out.Begin();
    if (!begun.Ok())
        return begun;
    WriteXml(out.Output(), {}, m_lists);
    file::Outcome saved = out.Commit();
    if (saved.Ok())
        qDebug() << "*** CheckList saved";
    return saved;
}

file::ProgramNames CheckListContainer::FileNames()
{
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty()) // no application object: the name it would take
        program = QFile::decodeName(program_invocation_short_name);
    return {'.' + QFile::encodeName(program) + '-', program, QByteArrayLiteral(".xml")};
}

} // namespace zuchecklist
