#pragma once

#include <cstdint>

// What XML 1.0 itself says about characters, known once for the scanner, the decoder and the
// writer: which characters a document may hold, which are white space, the byte-order mark of
// UTF-8, and the declaration a saved file starts with.

// Characters XML 1.0 allows in a document, raw or by character reference.
constexpr bool IsXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The last character of Unicode; a character reference beyond it is none.
constexpr std::uint32_t kLastXmlCharacter = 0x10FFFF;

constexpr bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// UTF-8's byte-order mark, which a text may start with and the parsers skip.
constexpr unsigned char kUtf8ByteOrderMark[] = {0xEF, 0xBB, 0xBF};

inline bool StartsWithUtf8ByteOrderMark(const char* p, std::size_t size)
{
    return size >= sizeof kUtf8ByteOrderMark &&
           static_cast<unsigned char>(p[0]) == kUtf8ByteOrderMark[0] &&
           static_cast<unsigned char>(p[1]) == kUtf8ByteOrderMark[1] &&
           static_cast<unsigned char>(p[2]) == kUtf8ByteOrderMark[2];
}

// The start of an XML declaration, and the whole one every saved file begins with.
constexpr char kXmlDeclarationStart[] = "<?xml";
constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
