#pragma once

#include "Common/File/Outcome.h"
#include "Common/File/ProgramNames.h"
#include "Common/Xml/XmlScan.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace file {
class AbstractFile;
}

namespace zuchecklist {

struct CheckListItem
{
    QString m_text;   // what is to be checked
    QString m_action; // the expected response
};

struct CheckList
{
    QString m_name;
    std::vector<CheckListItem> m_items;
};

// A piece of a document, as a copy, a paste or a change takes it: items that belong to no list
// there, then whole lists.
struct CheckListPiece
{
    std::vector<CheckListItem> items;
    std::vector<CheckList> lists;

    bool IsEmpty() const { return items.empty() && lists.empty(); }
};

// The document: named lists of items, addressed by position, plus the file it is saved to.
// Every index is checked; an index out of range makes an operation do nothing, and a getter
// return an empty string or 0.
class CheckListContainer
{
    Q_DECLARE_TR_FUNCTIONS(CheckListContainer)

public:
    explicit CheckListContainer(const QString& fileName);

    int GetListCount() const { return static_cast<int>(m_lists.size()); }
    QString GetListName(int list) const;
    void SetListName(const QString& name, int list);
    void AddList(const QString& name);
    void DeleteList(int list);
    // A copy of a list with its items; none when the index is out of range.
    std::optional<CheckList> GetList(int list) const;
    // Undoing a change: the lists or items removed whole, and put back at a position from 0 to
    // the count. Nothing is copied, so a history of deletions costs only what it removed. Taking
    // takes all 'count' or nothing.
    std::optional<CheckList> TakeList(int list);
    std::vector<CheckList> TakeLists(int list, int count);
    void InsertLists(int list, std::vector<CheckList> lists);
    // Moves a list by 'offset' places among the lists, as MoveItem moves an item.
    void MoveList(int list, int offset);
    bool CanMoveList(int list, int offset) const;

    int GetItemCount(int list) const;
    QString GetItemText(int list, int item) const;
    QString GetItemAction(int list, int item) const;
    void SetItem(const QString& text, const QString& action, int list, int item);
    void AddItem(const QString& text, const QString& action, int list);
    void DeleteItem(int list, int item);
    std::optional<CheckListItem> TakeItem(int list, int item);
    std::vector<CheckListItem> TakeItems(int list, int item, int count);
    void InsertItems(int list, int item, std::vector<CheckListItem> items);
    // Moves an item by 'offset' places within its list, only when the target place lies
    // inside the list; the items in between shift toward the vacated place.
    void MoveItem(int list, int item, int offset);
    bool CanMoveItem(int list, int item, int offset) const;

    QString GetFileName() const { return m_fileName; }
    void SetFileName(const QString& fileName);

    // Appends the lists of a checklist XML text. 'text' must be writable and NUL-terminated:
    // it is parsed in place by RapidXML, which reports a syntax error on stderr as
    // "Xml parse error: <its message>.". Nesting deeper than RapidXML may go is refused before.
    // False, with the container unchanged, on any failure.
    bool ParseXML(char* text);
    // The same for a text that passed Open's checks ('checked' is their scan of this very text),
    // with why it failed: what the checks refuse, RapidXML's refusal, or no <doc> element.
    // 'loose', if given, receives the items that stand in <doc> outside any list, which a file
    // does not hold but a piece of one on the clipboard does.
    file::Outcome Load(char* text, const XmlScan& checked,
                       std::vector<CheckListItem>* loose = nullptr);

    // Writes the document to the file name, replacing the file's content as a whole: a failed
    // save leaves the previous content, and the file keeps its owner, group and mode. True on
    // success; otherwise 'failure', if given, tells why. After success its warnings may still
    // have something to say.
    file::Outcome WriteXML() const;
    // The same; while another program holds the file's lock, 'keepWaiting' is called again and
    // again until that program lets go or it returns false.
    file::Outcome WriteXML(const std::function<bool()>& keepWaiting) const;
    // The same XML form, of 'items' that belong to no list and then 'lists', to any output.
    static void WriteXml(file::AbstractFile* out, const std::vector<CheckListItem>& items,
                         const std::vector<CheckList>& lists);

    // What the files that saving makes beside a checklist and in the user's state folder are
    // called: after the program's name (QCoreApplication::applicationName(), which the program
    // sets), the records with the checklist's own ending.
    static file::ProgramNames FileNames();

private:
    bool ParseXML(char* text, const file::Outcome& refused, file::Outcome* why,
                  const XmlScan* walked, std::vector<CheckListItem>* loose);
    bool IsList(int list) const { return list >= 0 && list < GetListCount(); }
    bool IsItem(int list, int item) const
    {
        return IsList(list) && item >= 0 && item < static_cast<int>(m_lists[list].m_items.size());
    }

    std::vector<CheckList> m_lists;
    QString m_fileName;
};

} // namespace zuchecklist
