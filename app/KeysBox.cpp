#include "KeysBox.h"

#include <QAction>
#include <QMessageBox>
#include <QWidget>

void KeysBox::Show(QWidget* window)
{
    QString rows;
    const auto row = [&rows](const QString& keys, const QString& what) {
        rows += QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(keys.toHtmlEscaped(), what.toHtmlEscaped());
    };
    for (const QAction* action : window->actions()) {
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        row(keys.join(QStringLiteral(", ")), action->text());
    }
    row(tr("Double click"), tr("Edit the row"));
    QMessageBox box(QMessageBox::NoIcon, tr("Keys"), QStringLiteral("<table>%1</table>").arg(rows),
                    QMessageBox::Close, window);
    box.setObjectName(QStringLiteral("keysBox"));
    box.setTextFormat(Qt::RichText);
    box.exec();
}
