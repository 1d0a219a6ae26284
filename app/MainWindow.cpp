#include "MainWindow.h"

#include "BoundedTextDelegate.h"
#include "DlgItem.h"
#include "DlgList.h"

#include "Common/CheckList/CheckListContainer.h"
#include "Common/CheckList/CheckListReader.h"

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
using zuchecklist::CheckListReader;

namespace {

// How long one look at the window's events may take while a save waits for a lock.
constexpr int kLockPollMs = 20;

enum Column
{
    NameColumn = 0,
    ActionColumn = 1,
    ListIndexColumn = 2,
    ItemIndexColumn = 3
};

// Unset or non-numeric index texts read as 0.
int ListIndex(const QTreeWidgetItem* row)
{
    return row->text(ListIndexColumn).toInt(nullptr, 10);
}

int ItemIndex(const QTreeWidgetItem* row)
{
    return row->text(ItemIndexColumn).toInt(nullptr, 10);
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
    m_modified = false;

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

void MainWindow::RebuildTree()
{
    m_tree->clear();

    // Rows are built detached and handed to the tree in one step: inserting them one by one
    // into a live tree costs a model notification each.
    const int listCount = m_container->GetListCount();
    QList<QTreeWidgetItem*> listRows;
    listRows.reserve(listCount);
    QVector<QString> itemNumbers; // shared texts "0", "1", ... for the item index column
    for (int l = 0; l < listCount; ++l) {
        const QString listNumber = QString::number(l);
        auto* listRow = new QTreeWidgetItem;
        listRow->setText(NameColumn, m_container->GetListName(l));
        listRow->setText(ListIndexColumn, listNumber);

        const int itemCount = m_container->GetItemCount(l);
        for (int i = itemNumbers.size(); i < itemCount; ++i)
            itemNumbers.append(QString::number(i));
        QList<QTreeWidgetItem*> itemRows;
        itemRows.reserve(itemCount);
        for (int i = 0; i < itemCount; ++i) {
            itemRows.append(new QTreeWidgetItem(QStringList{m_container->GetItemText(l, i),
                                                            m_container->GetItemAction(l, i),
                                                            listNumber, itemNumbers[i]}));
        }
        listRow->addChildren(itemRows);
        listRows.append(listRow);
    }
    m_tree->addTopLevelItems(listRows);
    m_tree->expandAll();
}

void MainWindow::OnAddList()
{
    DlgList dialog(tr("New List"), this);
    if (dialog.exec() == QDialog::Accepted) {
        auto* row = new QTreeWidgetItem(m_tree);
        row->setText(NameColumn, dialog.GetListName());
        row->setText(ListIndexColumn, QString::number(m_container->GetListCount()));
        m_container->AddList(dialog.GetListName());
        m_tree->setCurrentItem(row);
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
    QTreeWidgetItem* listRow = current->parent() ? current->parent() : current;
    auto* row = new QTreeWidgetItem(listRow);
    const int list = ListIndex(listRow);
    m_container->AddItem(dialog.GetItemText(), dialog.GetActionText(), list);
    row->setText(NameColumn, dialog.GetItemText());
    row->setText(ActionColumn, dialog.GetActionText());
    row->setText(ListIndexColumn, listRow->text(ListIndexColumn));
    row->setText(ItemIndexColumn, QString::number(m_container->GetItemCount(list) - 1));
    m_tree->setCurrentItem(row);
}

void MainWindow::OnEdit()
{
    QTreeWidgetItem* current = m_tree->currentItem();
    if (!current)
        return;
    if (current->parent()) {
        DlgItem dialog(current->text(NameColumn), current->text(ActionColumn), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        current->setText(NameColumn, dialog.GetItemText());
        current->setText(ActionColumn, dialog.GetActionText());
        m_container->SetItem(dialog.GetItemText(), dialog.GetActionText(), ListIndex(current),
                             ItemIndex(current));
    } else {
        DlgList dialog(current->text(NameColumn), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        current->setText(NameColumn, dialog.GetListName());
        m_container->SetListName(dialog.GetListName(), ListIndex(current));
    }
    m_modified = true;
}

void MainWindow::OnDelete()
{
    m_modified = true;
    QTreeWidgetItem* current = m_tree->currentItem();
    if (!current)
        return;

    // The rows after the deleted one are renumbered in place, so that the lists the user
    // expanded or collapsed stay as they are.
    if (QTreeWidgetItem* listRow = current->parent()) {
        const int position = listRow->indexOfChild(current);
        listRow->takeChild(position);
        m_container->DeleteItem(ListIndex(current), ItemIndex(current));
        delete current;
        for (int i = position; i < listRow->childCount(); ++i)
            listRow->child(i)->setText(ItemIndexColumn, QString::number(i));
    } else {
        const int position = m_tree->indexOfTopLevelItem(current);
        m_tree->takeTopLevelItem(position);
        m_container->DeleteList(ListIndex(current));
        delete current;
        for (int l = position; l < m_tree->topLevelItemCount(); ++l) {
            QTreeWidgetItem* row = m_tree->topLevelItem(l);
            const QString number = QString::number(l);
            row->setText(ListIndexColumn, number);
            for (int i = 0; i < row->childCount(); ++i)
                row->child(i)->setText(ListIndexColumn, number);
        }
    }
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
    m_container->MoveItem(list, item, offset);
    m_modified = true;
    RebuildTree();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (MayDiscardChanges())
        event->accept();
    else
        event->ignore();
}

void MainWindow::OnFileOpen()
{
    // Asked before the file dialog: the user decides about the changes first and does not
    // choose a file only to be stopped afterwards. Going on and then cancelling the file
    // dialog still changes nothing.
    if (!MayDiscardChanges())
        return;
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Open File"), QDir::currentPath(), tr("Checklist Xml (*.xml);;All files (*.*)"));
    OpenFile(fileName);
}

void MainWindow::OpenNamedFile(const QString& fileName)
{
    if (QFileInfo::exists(fileName)) {
        OpenFile(QFileInfo(fileName).absoluteFilePath());
        return;
    }
    QMessageBox::warning(this, tr("Warning"),
                         tr("The checklist could not be opened from \"%1\".\nIt does not exist.")
                             .arg(QDir::toNativeSeparators(fileName)));
}

void MainWindow::OpenFile(const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return;

    // The rows of the discarded document go with it, before the new one takes memory.
    m_tree->clear();
    delete m_container;
    m_container = new CheckListContainer(fileName);
    const file::Outcome loaded = LoadFile(fileName);
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
// keep it for later, or discard it. True when it was opened; the file is shown otherwise.
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
    QPushButton* discard = box.addButton(tr("Discard It"), QMessageBox::DestructiveRole);
    open->setObjectName(QStringLiteral("openKeptCopy"));
    keep->setObjectName(QStringLiteral("keepKeptCopy"));
    discard->setObjectName(QStringLiteral("discardKeptCopy"));
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    QString error;
    if (box.clickedButton() == discard &&
        !CheckListReader::DiscardKeptCopy(loaded.keptCopy, &error))
        QMessageBox::warning(this, tr("Warning"), error);
    if (box.clickedButton() != open)
        return false;
    m_tree->clear();
    delete m_container;
    m_container = new CheckListContainer(fileName);
    const file::Outcome kept = LoadFile(loaded.keptCopy);
    // Not in the file yet: closing or opening another asks first.
    m_modified = true;
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
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Save File"), QDir::currentPath(), tr("Checklist Xml (*.xml)"));
    if (fileName.isEmpty())
        return;
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
        if (!saved.warnings.isEmpty())
            QMessageBox::warning(this, tr("Warning"),
                                 tr("The checklist was saved to \"%1\".\n%2")
                                     .arg(QDir::toNativeSeparators(fileName),
                                          saved.warnings.join(QLatin1Char('\n'))));
        return;
    }
    // The changes are not on disk, so they still count as unsaved.
    QString text = tr("The checklist could not be saved to \"%1\".\n%2")
                       .arg(QDir::toNativeSeparators(fileName), saved.sentence);
    if (saved.previousKept)
        text += QLatin1Char('\n') + tr("The previous content of that file is unchanged.");
    for (const QString& warning : saved.warnings)
        text += QLatin1Char('\n') + warning;
    QMessageBox::warning(this, tr("Warning"), text);
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

void MainWindow::OnClearList()
{
    if (!MayDiscardChanges())
        return;
    m_tree->clear();
    m_modified = true;
    delete m_container;
    m_container = new CheckListContainer(QStringLiteral("CheckList.xml"));
    m_tree->setFocus(Qt::OtherFocusReason);
}
