#include "DocumentCommand.h"

namespace {

// What a notice quotes of a name at most, in UTF-16 units.
constexpr int kNoticeNameLength = 40;

} // namespace

DocumentCommand::DocumentCommand(DocumentTree& rows, const QString& text, Place undone,
                                 Place redone)
    : QUndoCommand(text), m_rows(rows), m_undone(undone), m_redone(redone)
{
}

void DocumentCommand::redo()
{
    Make();
    m_rows.MakeCurrent(m_redone);
}

void DocumentCommand::undo()
{
    TakeBack();
    m_rows.MakeCurrent(m_undone);
}

QString DocumentCommand::Quoted(const QString& name)
{
    if (name.size() <= kNoticeNameLength)
        return QStringLiteral("\"%1\"").arg(name);
    const int cut = kNoticeNameLength - (name.at(kNoticeNameLength - 1).isHighSurrogate() ? 1 : 0);
    return QStringLiteral("\"%1\u2026\"").arg(name.left(cut));
}
