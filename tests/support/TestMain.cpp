#include "Isolation.h"

#include <gtest/gtest.h>

#ifdef VELLORIN_GUI_TEST
#include <QApplication>

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform warns about every window it cannot resize to its hints.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_previousHandler(type, context, message);
}

} // namespace
#endif

// Every test program starts here, away from the machine's user folders. GUI tests drive real
// widgets, so they need one application object for the whole run.
int main(int argc, char** argv)
{
    support::IsolateFromMachine();
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VELLORIN_GUI_TEST
    // Listing the tests (CTest's discovery) needs no display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_previousHandler = qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
