#include "MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // The toolkit has taken its own options: what is left names files.
    const QStringList files = application.arguments().mid(1);
    for (const QString& other : files.mid(1))
        std::fprintf(stderr, "vellorin: one file is opened at a time; not opened: %s\n",
                     qPrintable(other));
    int result;
    {
        MainWindow window(nullptr);
        window.show();
        if (!files.isEmpty())
            QTimer::singleShot(0, &window, [&window, &files] { window.OpenNamedFile(files[0]); });
        result = application.exec();
    }
    return result;
}
