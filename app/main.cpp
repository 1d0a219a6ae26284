#include "CommandLine.h"
#include "MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The name the files the program makes are called after, whatever the binary's name.
    QCoreApplication::setApplicationName(QStringLiteral("vellorin"));
    QApplication application(argc, argv);
    // The toolkit has taken its own options: what is left names files.
    const CommandLine commandLine(argc, argv);
    int result;
    {
        MainWindow window(nullptr);
        window.show();
        if (commandLine.NamesAFile()) {
            // The window is up before any box of the Open.
            QCoreApplication::processEvents();
            commandLine.Open(window);
        }
        result = application.exec();
    }
    return result;
}
