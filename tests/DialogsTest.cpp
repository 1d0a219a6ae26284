#include "app/DlgItem.h"
#include "app/DlgList.h"
#include "app/WholeCharacterValidator.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QLineEdit* Edit(QWidget* dialog, const char* name)
{
    return dialog->findChild<QLineEdit*>(QLatin1String(name));
}

QStringList Labels(QWidget* dialog)
{
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

// Runs the dialog modally while 'act' drives it from the event loop.
int RunModal(QDialog& dialog, std::function<void()> act)
{
    QTimer::singleShot(0, [&dialog, act] {
        dialog.activateWindow();
        act();
    });
    return dialog.exec();
}

TEST(DlgList, ShowsTitleLabelAndInitialNameCutTo80)
{
    QWidget parent;
    DlgList dialog(QString(100, QLatin1Char('n')), &parent);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("List name editor"));
    EXPECT_EQ(dialog.parentWidget(), &parent);
    EXPECT_EQ(Labels(&dialog), QStringList{"Specify list name: "});
    EXPECT_EQ(dialog.GetListName(), QString(80, QLatin1Char('n')));
    QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    EXPECT_EQ(buttons[1]->text(), QStringLiteral("Cancel"));
}

TEST(DlgList, OkReturnsTypedTextWithBlanksAndTypingStopsAtTheLimit)
{
    DlgList dialog(QStringLiteral("New List"), nullptr);
    const int result = RunModal(dialog, [&] {
        QLineEdit* edit = Edit(&dialog, "listNameEdit");
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("  Taxi  "));
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.GetListName(), QStringLiteral("  Taxi  "));

    DlgList full(QString(80, QLatin1Char('x')), nullptr);
    RunModal(full, [&] {
        QLineEdit* edit = Edit(&full, "listNameEdit");
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral("yz"));
        QTest::keyClick(edit, Qt::Key_Return); // Return activates OK
    });
    EXPECT_EQ(full.result(), 1);
    EXPECT_EQ(full.GetListName(), QString(80, QLatin1Char('x')));
}

