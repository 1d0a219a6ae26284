#include "MainWindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // The name the files the program makes are called after, whatever the binary's name.
    QCoreApplication::setApplicationName(QStringLiteral("vellorin"));
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
        // The window is up before any box of the Open.
        if (!files.isEmpty()) {
            QCoreApplication::processEvents();
            window.OpenNamedFile(files[0]);
        }
        result = application.exec();
    }
    return result;
}
