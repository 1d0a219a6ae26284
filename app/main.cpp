#include "MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    int result;
    {
        MainWindow window(nullptr);
        window.show();
        result = application.exec();
    }
    return result;
}
