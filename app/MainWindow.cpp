#include "MainWindow.h"

#include "BoundedTextDelegate.h"
#include "DlgItem.h"
#include "DlgList.h"
#include "DocumentTree.h"
#include "EditCommand.h"
#include "FindCommand.h"
#include "InsertCommand.h"
#include "KeysBox.h"
#include "MoveCommand.h"
#include "PrintCommand.h"
#include "RemoveCommand.h"
#include "ReplaceCommand.h"

#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/CheckListReader.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <string>

using zuchecklist::CheckListContainer;

namespace {

// The toolkit's wait cursor while the window reads or writes a file; gone on every way out,
// before any box.
struct WaitCursor
{
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace
using zuchecklist::CheckList;
using zuchecklist::CheckListItem;
using zuchecklist::CheckListReader;

namespace {

// How long one look at the window's events may take while a save waits for a lock.
constexpr int kLockPollMs = 20;

using Place = DocumentTree::Place;
constexpr int NameColumn = DocumentTree::NameColumn;
constexpr int ActionColumn = DocumentTree::ActionColumn;

int ListIndex(const QTreeWidgetItem* row)
{
    return DocumentTree::ListIndex(row);
}

int ItemIndex(const QTreeWidgetItem* row)
{
    return DocumentTree::ItemIndex(row);
}

// How long the status bar tells what was done.
constexpr int kNoticeMs = 8000;

QString Quoted(const QString& name)
{
    return DocumentCommand::Quoted(name);
}

QList<QKeySequence> Keys(std::initializer_list<const char*> keys)
{
    QList<QKeySequence> sequences;
    for (const char* key : keys)
        sequences << QKeySequence(QLatin1String(key), QKeySequence::PortableText);
    return sequences;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), m_form(new Form)
{
    SetupForm();

    setWindowTitle(QStringLiteral("Vellorin"));
    setWindowIcon(QIcon(QPixmap(QStringLiteral(":/Images/CheckList.png"))));
    setMinimumSize(640, 480);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout;
    central->setLayout(layout);
    setCentralWidget(central);

    auto makeButton = [](const QString& caption, const char* objectName) {
        auto* button = new QPushButton(caption);
        button->setObjectName(QLatin1String(objectName));
        return button;
    };

    auto* topRow = new QHBoxLayout;
    layout->addLayout(topRow, 0);
    m_open = makeButton(tr("Open"), "openButton");
    m_save = makeButton(tr("Save"), "saveButton");
    m_clear = makeButton(tr("Clear"), "clearButton");
    topRow->addWidget(m_open);
    topRow->addWidget(m_save);
    topRow->addWidget(m_clear);
    topRow->addStretch(1);

    m_tree = new QTreeWidget;
    m_tree->setObjectName(QStringLiteral("checkListTree"));
    layout->addWidget(m_tree);
    m_tree->setHeaderLabels(QStringList{tr("Name"), tr("Action")});
    m_tree->setColumnWidth(NameColumn, 240);
    m_tree->setColumnWidth(ActionColumn, 220);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setItemDelegate(new BoundedTextDelegate(m_tree));
    // A double click edits the row, as Return does; folding is the arrow's.
    m_tree->setExpandsOnDoubleClick(false);

    auto* bottomRow = new QHBoxLayout;
    layout->addLayout(bottomRow, 0);
    m_addList = makeButton(tr("Add List"), "addListButton");
    m_addItem = makeButton(tr("Add Item"), "addItemButton");
    m_edit = makeButton(tr("Edit"), "editButton");
    m_delete = makeButton(tr("Delete"), "deleteButton");
    m_up = makeButton(tr("Up"), "upButton");
    m_down = makeButton(tr("Down"), "downButton");
    for (QPushButton* button : {m_addList, m_addItem, m_edit, m_delete, m_up, m_down})
        bottomRow->addWidget(button);

    m_container = new CheckListContainer(QStringLiteral("CheckList.xml"));
    m_rows = std::make_unique<DocumentTree>(m_tree, m_container);
    m_modified = false;
    m_history = new QUndoStack(this);
    m_history->setObjectName(QStringLiteral("history"));

    // Actions of the window, not of a widget, so that they work wherever the focus is; a modal
    // dialog takes the keys for itself. The keys that do a button's work press it.
    using Standard = QKeySequence;
    const auto press = [](QPushButton* button) { return [button] { button->click(); }; };
    AddKeys(tr("Open a file, as Open does"), Standard::Open, press(m_open));
    AddKeys(tr("Save the checklist, as Save does"), Standard::Save, press(m_save));
    AddKeys(tr("Add a list, as Add List does"), Keys({"Ctrl+Shift+N"}), press(m_addList));
    AddKeys(tr("Add an item, as Add Item does"), Keys({"Ins", "Ctrl+N"}), press(m_addItem));
    AddKeys(tr("Edit the current row, as Edit does"), Keys({"Return", "Enter", "F2"}),
            press(m_edit));
    AddKeys(tr("Delete the current row, as Delete does"), Standard::Delete, press(m_delete));
    AddKeys(tr("Move the current item or list up"), Keys({"Alt+Up"}), [this] { MoveByKey(-1); });
    AddKeys(tr("Move the current item or list down"), Keys({"Alt+Down"}),
            [this] { MoveByKey(+1); });
    AddKeys(tr("Copy the current row"), Standard::Copy,
            [this] { Apply(ClipboardCommand::Copy(*m_rows)); });
    AddKeys(tr("Cut the current row"), Standard::Cut,
            [this] { Apply(ClipboardCommand::Cut(*m_rows)); });
    AddKeys(tr("Paste after the current row"), Standard::Paste, [this] {
        // The wait cursor is gone before a box says why nothing was pasted.
        Apply([this] {
            const WaitCursor busy;
            return ClipboardCommand::Paste(*m_rows);
        }());
    });
    AddKeys(tr("Duplicate the current row"), Keys({"Ctrl+D"}),
            [this] { Apply(ClipboardCommand::Duplicate(*m_rows)); });
    AddKeys(tr("Find a text"), Standard::Find, [this] { Find(true, true); });
    AddKeys(tr("Find the next row"), Standard::FindNext, [this] { Find(false, true); });
    AddKeys(tr("Find the previous row"), Standard::FindPrevious, [this] { Find(false, false); });
    AddKeys(tr("Undo the last change"), Keys({"Ctrl+Z"}), [this] { StepHistory(true); });
    AddKeys(tr("Redo the last change undone"), Keys({"Ctrl+Shift+Z", "Ctrl+Y"}),
            [this] { StepHistory(false); });
    AddKeys(tr("Print"), Standard::Print, [this] {
        PrintCommand::Run(this, *m_container, [this](const QString& notice) {
            statusBar()->showMessage(notice, kNoticeMs);
        });
    });
    AddKeys(tr("Show the keys"), Standard::HelpContents, [this] { KeysBox::Show(this); });
    // A platform may bind a standard key also to a key named here for another command (X11
    // deletes with Ctrl+D too): the command named here keeps it, so that no key does two things,
    // which would make it do neither.
    QList<QKeySequence> named;
    for (const QAction* action : actions()) {
        if (!action->data().toBool())
            named += action->shortcuts();
    }
    for (QAction* action : actions()) {
        if (action->data().toBool()) {
            QList<QKeySequence> keys = action->shortcuts();
            for (const QKeySequence& key : named)
                keys.removeAll(key);
            action->setShortcuts(keys);
        }
    }
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { m_edit->click(); });

