#include "CheckListReader.h"

#include "DoctypeBounds.h"
#include "LoadLimits.h"

#include "Common/Xml/XmlNesting.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zuchecklist {

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("CheckListReader", text);
}

void ReportTooLarge(const QString& fileName, qint64 maxBytes)
{
    std::fprintf(stderr, "Checklist file is larger than %lld bytes: %s.\n",
                 static_cast<long long>(maxBytes), QFile::encodeName(fileName).constData());
}

// Closes the descriptor on every way out.
struct Descriptor
{
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// An encoding a file announces before its declaration is read: by a byte-order mark, or in
// the wide forms by the zero bytes around its first characters. A null codec: none.
struct Detected
{
    const char* codec;
    int unitSize;
    int bomSize;
};

Detected DetectUnicode(const QByteArray& bytes)
{
    auto starts = [&bytes](std::initializer_list<unsigned char> prefix) {
        if (static_cast<std::size_t>(bytes.size()) < prefix.size())
            return false;
        int i = 0;
        for (unsigned char c : prefix)
            if (static_cast<unsigned char>(bytes[i++]) != c)
                return false;
        return true;
    };
    if (starts({0xEF, 0xBB, 0xBF}))
        return {"UTF-8", 1, 0}; // the loader and the DOM parser both skip it
    if (starts({0xFF, 0xFE, 0x00, 0x00}))
        return {"UTF-32LE", 4, 4};
    if (starts({0x00, 0x00, 0xFE, 0xFF}))
        return {"UTF-32BE", 4, 4};
    if (starts({0xFF, 0xFE}))
        return {"UTF-16LE", 2, 2};
    if (starts({0xFE, 0xFF}))
        return {"UTF-16BE", 2, 2};
    // Without a byte-order mark, the first characters "<?" tell the wide forms apart.
    if (starts({'<', 0x00, 0x00, 0x00}))
        return {"UTF-32LE", 4, 0};
    if (starts({0x00, 0x00, 0x00, '<'}))
        return {"UTF-32BE", 4, 0};
    if (starts({'<', 0x00, '?', 0x00}))
        return {"UTF-16LE", 2, 0};
    if (starts({0x00, '<', 0x00, '?'}))
        return {"UTF-16BE", 2, 0};
    return {nullptr, 1, 0};
}

// The encoding named by an XML declaration at the start of an 8-bit text, or an empty name.
QByteArray DeclaredEncoding(const QByteArray& bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const int end = bytes.indexOf("?>");
    if (end < 0)
        return {};
    const QByteArray declaration = bytes.left(end);
    int at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    at += 8;
    while (at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '\t' ||
                                       declaration[at] == '\r' || declaration[at] == '\n'))
        ++at;
    if (at >= declaration.size() || declaration[at] != '=')
        return {};
    ++at;
    while (at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '\t' ||
                                       declaration[at] == '\r' || declaration[at] == '\n'))
        ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const int close = declaration.indexOf(declaration[at], at + 1);
    if (close < 0)
        return {};
    return declaration.mid(at + 1, close - at - 1).trimmed();
}

bool IsUtf8Name(const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    return lower == "utf-8" || lower == "utf8";
}

// Whatever follows the first character U+0000 is ignored; in the wide forms that character is
// a code unit of zero bytes.
void CutAtNul(QByteArray& bytes, int unitSize, int from)
{
    for (int i = from; i + unitSize <= bytes.size(); i += unitSize) {
        bool zero = true;
        for (int b = 0; b < unitSize; ++b)
            zero = zero && bytes.at(i + b) == char(0);
        if (zero) {
            bytes.truncate(i);
            return;
        }
    }
}

bool HasLoneSurrogate(const QString& text)
{
    const QChar* p = text.constData();
    const QChar* end = p + text.size();
    for (; p < end; ++p) {
        if (p->isHighSurrogate()) {
            if (p + 1 == end || !p[1].isLowSurrogate())
                return true;
            ++p;
        } else if (p->isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

// Start tags of <list> and <item>, wherever they stand: each may become a row of the tree.
std::uint64_t CountRows(const QByteArray& text)
{
    std::uint64_t rows = 0;
    const char* p = text.constData();
    const char* end = p + text.size();
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p))))) {
        ++p;
        if (end - p > 4 && (std::memcmp(p, "list", 4) == 0 || std::memcmp(p, "item", 4) == 0)) {
            const char next = p[4];
            if (next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\r' ||
                next == '\n')
                ++rows;
        }
    }
    return rows;
}

