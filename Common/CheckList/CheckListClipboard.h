#pragma once

#include "Common/CheckList/CheckListContainer.h"
#include "Common/File/Outcome.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <vector>

class QMimeData;

namespace zuchecklist {

// The clipboard's two forms of a piece. The document's own XML form, under a MIME type the
// caller names, keeps every text exactly. Plain text is for every other program: an item is a
// line "text<TAB>action", a list its name on a line of its own followed by its items' lines.
//
// Read back, a line with a tab is an item, split at the first tab; a line of the paper form,
// "Fuel selector ........ BOTH", is an item split at its dots (a run of three or more, which a
// single blank may separate, or "…"; the blanks around them dropped); any other line that is
// not blank names a new list, into which the items that follow go. Texts are kept whole, but
// for characters XML does not allow, which are left out and counted. A piece whose rows would
// take more memory than Open may is refused, as Open refuses such a file, in either form.
class CheckListClipboard
{
    Q_DECLARE_TR_FUNCTIONS(CheckListClipboard)

public:
    struct Read
    {
        CheckListPiece piece;
        int leftOut = 0; // characters XML does not allow
        file::Outcome outcome;
    };

    static QByteArray ToXml(const CheckListPiece& piece);
    // Line breaks in a text, and tabs in an item text or a list name, become blanks.
    static QString ToText(const CheckListPiece& piece);
    // With Open's checks, as a file of those bytes would be.
    static Read FromXml(QByteArray xml);
    static Read FromText(const QString& text);

    // Both forms.
    static void Put(const CheckListPiece& piece, const QString& ownType, QMimeData* into);
    // The own form where there is one, else the text; an empty piece from neither.
    static Read Take(const QMimeData& from, const QString& ownType);
};

} // namespace zuchecklist
