#pragma once

#include <QCoreApplication>

class QWidget;

// F1: a small window that lists the keys of the window, read from its actions, so that they can
// be found without the guide.
class KeysBox
{
    Q_DECLARE_TR_FUNCTIONS(KeysBox)

public:
    static void Show(QWidget* window);
};
