#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace support {

// Collects the toolkit's messages (qDebug() and the like) while it exists, instead of printing
// them, and puts the previous handler back afterwards. Not nestable.
class MessageCapture
{
public:
    struct Message
    {
        QtMsgType type;
        QString category;
        QString file; // empty without source context
        int line;
        QString function;
        QString text;
    };

    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    const QVector<Message>& Messages() const { return m_messages; }
    QVector<Message> Debug() const; // the debug messages alone
    void Clear() { m_messages.clear(); }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text);

    QVector<Message> m_messages;
    QtMessageHandler m_previous;
};

} // namespace support
