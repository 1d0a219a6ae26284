#pragma once

#include "ClipboardCommand.h"

#include "Common/File/Outcome.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class DocumentTree;
class QCloseEvent;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QUndoCommand;
class QUndoStack;

namespace zuchecklist {
class CheckListContainer;
}

// The editor window: the checklist tree between two rows of command buttons.
// Every tree row carries the position of its list (column 2) and of its item (column 3) as
// decimal text beyond the two visible columns; the commands address the document only
// through these numbers.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Empties the tree and fills it again from the document, all lists expanded.
    void RebuildTree();
    // Opens a file named on the command line as the Open button opens the one its dialog
    // returns; a name of no file gets a box that says so.
    void OpenNamedFile(const QString& fileName);

protected:
    // Every way the window is closed comes here: with unsaved changes the user may stay.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void OnFileOpen();
    void OnFileSave();
    void OnClearList();
    void OnMoveUp();
    void OnMoveDown();
    void OnDelete();
    void OnInsertItem();
    void OnEdit();
    void OnAddList();

private:
    // The widgets of the window's frame.
    struct Form
    {
        QMenuBar* menuBar;
        QToolBar* mainToolBar;
        QWidget* centralWidget;
        QStatusBar* statusBar;
    };

    void SetupForm();
    // The window's keys: an action with its description, which F1 lists.
    void AddKeys(const QString& what, const QList<QKeySequence>& keys, std::function<void()> run);
    // The platform's keys for a standard key, which yield to the keys the window names.
    void AddKeys(const QString& what, QKeySequence::StandardKey key, std::function<void()> run);
    // Clear's warning: true when nothing unsaved would be lost, or the user agreed to lose it.
    bool MayDiscardChanges();
    // Closing and Open: true when the document is what was last opened or saved, or the user
    // saved it or chose to discard the changes; Cancel, or a save cancelled or failed, is false.
    bool MayLeaveDocument(bool closing);
    // The Save command: its dialog, the save, and word of how it ended; true when saved.
    bool SaveDocument();
    void Move(int offset);
    // Alt+Up and Alt+Down: the current item or list, which stays current.
    void MoveByKey(int offset);
    void Find(bool ask, bool forward);
    void OpenFile(const QString& fileName);
    bool OpenKeptCopy(const QString& fileName, const file::Outcome& loaded);
    // Empty when the file was loaded, otherwise why not.
    file::Outcome LoadFile(const QString& fileName);
    // Makes a change through the history, and says in the status bar how to undo it, then 'note'.
    void Record(QUndoCommand* change, const QString& note = QString());
    // What a clipboard key did: its change recorded, a box for a refusal, or the status bar.
    void Apply(ClipboardCommand::Result result);
    // Undoes the last change ('back') or redoes the last undone one, and shows where.
    void StepHistory(bool back);

    Form* m_form;
    QTreeWidget* m_tree;
    QPushButton* m_open;
    QPushButton* m_save;
    QPushButton* m_clear;
    QPushButton* m_addList;
    QPushButton* m_addItem;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QPushButton* m_up;
    QPushButton* m_down;
    bool m_modified;
    zuchecklist::CheckListContainer* m_container;
    // The document and the tree, changed together; replaces m_container for Open and Clear.
    std::unique_ptr<DocumentTree> m_rows;
    // Every change since the document was opened or the window started; Clear is one of them.
    QUndoStack* m_history;
    // The file whose content the history's clean state is: the file last opened or saved.
    QString m_documentFile;
    QString m_findText; // what F3 and Shift+F3 find

    friend class MainWindowTester;
};
