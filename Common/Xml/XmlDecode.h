#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of an XML file into its text, by the encoding the file announces: a
// byte-order mark, the zero bytes around "<?" of the wide forms without a mark, the encoding
// its declaration names, or else UTF-8. Nothing is cut: a character U+0000 stays in the text,
// for the checks to refuse. A text that holds what its encoding cannot decode, or a lone
// surrogate, is refused.
struct XmlDecoded
{
    enum Result
    {
        Ok,
        UnknownEncoding, // the declaration names an encoding no codec is known for
        Invalid          // the bytes are not valid text in the encoding
    };
    Result result = Ok;
    QByteArray encoding; // the name of the codec used, or the unknown name
};

// On Ok, 'utf8' holds the text as UTF-8, NUL-terminated behind its size (a UTF-8 byte-order mark
// kept), and 'text' the same text as UTF-16; UTF-8 bytes are moved into 'utf8' without a copy.
XmlDecoded DecodeXml(QByteArray bytes, QByteArray& utf8, QString& text);