TEST(DlgList, CancelEscapeAndCloseReject)
{
    for (int way = 0; way < 3; ++way) {
        DlgList dialog(QStringLiteral("a"), nullptr);
        const int result = RunModal(dialog, [&] {
            if (way == 0)
                QTest::mouseClick(dialog.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
            else if (way == 1)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        EXPECT_EQ(result, 0) << way;
    }
}

TEST(DlgItem, ShowsTitleLabelsAndCutsInitialTextsTo70And16)
{
    DlgItem dialog(QString(90, QLatin1Char('t')), QString(20, QLatin1Char('a')), nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Item Editor"));
    EXPECT_EQ(Labels(&dialog), (QStringList{"Specify item text:", "Specify action text:"}));
    EXPECT_EQ(dialog.GetItemText(), QString(70, QLatin1Char('t')));
    EXPECT_EQ(dialog.GetActionText(), QString(16, QLatin1Char('a')));
    // The item field comes first, above the action field.
    QLayout* layout = dialog.layout();
    EXPECT_LT(layout->indexOf(Edit(&dialog, "itemTextEdit")),
              layout->indexOf(Edit(&dialog, "actionTextEdit")));
}

TEST(DlgItem, OkWithEmptyTextsReturnsEmptyStrings)
{
    DlgItem dialog(QStringLiteral("New item"), QString(), nullptr);
    const int result = RunModal(dialog, [&] {
        Edit(&dialog, "itemTextEdit")->clear();
        QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.GetItemText(), QString());
    EXPECT_EQ(dialog.GetActionText(), QString());
}

TEST(DlgItem, ActionFieldTakesAtMostSixteenTypedCharacters)
{
    DlgItem dialog(QString(), QString(), nullptr);
    const int result = RunModal(dialog, [&] {
        QTest::keyClicks(Edit(&dialog, "actionTextEdit"), QStringLiteral("0123456789abcdefXYZ"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dialog.GetActionText(), QStringLiteral("0123456789abcdef"));
}

// A character outside the Basic Multilingual Plane takes two of a field's units: where only one
// is left, the character is left out whole, whether it comes with the initial text, is typed
// or pasted.
TEST(Dialogs, FieldsNeverHoldHalfACharacter)
{
    const QString emoji = QStringLiteral("\U0001F600");
    const struct
    {
        const char* edit;
        int limit;
    } fields[] = {{"listNameEdit", 80}, {"itemTextEdit", 70}, {"actionTextEdit", 16}};
    for (const auto& field : fields) {
        auto make = [&field](const QString& text) -> std::unique_ptr<QDialog> {
            if (field.limit == 80)
                return std::make_unique<DlgList>(text, nullptr);
            return field.limit == 70 ? std::make_unique<DlgItem>(text, QString(), nullptr)
                                     : std::make_unique<DlgItem>(QString(), text, nullptr);
        };
        const QString straddling = QString(field.limit - 1, QLatin1Char('a')) + emoji;
        const QString fitting = QString(field.limit - 2, QLatin1Char('a')) + emoji;
        EXPECT_EQ(Edit(make(straddling).get(), field.edit)->text(),
                  QString(field.limit - 1, QLatin1Char('a')))
            << field.edit;
        EXPECT_EQ(Edit(make(fitting).get(), field.edit)->text(), fitting) << field.edit;

        // Typed at the end and in the middle, with one unit left and with two.
        for (int used : {field.limit - 1, field.limit - 2}) {
            for (int at : {used, 3}) {
                const std::unique_ptr<QDialog> dialog = make(QString(used, QLatin1Char('b')));
                QLineEdit* edit = Edit(dialog.get(), field.edit);
                edit->setCursorPosition(at);
                // One key event carries the whole character, as a keyboard or input method
                // sends it.
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, emoji, Qt::NoModifier);
                const QString typed = used + 2 <= field.limit ? emoji : QString();
                EXPECT_EQ(edit->text(), QString(at, QLatin1Char('b')) + typed +
                                            QString(used - at, QLatin1Char('b')))
                    << field.edit << " " << used << " at " << at;
                EXPECT_EQ(edit->cursorPosition(), at + typed.size()) << field.edit << " " << used;
            }
        }
        const std::unique_ptr<QDialog> pasted = make(QString(field.limit - 3, QLatin1Char('c')));
        QLineEdit* edit = Edit(pasted.get(), field.edit);
        edit->end(false);
        edit->insert(QStringLiteral("de") + emoji);
        EXPECT_EQ(edit->text(), QString(field.limit - 3, QLatin1Char('c')) + QStringLiteral("de"))
            << field.edit;
        EXPECT_EQ(edit->cursorPosition(), field.limit - 1);
    }
}

// What the validator leaves of a text with lone halves, and where the cursor ends up: it keeps
// its place among the units that stay.
TEST(Dialogs, ValidatorDropsLoneHalvesAndKeepsTheCursorInPlace)
{
    const QString high(QChar(0xD83D));
    const QString low(QChar(0xDE00));
    const QString whole = high + low;
    const struct
    {
        QString text;
        int cursor;
        QString kept;
        int keptCursor;
    } cases[] = {
        {"ab" + high + "cd", 2, "abcd", 2},   // cursor before the half
        {"ab" + high + "cd", 3, "abcd", 2},   // right after it
        {"ab" + high + "cd", 5, "abcd", 4},   // at the end
        {"ab" + high, 3, "ab", 2},            // a half at the end
        {"a" + low + high + "b", 4, "ab", 2}, // two halves in a row, the wrong way round
        {"a" + low + low + "b", 2, "ab", 1},  // two halves, the cursor between them
        {"a" + high + whole + "b", 5, "a" + whole + "b", 4}, // a half, then a whole character
        {whole + whole, 4, whole + whole, 4},                // nothing to drop
    };
    WholeCharacterValidator validator;
    for (const auto& c : cases) {
        QString text = c.text;
        int cursor = c.cursor;
        EXPECT_EQ(validator.validate(text, cursor), QValidator::Acceptable);
        EXPECT_EQ(text, c.kept) << c.kept.toStdString() << " from " << c.cursor;
        EXPECT_EQ(cursor, c.keptCursor) << c.kept.toStdString() << " from " << c.cursor;
    }
}

} // namespace
