#include "GuiDriver.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

ModalAnswerer::ModalAnswerer()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
}

void ModalAnswerer::Arm(Answer answer)
{
    m_answer = std::move(answer);
    m_answered = false;
}

void ModalAnswerer::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_answering)
        return;
    if (m_answer) {
        m_answering = modal;
        m_answered = true;
        QTimer::singleShot(0, modal, [this, modal, answer = std::move(m_answer)] {
            answer(modal);
            // Still open after its answer: the next poll treats it as unexpected.
            m_leftOpen = modal;
            m_answering = nullptr;
        });
        m_answer = nullptr;
        return;
    }
    ++m_unexpected;
    ADD_FAILURE() << (modal == m_leftOpen ? "Modal window left open by its answer "
                                          : "Unexpected modal window ")
                  << modal->metaObject()->className() << ": " << gui::Describe(modal).toStdString();
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

namespace gui {

bool Click(QWidget* window, const char* buttonName)
{
    auto* button = window->findChild<QPushButton*>(QLatin1String(buttonName));
    if (!button)
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

void Type(QWidget* dialog, const char* editName, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(editName));
    if (!edit)
        return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void ClickOk(QWidget* dialog)
{
    if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okButton")))
        QTest::mouseClick(ok, Qt::LeftButton);
}

void ClickCancel(QWidget* dialog)
{
    if (auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancelButton")))
        QTest::mouseClick(cancel, Qt::LeftButton);
}

void ChooseFile(QWidget* fileDialog, const QString& path, bool validate)
{
    auto* dialog = qobject_cast<QFileDialog*>(fileDialog);
    ASSERT_NE(dialog, nullptr) << "not a file dialog: " << Describe(fileDialog).toStdString();
    // A row selected in the listing would win over the typed name; selectFile() would leave the
    // name box as it is while the box has the focus, which depends on window activation.
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->selectionModel())
            view->selectionModel()->clear();
    }
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr) << "the file dialog has no name box";
    name->setText(QFileInfo(path).absoluteFilePath());
    // Both are protected in the file dialog; its own slots, as its Open or Save button calls.
    if (validate)
        QMetaObject::invokeMethod(dialog, "accept");
    else
        QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
}

QString Describe(const QWidget* modal)
{
    QStringList parts{QLatin1Char('"') + modal->windowTitle() + QLatin1Char('"')};
    if (auto* box = qobject_cast<const QMessageBox*>(modal)) {
        parts << box->text() << box->informativeText();
    } else {
        for (const QLabel* label : modal->findChildren<QLabel*>())
            parts << label->text();
    }
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" | "));
}

void PressEscape(QWidget* dialog)
{
    QTest::keyClick(dialog, Qt::Key_Escape);
}

ModalAnswerer::Answer AcceptList(const QString& name)
{
    return [name](QWidget* dialog) {
        if (!name.isNull())
            Type(dialog, "listNameEdit", name);
        ClickOk(dialog);
    };
}

ModalAnswerer::Answer AcceptItem(const QString& text, const QString& action)
{
    return [text, action](QWidget* dialog) {
        if (!text.isNull())
            Type(dialog, "itemTextEdit", text);
        if (!action.isNull())
            Type(dialog, "actionTextEdit", action);
        ClickOk(dialog);
    };
}

ModalAnswerer::Answer Cancel()
{
    return [](QWidget* dialog) { ClickCancel(dialog); };
}

QString CompareTreeWithModel(const QTreeWidget* tree, const zuchecklist::CheckListContainer& model)
{
    if (tree->topLevelItemCount() != model.GetListCount())
        return QStringLiteral("%1 list rows for %2 lists")
            .arg(tree->topLevelItemCount())
            .arg(model.GetListCount());
    for (int l = 0; l < model.GetListCount(); ++l) {
        const QTreeWidgetItem* row = tree->topLevelItem(l);
        const QString where = QStringLiteral("list row %1: ").arg(l);
        if (row->text(0) != model.GetListName(l))
            return where + QStringLiteral("name '%1'").arg(row->text(0));
        if (row->text(2) != QString::number(l))
            return where + QStringLiteral("list index '%1'").arg(row->text(2));
        if (row->data(1, Qt::DisplayRole).isValid() || row->data(3, Qt::DisplayRole).isValid())
            return where + QStringLiteral("column 1 or 3 is set");
        if (row->childCount() != model.GetItemCount(l))
            return where + QStringLiteral("%1 item rows for %2 items")
                               .arg(row->childCount())
                               .arg(model.GetItemCount(l));
        for (int i = 0; i < row->childCount(); ++i) {
            const QTreeWidgetItem* item = row->child(i);
            const QStringList expected{model.GetItemText(l, i), model.GetItemAction(l, i),
                                       QString::number(l), QString::number(i)};
            const QStringList actual{item->text(0), item->text(1), item->text(2), item->text(3)};
            if (actual != expected || item->childCount() != 0)
                return where + QStringLiteral("item row %1: '%2' instead of '%3'")
                                   .arg(i)
                                   .arg(actual.join('|'), expected.join('|'));
        }
    }
    return QString();
}

void FillModel(zuchecklist::CheckListContainer& model, std::initializer_list<int> itemCounts)
{
    int l = model.GetListCount();
    for (int count : itemCounts) {
        model.AddList(QStringLiteral("L%1").arg(l));
        for (int i = 0; i < count; ++i)
            model.AddItem(QStringLiteral("L%1I%2").arg(l).arg(i), QStringLiteral("A%1").arg(i), l);
        ++l;
    }
}

} // namespace gui