    connect(m_open, SIGNAL(clicked()), this, SLOT(OnFileOpen()));
    connect(m_save, SIGNAL(clicked()), this, SLOT(OnFileSave()));
    connect(m_clear, SIGNAL(clicked()), this, SLOT(OnClearList()));
    connect(m_up, SIGNAL(clicked()), this, SLOT(OnMoveUp()));
    connect(m_down, SIGNAL(clicked()), this, SLOT(OnMoveDown()));
    connect(m_delete, SIGNAL(clicked()), this, SLOT(OnDelete()));
    connect(m_addItem, SIGNAL(clicked()), this, SLOT(OnInsertItem()));
    connect(m_edit, SIGNAL(clicked()), this, SLOT(OnEdit()));
    connect(m_addList, SIGNAL(clicked()), this, SLOT(OnAddList()));
}

MainWindow::~MainWindow()
{
    delete m_form;
    delete m_container;
}

void MainWindow::SetupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWindow"));
    resize(400, 300);
    m_form->menuBar = new QMenuBar(this);
    m_form->menuBar->setObjectName(QStringLiteral("menuBar"));
    setMenuBar(m_form->menuBar);
    m_form->mainToolBar = new QToolBar(this);
    m_form->mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    addToolBar(m_form->mainToolBar);
    m_form->centralWidget = new QWidget(this);
    m_form->centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_form->centralWidget);
    m_form->statusBar = new QStatusBar(this);
    m_form->statusBar->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(m_form->statusBar);
    setWindowTitle(tr("MainWindow"));
    QMetaObject::connectSlotsByName(this);
}

