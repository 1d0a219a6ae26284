#pragma once

#include <QString>
#include <QStringList>

namespace file {

// How reading, loading or saving a file ended: done, or the kind of failure with one
// translated sentence for the user ("It is not a regular file."; where the text is at fault, it
// names the line and column). Each class that makes sentences declares
// its translation context with Q_DECLARE_TR_FUNCTIONS, so that lupdate finds them all.
struct Outcome
{
    enum Kind
    {
        Done,
        NotRegularFile,
        Unreadable,
        TooLarge,
        Undecodable,
        NotWellFormed,
        TooDeep,
        TooMuchMemory,
        NotChecklist, // well-formed XML without a checklist in it
        NotSaved,
        NotRemoved
    };
    Kind kind = Done;
    QString sentence;
    // Saving. For NotSaved: the file exists and still holds its previous content.
    bool previousKept = false;
    // Saving: where the new content stays when the file may not hold it. Open: the record an
    // interrupted save of the file left, and whether it is proven to be of this very file, so
    // that it may be discarded.
    QString keptCopy;
    bool keptCopyProven = false;
    QStringList warnings; // also when done: what went wrong once the file was complete

    bool Ok() const { return kind == Done; }
    static Outcome Failed(Kind kind, const QString& sentence)
    {
        Outcome outcome;
        outcome.kind = kind;
        outcome.sentence = sentence;
        return outcome;
    }
};

} // namespace file
