#pragma once

#include "Common/CheckList/CheckListContainer.h"
#include "app/MainWindow.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUndoStack>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

// Test access to the window's state, which it keeps private.
class MainWindowTester
{
public:
    explicit MainWindowTester(MainWindow& window) : m_window(window) {}

    bool Modified() const { return m_window.m_modified; }
    // Whether the document differs from the file last opened or saved, as closing asks.
    bool Unsaved() const { return !m_window.m_history->isClean(); }
    void SetModified(bool modified) { m_window.m_modified = modified; }
    zuchecklist::CheckListContainer& Model() const { return *m_window.m_container; }
    QTreeWidget* Tree() const { return m_window.m_tree; }
    // What Open does once its dialog has returned a name.
    void OpenFile(const QString& fileName) { m_window.OpenFile(fileName); }

private:
    MainWindow& m_window;
};

// Answers modal windows while a button click runs their event loop. Arm() before the click
// that should open one; Answered() tells afterwards whether it came.
//
// A timer polls for the active modal window. The answer runs as an event of its own, outside
// the polling slot, so that a window the answer opens in turn (a nested message box) is seen by
// the next poll instead of waiting for ever. A modal window that shows up while nothing is armed,
// or that an answer left open, fails the running test at once with its title and text, and is
// closed, so a test never blocks on a window it did not expect.
class ModalAnswerer
{
public:
    using Answer = std::function<void(QWidget* modal)>;

    ModalAnswerer();
    void Arm(Answer answer);
    bool Answered() const { return m_answered; }
    int Unexpected() const { return m_unexpected; }

private:
    void Poll();

    QTimer m_timer;
    Answer m_answer;
    QPointer<QWidget> m_answering; // the window whose answer is on its way
    QPointer<QWidget> m_leftOpen;  // the window answered last
    bool m_answered = false;
    int m_unexpected = 0;
};

namespace gui {

// Clicks a button of the window found by its object name; false if there is none.
bool Click(QWidget* window, const char* buttonName);

// Typing into dialogs: the field's text is replaced by 'text' through key events.
void Type(QWidget* dialog, const char* editName, const QString& text);
void ClickOk(QWidget* dialog);
// Answers a file dialog with 'path' as if typed into its name box, whatever the dialog's
// directory listing, its focus and its history hold; 'validate' false skips the dialog's own
// checks of the name (existence, overwriting) and returns it as it stands.
void ChooseFile(QWidget* fileDialog, const QString& path, bool validate = true);
void ClickCancel(QWidget* dialog);
void PressEscape(QWidget* dialog);

// Title, text and informative text of a modal window, for messages.
QString Describe(const QWidget* modal);

// Answers for the list and item dialogs; a null text leaves the field as it is.
ModalAnswerer::Answer AcceptList(const QString& name);
ModalAnswerer::Answer AcceptItem(const QString& text, const QString& action);
ModalAnswerer::Answer Cancel();

// Every row against the document: texts, index columns, and no unset column set.
// Returns an empty string when they agree, otherwise what differs.
QString CompareTreeWithModel(const QTreeWidget* tree, const zuchecklist::CheckListContainer& model);

// Fills a document through its own operations: lists "L0".., items "L<l>I<i>", actions "A<i>".
void FillModel(zuchecklist::CheckListContainer& model, std::initializer_list<int> itemCounts);

} // namespace gui