void MainWindow::AddKeys(const QString& what, const QList<QKeySequence>& keys,
                         std::function<void()> run)
{
    auto* action = new QAction(what, this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, std::move(run));
    addAction(action);
}

void MainWindow::AddKeys(const QString& what, QKeySequence::StandardKey key,
                         std::function<void()> run)
{
    AddKeys(what, QKeySequence::keyBindings(key), std::move(run));
    actions().back()->setData(true);
}

void MainWindow::RebuildTree()
{
    m_rows->Rebuild();
}

void MainWindow::OnAddList()
{
    DlgList dialog(tr("New List"), this);
    if (dialog.exec() == QDialog::Accepted) {
        const QString name = dialog.GetListName();
        const int list = m_container->GetListCount();
        zuchecklist::CheckListPiece added;
        added.lists.push_back(CheckList{name, {}});
        Record(new InsertCommand(*m_rows, tr("Added the list %1").arg(Quoted(name)),
                                 std::move(added), {-1, -1, list}, {list, -1}));
    }
    m_modified = true;
}

void MainWindow::OnInsertItem()
{
    m_modified = true;
    QTreeWidgetItem* current = m_tree->currentItem();
    if (!current)
        return;
    DlgItem dialog(tr("New item"), QString(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    // A new item always goes to the end of the current row's list.
    const int list = ListIndex(current->parent() ? current->parent() : current);
    const int item = m_container->GetItemCount(list);
    zuchecklist::CheckListPiece added;
    added.items.push_back(CheckListItem{dialog.GetItemText(), dialog.GetActionText()});
    const QString text = tr("Added the item %1").arg(Quoted(added.items[0].m_text));
    Record(new InsertCommand(*m_rows, text, std::move(added), {list, item, -1}, {list, -1}));
}

void MainWindow::OnEdit()
{
    QTreeWidgetItem* current = m_tree->currentItem();
    if (!current)
        return;
    const Place at = m_rows->Current();
    if (current->parent()) {
        const QString text = current->text(NameColumn);
        const QString action = current->text(ActionColumn);
        DlgItem dialog(text, action, this);
        // A field cuts a loaded text longer than it takes: accepted as the field shows it, the
        // text is shortened, which the user is told.
        const QString shownText = dialog.GetItemText();
        const QString shownAction = dialog.GetActionText();
        if (dialog.exec() != QDialog::Accepted)
            return;
        const CheckListItem is{dialog.GetItemText(), dialog.GetActionText()};
        const bool textCut = shownText != text && is.m_text == shownText;
        const bool actionCut = shownAction != action && is.m_action == shownAction;
        QString note;
        if (textCut && actionCut)
            note = tr("Its item and action texts were cut to the dialog's limits; Ctrl+Z brings "
                      "them back whole.");
        else if (textCut)
            note = tr("Its item text was cut to the dialog's limit; Ctrl+Z brings it back whole.");
        else if (actionCut)
            note = tr("Its action text was cut to the dialog's limit; Ctrl+Z brings it back "
                      "whole.");
        Record(new EditCommand(*m_rows, tr("Edited the item %1").arg(Quoted(is.m_text)), at, is),
               note);
    } else {
        const QString name = current->text(NameColumn);
        DlgList dialog(name, this);
        const QString shown = dialog.GetListName();
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QString is = dialog.GetListName();
        Record(new EditCommand(*m_rows, tr("Edited the list %1").arg(Quoted(is)), at, {is, {}}),
               shown != name && is == shown
                   ? tr("Its name was cut to the dialog's limit; Ctrl+Z brings it back whole.")
                   : QString());
    }
    m_modified = true;
}

void MainWindow::OnDelete()
{
    m_modified = true;
    const Place at = m_rows->Current();
    if (!m_rows->Exists(at))
        return;
    // The rows after the deleted one are renumbered in place, so that the lists the user
    // expanded or collapsed stay as they are.
    const QString name = Quoted(m_rows->NameAt(at));
    Record(new RemoveCommand(
        *m_rows, (at.item < 0 ? tr("Deleted the list %1") : tr("Deleted the item %1")).arg(name),
        at));
}

void MainWindow::OnMoveUp()
{
    Move(-1);
}

void MainWindow::OnMoveDown()
{
    Move(+1);
}

void MainWindow::Move(int offset)
{
    const QTreeWidgetItem* current = m_tree->currentItem();
    if (!current)
        return;
    // A list row reads as the first item of its list.
    const int list = ListIndex(current);
    const int item = ItemIndex(current);
    if (list < 0 || item < 0)
        return;
    m_modified = true;
    if (m_container->CanMoveItem(list, item, offset))
        Record(
            new MoveCommand(*m_rows,
                            (offset < 0 ? tr("Moved the item %1 up") : tr("Moved the item %1 down"))
                                .arg(Quoted(m_container->GetItemText(list, item))),
                            {list, item}, offset));
    RebuildTree();
}

void MainWindow::MoveByKey(int offset)
{
    const Place at = m_rows->Current();
    if (!m_rows->CanMove(at, offset))
        return;
    const QString name = Quoted(m_rows->NameAt(at));
    QString text;
    if (at.item < 0)
        text = offset < 0 ? tr("Moved the list %1 up") : tr("Moved the list %1 down");
    else
        text = offset < 0 ? tr("Moved the item %1 up") : tr("Moved the item %1 down");
    m_modified = true;
    Record(new MoveCommand(*m_rows, text.arg(name), at, offset));
}

void MainWindow::Find(bool ask, bool forward)
{
    if (ask || m_findText.isEmpty()) {
        const QString text = FindCommand::Ask(this, m_findText);
        if (text.isEmpty())
            return;
        m_findText = text;
    }
    statusBar()->showMessage(FindCommand::Next(*m_rows, m_findText, forward), kNoticeMs);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (MayLeaveDocument(true))
        event->accept();
    else
        event->ignore();
}

void MainWindow::OnFileOpen()
{
    // Asked before the file dialog: the user decides about the changes first and does not
    // choose a file only to be stopped afterwards. Going on and then cancelling the file
    // dialog still changes nothing.
    if (!MayLeaveDocument(false))
        return;
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Open File"), QDir::currentPath(), tr("Checklist Xml (*.xml);;All files (*.*)"));
    OpenFile(fileName);
}

void MainWindow::OpenNamedFile(const QString& fileName)
{
    if (QFileInfo::exists(fileName) || QFileInfo(fileName).isSymLink()) {
        OpenFile(QFileInfo(fileName).absoluteFilePath());
        return;
    }
    QMessageBox::warning(this, tr("Warning"),
                         tr("The checklist could not be opened from \"%1\".\nIt does not exist.")
                             .arg(QDir::toNativeSeparators(fileName)));
}

void MainWindow::OpenFile(const QString& fileName)
{
    // A symbolic link that leads nowhere readable (a loop, say) is a name the reader refuses
    // with its reason.
    if (fileName.isEmpty() || (!QFileInfo::exists(fileName) && !QFileInfo(fileName).isSymLink()))
        return;

    // The discarded document goes with its history and its rows, before the new one takes memory.
    m_history->clear();
    m_history->setClean(); // clear() leaves a stack that was never clean so
    m_rows->Replace(std::make_unique<CheckListContainer>(fileName));
    const file::Outcome loaded = LoadFile(fileName);
    // A refused file leaves an empty document that no file holds.
    m_documentFile = loaded.Ok() ? fileName : QString();
    if (!loaded.keptCopy.isEmpty() && OpenKeptCopy(fileName, loaded))
        return;
    QStringList lines = loaded.keptCopy.isEmpty() ? loaded.warnings : QStringList();
    if (!loaded.Ok())
        // The new, empty document stays, with an empty tree, and the user must be able to tell
        // a refused file from an empty one.
        lines.prepend(tr("The checklist could not be opened from \"%1\".\n%2")
                          .arg(QDir::toNativeSeparators(fileName), loaded.sentence));
    else if (!lines.isEmpty())
        lines.prepend(QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(fileName)));
    if (!lines.isEmpty())
        QMessageBox::warning(this, tr("Warning"), lines.join(QLatin1Char('\n')));
}

// What an interrupted save kept is the user's to decide about: open it in place of the file,
// keep it for later, or discard it, "anyway" where it is not proven to be this file's. True
// when it was opened; the file is shown otherwise.
bool MainWindow::OpenKeptCopy(const QString& fileName, const file::Outcome& loaded)
{
    QMessageBox box(
        QMessageBox::Question, tr("Open File"),
        QStringLiteral("\"%1\"\n%2")
            .arg(QDir::toNativeSeparators(fileName), loaded.warnings.join(QLatin1Char('\n'))),
        QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("keptCopyBox"));
    QPushButton* open = box.addButton(tr("Open Kept Content"), QMessageBox::AcceptRole);
    QPushButton* keep = box.addButton(tr("Keep It for Later"), QMessageBox::RejectRole);
    QPushButton* discard =
        box.addButton(loaded.keptCopyProven ? tr("Discard It") : tr("Discard It Anyway"),
                      QMessageBox::DestructiveRole);
    open->setObjectName(QStringLiteral("openKeptCopy"));
    keep->setObjectName(QStringLiteral("keepKeptCopy"));
    discard->setObjectName(QStringLiteral("discardKeptCopy"));
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == discard) {
        const file::Outcome discarded = CheckListReader::DiscardKeptCopy(loaded);
        if (!discarded.Ok())
            QMessageBox::warning(this, tr("Warning"), discarded.sentence);
    }
    if (box.clickedButton() != open)
        return false;
    m_rows->Replace(std::make_unique<CheckListContainer>(fileName));
    file::Outcome kept;
    {
        const WaitCursor busy;
        kept = CheckListReader::LoadKeptCopy(loaded, *m_container);
        if (kept.Ok())
            RebuildTree();
    }
    // Not in the file yet: closing or opening another asks first.
    m_modified = true;
    if (kept.Ok()) {
        m_history->resetClean();
        m_documentFile = m_container->GetFileName();
    } else {
        m_documentFile.clear();
    }
    if (!kept.Ok())
        QMessageBox::warning(this, tr("Warning"),
                             tr("The checklist could not be opened from \"%1\".\n%2")
                                 .arg(QDir::toNativeSeparators(loaded.keptCopy), kept.sentence));
    return true;
}

