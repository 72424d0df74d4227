// The CAN link tests need a widget application: the host's CAN window is a
// widget, and the driver's threads post to the event loop.
#include <QApplication>
#include <QLoggingCategory>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The virtual bus reports every connection at info level.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
    return RUN_ALL_TESTS();
}