std::uint64_t Estimate(const QByteArray& text, const XmlScan& scan, const DoctypeBounds& bounds)
{
    // Entities bring in their markup as elements and their characters as UTF-16.
    const std::uint64_t elements = scan.elements + bounds.markup;
    const std::uint64_t textBytes = static_cast<std::uint64_t>(text.size()) + 2 * bounds.expansion;
    const std::uint64_t domPhase =
        elements * limits::kCostPerElement + scan.textRuns * limits::kCostPerTextRun +
        scan.attributes * limits::kCostPerAttribute + scan.otherNodes * limits::kCostPerOtherNode +
        textBytes * limits::kCostPerTextByte + scan.longestText * limits::kCostPerLongestTextByte;
    const std::uint64_t rowsPhase =
        CountRows(text) * limits::kCostPerRow +
        static_cast<std::uint64_t>(text.size()) * limits::kRowCostPerTextByte;
    return std::max(domPhase, rowsPhase);
}

// 1-based line and column (in characters) of a byte offset into UTF-8 text.
void LineAndColumn(const QByteArray& utf8, std::size_t offset, int* line, int* column)
{
    *line = 1;
    *column = 1;
    const char* p = utf8.constData();
    for (std::size_t i = 0; i < offset && p[i]; ++i) {
        if (p[i] == '\n') {
            ++*line;
            *column = 1;
        } else if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) {
            ++*column;
        }
    }
}

} // namespace

bool CheckListReader::Fail(Failure failure, const QString& reason)
{
    m_failure = failure;
    m_reason = reason;
    m_text.clear();
    return false;
}

bool CheckListReader::NotWellFormedAt(std::size_t offset, const QString& what)
{
    int line = 0;
    int column = 0;
    LineAndColumn(m_text, offset, &line, &column);
    return Fail(
        NotWellFormed,
        Tr("It is not well-formed XML: %1 at line %2, column %3.").arg(what).arg(line).arg(column));
}