file::Outcome MainWindow::LoadFile(const QString& fileName)
{
    const WaitCursor busy;
    file::Outcome loaded = CheckListReader::Load(fileName, *m_container);
    if (loaded.Ok())
        RebuildTree();
    return loaded;
}

void MainWindow::OnFileSave()
{
    SaveDocument();
}

bool MainWindow::SaveDocument()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save File"), QDir::currentPath(), tr("Checklist Xml (*.xml)"));
    if (fileName.isEmpty())
        return false;
    m_container->SetFileName(fileName);
    // While another program holds the file's lock, the window stays painted and the user may
    // stop waiting; the dialog is modal, so nothing else of the window runs meanwhile.
    std::unique_ptr<QProgressDialog> waiting;
    std::optional<WaitCursor> busy(std::in_place);
    const file::Outcome saved = m_container->WriteXML([&] {
        if (!waiting) {
            busy.reset(); // the user may cancel now
            waiting = std::make_unique<QProgressDialog>(
                tr("\"%1\" is locked by another program. Waiting for it to be released…")
                    .arg(QDir::toNativeSeparators(fileName)),
                tr("Cancel"), 0, 0, this);
            waiting->setObjectName(QStringLiteral("lockWaitDialog"));
            waiting->setWindowTitle(tr("Save File"));
            waiting->setWindowModality(Qt::WindowModal);
            waiting->setMinimumDuration(0);
            waiting->show();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, kLockPollMs);
        return !waiting->wasCanceled();
    });
    waiting.reset();
    busy.reset();
    if (saved.Ok()) {
        m_modified = false;
        m_history->setClean();
        m_documentFile = fileName;
        statusBar()->showMessage(tr("Saved \"%1\".").arg(QDir::toNativeSeparators(fileName)),
                                 kNoticeMs);
        if (!saved.warnings.isEmpty())
            QMessageBox::warning(this, tr("Warning"),
                                 tr("The checklist was saved to \"%1\".\n%2")
                                     .arg(QDir::toNativeSeparators(fileName),
                                          saved.warnings.join(QLatin1Char('\n'))));
        return true;
    }
    // The changes are not on disk, so they still count as unsaved.
    QString text = tr("The checklist could not be saved to \"%1\".\n%2")
                       .arg(QDir::toNativeSeparators(fileName), saved.sentence);
    if (saved.previousKept)
        text += QLatin1Char('\n') + tr("The previous content of that file is unchanged.");
    for (const QString& warning : saved.warnings)
        text += QLatin1Char('\n') + warning;
    QMessageBox::warning(this, tr("Warning"), text);
    return false;
}

