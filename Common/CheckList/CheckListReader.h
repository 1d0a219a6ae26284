#pragma once

#include "Common/CheckList/LoadLimits.h"
#include "Common/File/BoundedRead.h"
#include "Common/File/Outcome.h"
#include "Common/Xml/XmlScan.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

namespace zuchecklist {

class CheckListContainer;

// Reads a checklist file and makes sure that everything the loading does with it stays
// bounded: only regular files are read, never more than the size limit, the text is decoded
// by the encoding the file declares, and it is judged well-formed by the toolkit's DOM parser
// only after one linear scan has shown that the DOM parser's depth, memory and entity
// expansion stay within the limits of LoadLimits.h, and that no character XML forbids is in it.
//
// On success TakeText() hands over the text as UTF-8, writable and NUL-terminated, with the
// scan that CheckListContainer::ParseXML needs not to walk it again.
class CheckListReader
{
    Q_DECLARE_TR_FUNCTIONS(CheckListReader)

public:
    // 'maxBytes' is the size limit, at most the default; no more than one byte beyond it is
    // ever read. 'beforeOpen' is for tests (BoundedRead::Read). Whether read or not, the outcome
    // tells of a record that an interrupted save of the file left (keptCopy, and a warning that
    // says when it was made, whether the file was saved since, and whether it is proven to be
    // this file's), warns that a save of it is running now or that another program holds its
    // lock, and names the records of files no longer there, which go at the next Open.
    file::Outcome ReadFile(const QString& fileName, qint64 maxBytes = limits::kMaxFileBytes,
                           const file::BoundedRead::Hook& beforeOpen = {});
    // The same decoding and checks on the bytes of a file already in memory.
    file::Outcome ReadBytes(QByteArray bytes);

    // Open in one call: reads and checks the file as ReadFile() does and loads it into
    // 'container', which then holds its lists, or is left as it was.
    static file::Outcome Load(const QString& fileName, CheckListContainer& container);

    // What Open offers about the record that ReadFile() named in the keptCopy of 'announced':
    // loads its content into 'container', under the file's name where the record is proven to
    // be the file's, else under the record's own; or removes it.
    static file::Outcome LoadKeptCopy(const file::Outcome& announced,
                                      CheckListContainer& container);
    static file::Outcome DiscardKeptCopy(const file::Outcome& announced);

    QByteArray TakeText() { return std::move(m_text); }
    const QByteArray& Text() const { return m_text; }
    const XmlScan& Scan() const { return m_scan; }

private:
    file::Outcome Fail(file::Outcome outcome);
    static file::Outcome LoadRead(CheckListReader& reader, file::Outcome read,
                                  CheckListContainer& container);
    static void TellRecords(const QString& fileName, file::Outcome& outcome);
    file::Outcome ReadChecked(const QString& fileName, qint64 maxBytes,
                              const file::BoundedRead::Hook& beforeOpen);
    file::Outcome CheckBounds(const QString& text);

    QByteArray m_text;
    XmlScan m_scan;
};

} // namespace zuchecklist
