#include "CheckListReader.h"

#include "CheckListContainer.h"
#include "LoadChecks.h"

#include "Common/File/SaveRecord.h"
#include "Common/Xml/XmlDecode.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <QDomDocument>

#include <algorithm>
#include <cstdio>

namespace zuchecklist {

file::Outcome CheckListReader::Fail(file::Outcome outcome)
{
    m_text.clear();
    return outcome;
}

file::Outcome CheckListReader::ReadFile(const QString& fileName, qint64 maxBytes,
                                        const file::BoundedRead::Hook& beforeOpen)
{
    file::Outcome outcome = ReadChecked(fileName, maxBytes, beforeOpen);
    TellRecords(fileName, outcome);
    return outcome;
}

void CheckListReader::TellRecords(const QString& fileName, file::Outcome& outcome)
{
    const file::SaveRecord::Found kept =
        file::SaveRecord::Find(fileName, CheckListContainer::FileNames());
    const auto when = [](const QDateTime& made) {
        return QLocale().toString(made, QLocale::ShortFormat);
    };
    for (const file::SaveRecord::Gone& gone : kept.gone)
        outcome.warnings << tr("A record of \"%1\", which is no longer there, is kept in \"%2\": a "
                               "save of it on %3 was interrupted. The record goes when a file is "
                               "next opened.")
                                .arg(QDir::toNativeSeparators(gone.file),
                                     QDir::toNativeSeparators(gone.record), when(gone.made));
    if (kept.saving) {
        outcome.warnings << tr("A save of it is running now, so what was read may not be "
                               "complete. Open it again once that save has ended.");
        return;
    }
    if (kept.locked)
        outcome.warnings << tr("It is locked by another program, which may be changing it, so "
                               "what was read may not be complete.");
    if (kept.record.isEmpty())
        return;
    outcome.keptCopy = kept.record;
    outcome.keptCopyProven = kept.proven;
    QString said = kept.proven ? tr("A save of it on %1 was interrupted.").arg(when(kept.made))
                               : tr("A save of \"%1\" on %2 was interrupted, but it cannot be "
                                    "proven that it was this file.")
                                     .arg(QDir::toNativeSeparators(kept.of), when(kept.made));
    if (kept.savedSince)
        said += QLatin1Char(' ') + tr("It has been saved successfully since then.");
    outcome.warnings
        << said + QLatin1Char(' ') +
               tr("Its new content is kept in \"%1\".").arg(QDir::toNativeSeparators(kept.record));
}

file::Outcome CheckListReader::Load(const QString& fileName, CheckListContainer& container)
{
    CheckListReader reader;
    return LoadRead(reader, reader.ReadFile(fileName), container);
}

file::Outcome CheckListReader::LoadRead(CheckListReader& reader, file::Outcome read,
                                        CheckListContainer& container)
{
    if (!read.Ok())
        return read;
    // The text goes with the parse, before the caller's tree takes memory.
    QByteArray text = reader.TakeText();
    file::Outcome loaded = container.Load(text.data(), reader.Scan());
    loaded.keptCopy = read.keptCopy;
    loaded.keptCopyProven = read.keptCopyProven;
    loaded.warnings = read.warnings + loaded.warnings;
    return loaded;
}

file::Outcome CheckListReader::LoadKeptCopy(const file::Outcome& announced,
                                            CheckListContainer& container)
{
    // Read as any file, but the records were told about once, at the file's own Open.
    CheckListReader reader;
    file::Outcome loaded = LoadRead(
        reader, reader.ReadChecked(announced.keptCopy, limits::kMaxFileBytes, {}), container);
    if (loaded.Ok() && !announced.keptCopyProven)
        container.SetFileName(announced.keptCopy);
    return loaded;
}

file::Outcome CheckListReader::DiscardKeptCopy(const file::Outcome& announced)
{
    return file::SaveRecord::Discard(announced.keptCopy, CheckListContainer::FileNames());
}

file::Outcome CheckListReader::ReadChecked(const QString& fileName, qint64 maxBytes,
                                           const file::BoundedRead::Hook& beforeOpen)
{
    m_text.clear();
    QByteArray bytes;
    const qint64 limit = std::clamp<qint64>(maxBytes, 0, limits::kMaxFileBytes);
    file::Outcome read = file::BoundedRead::Read(fileName, limit, bytes, beforeOpen);
    if (read.kind == file::Outcome::TooLarge)
        std::fprintf(stderr, "Checklist file is larger than %lld bytes: %s.\n",
                     static_cast<long long>(limit), QFile::encodeName(fileName).constData());
    if (!read.Ok())
        return read;
    return ReadBytes(std::move(bytes));
}

file::Outcome CheckListReader::ReadBytes(QByteArray bytes)
{
    using file::Outcome;
    QString text;
    const XmlDecoded decoded = DecodeXml(std::move(bytes), m_text, text);
    switch (decoded.result) {
    case XmlDecoded::Ok:
        break;
    case XmlDecoded::UnknownEncoding:
        return Fail(Outcome::Failed(
            Outcome::Undecodable,
            tr("Its encoding \"%1\" is not known.").arg(QString::fromLatin1(decoded.encoding))));
    case XmlDecoded::Invalid:
        return Fail(Outcome::Failed(
            Outcome::Undecodable,
            tr("It is not valid %1 text.").arg(QString::fromLatin1(decoded.encoding))));
    }
    return CheckBounds(text);
}

file::Outcome CheckListReader::CheckBounds(const QString& text)
{
    using file::Outcome;
    m_scan = LoadChecks::Scan(m_text.constData(), static_cast<std::size_t>(m_text.size()));
    const Outcome judged = LoadChecks::Judge(m_text.constData(), m_scan);
    if (!judged.Ok())
        return Fail(judged);
    if (LoadChecks::MemoryEstimate(static_cast<std::size_t>(m_text.size()), m_scan) >
        limits::kMemoryBudgetBytes)
        return Fail(Outcome::Failed(Outcome::TooMuchMemory,
                                    tr("Checking it would need more than %1 MiB of memory.")
                                        .arg(limits::kMemoryBudgetBytes >> 20)));

    QString message;
    int line = 0;
    int column = 0;
    QDomDocument check;
    if (!check.setContent(text, false, &message, &line, &column)) {
        while (message.endsWith(QLatin1Char('.')))
            message.chop(1);
        return Fail(LoadChecks::NotWellFormed(message, line, column));
    }
    return {};
}

} // namespace zuchecklist