bool MainWindow::MayDiscardChanges()
{
    if (!m_modified || m_tree->topLevelItemCount() == 0)
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, QObject::tr("Warning"),
        QObject::tr("Changes were not saved.\nDo you want to continue and lose changes?"),
        QMessageBox::Ok | QMessageBox::Cancel);
    return answer == QMessageBox::Ok;
}

bool MainWindow::MayLeaveDocument(bool closing)
{
    // The history knows whether the document is what was last opened or saved: an undo back to
    // that state is no change.
    if (m_history->isClean())
        return true;
    const QString document =
        m_documentFile.isEmpty()
            ? tr("the new checklist")
            : QStringLiteral("\"%1\"").arg(QFileInfo(m_documentFile).fileName());
    QMessageBox box(QMessageBox::Warning, closing ? tr("Close") : tr("Open File"),
                    closing
                        ? tr("Save the changes to %1 before closing?").arg(document)
                        : tr("Save the changes to %1 before opening another file?").arg(document),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("saveChangesBox"));
    box.setInformativeText(tr("If you do not save them, the changes are lost."));
    box.button(QMessageBox::Discard)
        ->setText(closing ? tr("Close without Saving") : tr("Open without Saving"));
    // Return saves and Escape cancels: no single key throws the changes away.
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == box.button(QMessageBox::Save))
        return SaveDocument();
    return box.clickedButton() == box.button(QMessageBox::Discard);
}

