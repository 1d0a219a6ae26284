#include "MessageCapture.h"

namespace support {

namespace {
MessageCapture* g_capture = nullptr;
}

MessageCapture::MessageCapture()
{
    g_capture = this;
    m_previous = qInstallMessageHandler(Handle);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

QVector<MessageCapture::Message> MessageCapture::Debug() const
{
    QVector<Message> debug;
    for (const Message& m : m_messages) {
        if (m.type == QtDebugMsg)
            debug << m;
    }
    return debug;
}

void MessageCapture::Handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!g_capture)
        return;
    g_capture->m_messages << Message{
        type,         QLatin1String(context.category), QLatin1String(context.file),
        context.line, QLatin1String(context.function), text};
}

} // namespace support