bool CheckListReader::ReadFile(const QString& fileName, qint64 maxBytes)
{
    m_failure = NoFailure;
    m_reason.clear();
    m_text.clear();
    maxBytes = qBound<qint64>(0, maxBytes, limits::kMaxFileBytes);
    const QByteArray path = QFile::encodeName(fileName);

    // A look before opening keeps FIFOs and devices from being opened at all; the look after
    // opening closes the race with a file swapped in between. Opening never blocks.
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return Fail(Unreadable,
                    Tr("It cannot be read: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (!S_ISREG(info.st_mode))
        return Fail(NotRegularFile, Tr("It is not a regular file."));
    Descriptor file{::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0)
        return Fail(Unreadable,
                    Tr("It cannot be read: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return Fail(NotRegularFile, Tr("It is not a regular file."));

    const QString tooLarge = Tr("It is larger than %1 bytes.").arg(maxBytes);
    if (info.st_size > maxBytes) {
        ReportTooLarge(fileName, maxBytes);
        return Fail(TooLarge, tooLarge);
    }

    // The reported size is only a hint: some files report 0 and deliver without end. One byte
    // beyond the limit tells a file that is too large.
    QByteArray bytes;
    qint64 capacity = qMax<qint64>(info.st_size + 1, qint64{64} * 1024);
    bytes.resize(static_cast<int>(qMin<qint64>(capacity, maxBytes + 1)));
    qint64 size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes)
                break;
            capacity = qMin<qint64>(qint64(bytes.size()) * 2, maxBytes + 1);
            bytes.resize(static_cast<int>(capacity));
        }
        const ssize_t got =
            ::read(file.fd, bytes.data() + size, static_cast<std::size_t>(bytes.size() - size));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Fail(
                Unreadable,
                Tr("It cannot be read: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (got == 0)
            break;
        size += got;
    }
    if (size > maxBytes) {
        ReportTooLarge(fileName, maxBytes);
        return Fail(TooLarge, tooLarge);
    }
    bytes.resize(static_cast<int>(size));
    return ReadBytes(std::move(bytes));
}

std::uint64_t CheckListReader::MemoryEstimate(const QByteArray& utf8)
{
    const XmlScan scan = ScanXml(utf8.constData(), kXmlNestingLimit);
    if (scan.depth > kXmlNestingLimit || !scan.complete)
        return 0;
    DoctypeBounds bounds;
    if (scan.doctypeEnd > scan.doctypeBegin) {
        bounds = MeasureDoctype(utf8.constData(), utf8.size(), scan);
        if (bounds.verdict != DoctypeBounds::Ok)
            return 0;
    }
    return Estimate(utf8, scan, bounds);
}

bool CheckListReader::ReadBytes(QByteArray bytes)
{
    m_failure = NoFailure;
    m_reason.clear();
    m_text.clear();
    QString text;
    if (!Decode(bytes, text))
        return false;
    return CheckBounds(text);
}

bool CheckListReader::Decode(QByteArray& bytes, QString& text)
{
    const Detected detected = DetectUnicode(bytes);
    QByteArray codecName = detected.codec;
    if (!detected.codec) {
        const QByteArray declared = DeclaredEncoding(bytes);
        codecName = declared.isEmpty() || IsUtf8Name(declared) ? QByteArray("UTF-8") : declared;
    }
    const int unitSize = detected.unitSize;

    CutAtNul(bytes, unitSize, detected.bomSize);
    QTextCodec* codec = QTextCodec::codecForName(codecName);
    const int mib = codec ? codec->mibEnum() : 0;
    if (mib == 106) {
        // The checked bytes themselves are the loader's text: no second encoding.
        QTextCodec::ConverterState state;
        text = QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
        if (state.invalidChars > 0 || state.remainingChars > 0)
            return Fail(Undecodable, Tr("It is not valid %1 text.").arg(QStringLiteral("UTF-8")));
        m_text = std::move(bytes);
        bytes = QByteArray();
        return true;
    }

    if (!codec)
        return Fail(Undecodable,
                    Tr("Its encoding \"%1\" is not known.").arg(QString::fromLatin1(codecName)));
    // The wide forms need a byte-order mark or the "<?" that identifies them.
    if (unitSize == 1 &&
        (mib == 1013 || mib == 1014 || mib == 1015 || mib == 1017 || mib == 1018 || mib == 1019))
        return Fail(Undecodable,
                    Tr("It is not valid %1 text.").arg(QString::fromLatin1(codec->name())));

    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    text = codec->toUnicode(bytes.constData() + detected.bomSize, bytes.size() - detected.bomSize,
                            &state);
    bytes = QByteArray();
    // Some codecs count what they cannot decode, others put U+FFFD in its place; a text in a
    // legacy encoding cannot carry that character itself.
    const bool unicodeForm = detected.codec != nullptr;
    if (state.invalidChars > 0 || state.remainingChars > 0 || HasLoneSurrogate(text) ||
        (!unicodeForm && text.contains(QChar::ReplacementCharacter)))
        return Fail(Undecodable,
                    Tr("It is not valid %1 text.").arg(QString::fromLatin1(codec->name())));
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    m_text = text.toUtf8();
    return true;
}

bool CheckListReader::CheckBounds(const QString& text)
{
    const XmlScan scan = ScanXml(m_text.constData(), kXmlNestingLimit);
    if (scan.depth > kXmlNestingLimit) {
        ReportXmlNestingTooDeep();
        return Fail(TooDeep,
                    Tr("Its elements are nested deeper than %1 levels.").arg(kXmlNestingLimit));
    }
    // Where the walk stops early, the loader's parser would stop too; the DOM parser might go
    // on where nothing bounds it.
    if (!scan.complete)
        return NotWellFormedAt(scan.stop, Tr("unexpected markup or end of text"));

    DoctypeBounds bounds;
    if (scan.doctypeEnd > scan.doctypeBegin) {
        bounds = MeasureDoctype(m_text.constData(), m_text.size(), scan);
        switch (bounds.verdict) {
        case DoctypeBounds::Ok:
            break;
        case DoctypeBounds::Malformed:
            return NotWellFormedAt(bounds.where, Tr("a document type declaration it cannot read"));
        case DoctypeBounds::Recursive:
            return NotWellFormedAt(bounds.where, Tr("an entity that refers to itself"));
        case DoctypeBounds::TooManyDeclarations:
            return Fail(TooMuchMemory, Tr("Its document type declares more than %1 entities.")
                                           .arg(limits::kMaxEntityDeclarations));
        case DoctypeBounds::TooMuchExpansion:
            return Fail(TooMuchMemory,
                        Tr("Its entity references expand to more than %1 characters.")
                            .arg(limits::kMaxEntityExpansion));
        }
        if (static_cast<std::uint64_t>(scan.depth) + bounds.deepestMarkup > kXmlNestingLimit) {
            ReportXmlNestingTooDeep();
            return Fail(TooDeep,
                        Tr("Its elements are nested deeper than %1 levels.").arg(kXmlNestingLimit));
        }
    }
    if (Estimate(m_text, scan, bounds) > limits::kMemoryBudgetBytes)
        return Fail(TooMuchMemory, Tr("Checking it would need more than %1 MiB of memory.")
                                       .arg(limits::kMemoryBudgetBytes >> 20));

    QString message;
    int line = 0;
    int column = 0;
    QDomDocument check;
    if (!check.setContent(text, false, &message, &line, &column)) {
        while (message.endsWith(QLatin1Char('.')))
            message.chop(1);
        return Fail(NotWellFormed, Tr("It is not well-formed XML: %1 at line %2, column %3.")
                                       .arg(message)
                                       .arg(line)
                                       .arg(column));
    }
    return true;
}

} // namespace zuchecklist