void MainWindow::OnClearList()
{
    if (!MayDiscardChanges())
        return;
    m_modified = true;
    // The replaced document goes to the history as it is; undo and redo swap it back in.
    Record(
        new ReplaceCommand(*m_rows, tr("Cleared the document"),
                           std::make_unique<CheckListContainer>(QStringLiteral("CheckList.xml"))));
    m_tree->setFocus(Qt::OtherFocusReason);
}

void MainWindow::Record(QUndoCommand* change, const QString& note)
{
    m_history->push(change);
    QString told = tr("%1. Ctrl+Z undoes it.").arg(change->text());
    if (!note.isEmpty())
        told += QLatin1Char(' ') + note;
    statusBar()->showMessage(told, kNoticeMs);
}

void MainWindow::Apply(ClipboardCommand::Result result)
{
    if (result.change) {
        // A large paste takes a moment.
        const WaitCursor busy;
        m_modified = true;
        Record(result.change.release(), result.told);
    } else if (!result.refused.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"), result.refused);
    } else if (!result.told.isEmpty()) {
        statusBar()->showMessage(result.told, kNoticeMs);
    }
}

void MainWindow::StepHistory(bool back)
{
    if (!(back ? m_history->canUndo() : m_history->canRedo())) {
        statusBar()->showMessage(back ? tr("Nothing to undo.") : tr("Nothing to redo."), kNoticeMs);
        return;
    }
    const QString text = back ? m_history->undoText() : m_history->redoText();
    const WaitCursor busy;
    if (back)
        m_history->undo();
    else
        m_history->redo();
    m_modified = true;
    statusBar()->showMessage(back ? tr("Undone: %1. Ctrl+Shift+Z redoes it.").arg(text)
                                  : tr("Redone: %1. Ctrl+Z undoes it.").arg(text),
                             kNoticeMs);
}
