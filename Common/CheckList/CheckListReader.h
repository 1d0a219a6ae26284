#pragma once

#include "Common/CheckList/LoadLimits.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace zuchecklist {

// Reads a checklist file and makes sure that everything the loading does with it stays
// bounded: only regular files are read, never more than the size limit, the text is decoded
// by the encoding the file declares, and it is judged well-formed by the toolkit's DOM parser
// only after cheap linear checks have shown that the DOM parser's depth, memory and entity
// expansion stay within the limits of LoadLimits.h.
//
// On success Text() holds the text as UTF-8, writable and NUL-terminated, for
// CheckListContainer::ParseXML. On failure Failure() and Reason() tell why.
class CheckListReader
{
public:
    enum Failure
    {
        NoFailure,
        NotRegularFile,
        Unreadable,
        TooLarge,
        NotWellFormed,
        TooDeep,
        TooMuchMemory,
        Undecodable
    };

    // 'maxBytes', at most the default, is the size limit; no more than one byte beyond it is
    // ever read.
    bool ReadFile(const QString& fileName, qint64 maxBytes = limits::kMaxFileBytes);
    // The same decoding and checks on the bytes of a file already in memory.
    bool ReadBytes(QByteArray bytes);

    QByteArray& Text() { return m_text; }

    // The larger of the estimated peaks of memory that loading the UTF-8 text would reach, as
    // ReadBytes weighs it against the budget; 0 for a text refused before that (too deep, not
    // walked to its end, or a document type refused).
    static std::uint64_t MemoryEstimate(const QByteArray& utf8);
    Failure GetFailure() const { return m_failure; }
    // One sentence for the user, such as "It is not a regular file."
    QString Reason() const { return m_reason; }

private:
    bool Fail(Failure failure, const QString& reason);
    bool Decode(QByteArray& bytes, QString& text);
    bool CheckBounds(const QString& text);
    bool NotWellFormedAt(std::size_t offset, const QString& what);

    QByteArray m_text;
    Failure m_failure = NoFailure;
    QString m_reason;
};

} // namespace zuchecklist
