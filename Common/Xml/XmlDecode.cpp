#include "XmlDecode.h"

#include "XmlChars.h"

#include <QTextCodec>

#include <initializer_list>

namespace {

// The toolkit's codec numbers (IANA MIBenum) of the Unicode forms.
constexpr int kMibUtf8 = 106;
constexpr int kMibUtf16Be = 1013;
constexpr int kMibUtf16Le = 1014;
constexpr int kMibUtf16 = 1015;
constexpr int kMibUtf32 = 1017;
constexpr int kMibUtf32Be = 1018;
constexpr int kMibUtf32Le = 1019;

bool IsWide(int mib)
{
    for (int wide : {kMibUtf16Be, kMibUtf16Le, kMibUtf16, kMibUtf32, kMibUtf32Be, kMibUtf32Le})
        if (mib == wide)
            return true;
    return false;
}

// An encoding a file announces before its declaration is read: by a byte-order mark, or in
// the wide forms by the zero bytes around its first characters. A null codec: none.
struct Detected
{
    const char* codec;
    int unitSize;
    int markSize;
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
    if (StartsWithUtf8ByteOrderMark(bytes.constData(), static_cast<std::size_t>(bytes.size())))
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
    static const QByteArray kEncoding("encoding");
    if (!bytes.startsWith(kXmlDeclarationStart))
        return {};
    const int end = bytes.indexOf("?>");
    if (end < 0)
        return {};
    const QByteArray declaration = bytes.left(end);
    int at = declaration.indexOf(kEncoding);
    if (at < 0)
        return {};
    at += kEncoding.size();
    while (at < declaration.size() && IsXmlSpace(declaration[at]))
        ++at;
    if (at >= declaration.size() || declaration[at] != '=')
        return {};
    ++at;
    while (at < declaration.size() && IsXmlSpace(declaration[at]))
        ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const int close = declaration.indexOf(declaration[at], at + 1);
    if (close < 0)
        return {};
    return declaration.mid(at + 1, close - at - 1).trimmed();
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

} // namespace

XmlDecoded DecodeXml(QByteArray bytes, QByteArray& utf8, QString& text)
{
    utf8.clear();
    text.clear();
    const Detected detected = DetectUnicode(bytes);
    QByteArray codecName = detected.codec;
    if (!detected.codec) {
        const QByteArray declared = DeclaredEncoding(bytes);
        if (!declared.isEmpty())
            codecName = declared;
    }
    QTextCodec* codec = codecName.isEmpty() ? QTextCodec::codecForMib(kMibUtf8)
                                            : QTextCodec::codecForName(codecName);
    if (!codec)
        return {XmlDecoded::UnknownEncoding, codecName};
    const int mib = codec->mibEnum();
    if (mib == kMibUtf8) {
        // The checked bytes themselves are the loader's text: no second encoding.
        QTextCodec::ConverterState state;
        text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
        if (state.invalidChars > 0 || state.remainingChars > 0) {
            text.clear();
            return {XmlDecoded::Invalid, QByteArrayLiteral("UTF-8")};
        }
        utf8 = std::move(bytes);
        return {XmlDecoded::Ok, QByteArrayLiteral("UTF-8")};
    }
    // The wide forms need a byte-order mark or the "<?" that identifies them.
    if (detected.unitSize == 1 && IsWide(mib))
        return {XmlDecoded::Invalid, codec->name()};

    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    text = codec->toUnicode(bytes.constData() + detected.markSize, bytes.size() - detected.markSize,
                            &state);
    bytes = QByteArray();
    // Some codecs count what they cannot decode, others put U+FFFD in its place; a text in a
    // legacy encoding cannot carry that character itself.
    const bool unicodeForm = detected.codec != nullptr;
    if (state.invalidChars > 0 || state.remainingChars > 0 || HasLoneSurrogate(text) ||
        (!unicodeForm && text.contains(QChar::ReplacementCharacter))) {
        text.clear();
        return {XmlDecoded::Invalid, codec->name()};
    }
    utf8 = text.toUtf8();
    return {XmlDecoded::Ok, codec->name()};
}
