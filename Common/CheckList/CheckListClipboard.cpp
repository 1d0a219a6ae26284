#include "CheckListClipboard.h"

#include "CheckListReader.h"
#include "LoadChecks.h"
#include "LoadLimits.h"

#include "Common/File/AbstractFile.h"
#include "Common/Xml/XmlChars.h"

#include <QMimeData>

#include <cstdint>
#include <utility>

namespace zuchecklist {

namespace {

// What the XML writer writes, gathered in memory.
class ByteSink : public file::AbstractFile
{
public:
    explicit ByteSink(QByteArray& bytes) : m_bytes(bytes) {}

    bool Close() override { return true; }
    bool Flush() override { return true; }
    int Read(void*, unsigned) override { return -1; }
    int Write(const void* data, unsigned size) override
    {
        m_bytes.append(static_cast<const char*>(data), static_cast<int>(size));
        return static_cast<int>(size);
    }
    bool Seek(unsigned) override { return false; }
    unsigned Tell() override { return static_cast<unsigned>(m_bytes.size()); }

private:
    QByteArray& m_bytes;
};

constexpr QChar kTab = QLatin1Char('\t');
constexpr QChar kEllipsis = QChar(0x2026);

bool IsLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool IsDot(QChar c)
{
    return c == QLatin1Char('.') || c == kEllipsis;
}

// A text on one line: line breaks, and tabs where 'tabs', become blanks.
QString Flat(const QString& text, bool tabs)
{
    QString flat = text;
    for (int i = 0; i < flat.size(); ++i) {
        if (IsLineBreak(flat.at(i)) || (tabs && flat.at(i) == kTab))
            flat[i] = QLatin1Char(' ');
    }
    return flat;
}

void AppendItem(QString& text, const CheckListItem& item)
{
    text += Flat(item.m_text, true);
    text += kTab;
    text += Flat(item.m_action, false);
    text += QLatin1Char('\n');
}

// The characters of [begin, end) that XML allows; the others are counted in 'leftOut'.
QString Allowed(const QChar* begin, const QChar* end, int* leftOut)
{
    QString kept;
    kept.reserve(static_cast<int>(end - begin));
    for (const QChar* p = begin; p < end; ++p) {
        if (p->isHighSurrogate() && p + 1 < end && p[1].isLowSurrogate()) {
            kept.append(p, 2);
            ++p;
        } else if (IsXmlChar(p->unicode())) {
            kept += *p;
        } else {
            ++*leftOut;
        }
    }
    return kept;
}

bool IsBlank(const QString& line)
{
    for (const QChar c : line) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

QString TrimmedEnd(QString text)
{
    int end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

QString TrimmedStart(const QString& text)
{
    int begin = 0;
    while (begin < text.size() && text.at(begin).isSpace())
        ++begin;
    return text.mid(begin);
}

// The paper form: the first run of dots between two texts that counts three dots or an
// ellipsis, dots apart by single blanks, as typeset leaders are. False when there is none.
bool SplitAtLeader(const QString& line, CheckListItem* item)
{
    const int size = line.size();
    int firstText = 0;
    while (firstText < size && line.at(firstText).isSpace())
        ++firstText;
    int lastText = size - 1;
    while (lastText >= 0 && line.at(lastText).isSpace())
        --lastText;
    for (int i = 0; i < size; ++i) {
        if (!IsDot(line.at(i)))
            continue;
        int dots = 0, ellipses = 0, last = i;
        for (int j = i; j < size; ++j) {
            if (line.at(j) == QLatin1Char(' ') && j + 1 < size && IsDot(line.at(j + 1)))
                continue;
            if (!IsDot(line.at(j)))
                break;
            ++(line.at(j) == kEllipsis ? ellipses : dots);
            last = j;
        }
        if ((dots >= 3 || ellipses > 0) && firstText < i && lastText > last) {
            *item = CheckListItem{TrimmedEnd(line.left(i)), TrimmedStart(line.mid(last + 1))};
            return true;
        }
        i = last;
    }
    return false;
}

} // namespace

QByteArray CheckListClipboard::ToXml(const CheckListPiece& piece)
{
    QByteArray bytes;
    ByteSink sink(bytes);
    CheckListContainer::WriteXml(&sink, piece.items, piece.lists);
    return bytes;
}

QString CheckListClipboard::ToText(const CheckListPiece& piece)
{
    QString text;
    for (const CheckListItem& item : piece.items)
        AppendItem(text, item);
    for (const CheckList& list : piece.lists) {
        text += Flat(list.m_name, true);
        text += QLatin1Char('\n');
        for (const CheckListItem& item : list.m_items)
            AppendItem(text, item);
    }
    text.chop(1); // the last line's break: a single item pastes as one line elsewhere
    return text;
}

CheckListClipboard::Read CheckListClipboard::FromXml(QByteArray xml)
{
    Read read;
    CheckListReader reader;
    read.outcome = reader.ReadBytes(std::move(xml));
    if (!read.outcome.Ok())
        return read;
    QByteArray text = reader.TakeText();
    CheckListContainer lists{QString()};
    read.outcome = lists.Load(text.data(), reader.Scan(), &read.piece.items);
    read.piece.lists = lists.TakeLists(0, lists.GetListCount());
    return read;
}

CheckListClipboard::Read CheckListClipboard::FromText(const QString& text)
{
    Read read;
    const QChar* data = text.constData();
    const int size = text.size();

    // Every line that is not blank may become a row.
    std::uint64_t rows = 0;
    bool filled = false;
    for (int i = 0; i < size; ++i) {
        if (IsLineBreak(data[i])) {
            rows += filled ? 1 : 0;
            filled = false;
        } else if (data[i] == kTab || !data[i].isSpace()) {
            filled = true;
        }
    }
    rows += filled ? 1 : 0;
    if (LoadChecks::RowsMemory(rows, static_cast<std::uint64_t>(size)) >
        limits::kMemoryBudgetBytes) {
        read.outcome = file::Outcome::Failed(file::Outcome::TooMuchMemory,
                                             tr("Pasting it would need more than %1 MiB of memory.")
                                                 .arg(limits::kMemoryBudgetBytes >> 20));
        return read;
    }

    CheckListPiece& piece = read.piece;
    const auto items = [&piece]() -> std::vector<CheckListItem>& {
        return piece.lists.empty() ? piece.items : piece.lists.back().m_items;
    };
    for (int begin = 0; begin < size;) {
        int end = begin;
        while (end < size && !IsLineBreak(data[end]))
            ++end;
        const QString line = Allowed(data + begin, data + end, &read.leftOut);
        begin = end + (end + 1 < size && data[end] == QLatin1Char('\r') &&
                               data[end + 1] == QLatin1Char('\n')
                           ? 2
                           : 1);

        CheckListItem item;
        const int tab = line.indexOf(kTab);
        if (tab >= 0)
            items().push_back(CheckListItem{line.left(tab), line.mid(tab + 1)});
        else if (IsBlank(line))
            continue;
        else if (SplitAtLeader(line, &item))
            items().push_back(std::move(item));
        else
            piece.lists.push_back(CheckList{line, {}});
    }
    return read;
}

void CheckListClipboard::Put(const CheckListPiece& piece, const QString& ownType, QMimeData* into)
{
    into->setData(ownType, ToXml(piece));
    into->setText(ToText(piece));
}

CheckListClipboard::Read CheckListClipboard::Take(const QMimeData& from, const QString& ownType)
{
    if (from.hasFormat(ownType))
        return FromXml(from.data(ownType));
    return FromText(from.text());
}

} // namespace zuchecklist
