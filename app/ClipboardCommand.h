#pragma once

#include "DocumentTree.h"

#include <QCoreApplication>
#include <QString>
#include <QUndoCommand>

#include <memory>

// The window's keys that copy, cut, paste and duplicate rows: the current row on the system
// clipboard in both of its forms (CheckListClipboard), and the changes that put a piece of a
// document after the current row.
class ClipboardCommand
{
    Q_DECLARE_TR_FUNCTIONS(ClipboardCommand)

public:
    // The document's own XML form on the clipboard.
    static const char kMimeType[];

    // What a key did: a change for the history, with what the status bar adds to its sentence;
    // or no change, with what the status bar says, or why nothing could be pasted.
    struct Result
    {
        std::unique_ptr<QUndoCommand> change;
        QString told;
        QString refused;
    };

    // Each acts on the current row, and does nothing without one.
    static Result Copy(const DocumentTree& rows);
    // Copies, then takes the row out as Delete does.
    static Result Cut(DocumentTree& rows);
    // Items after the current item, or at the end of the current list; lists after the current
    // list, or at the end. The first row pasted becomes current.
    static Result Paste(DocumentTree& rows);
    // A copy of the row right after it.
    static Result Duplicate(DocumentTree& rows);
};
