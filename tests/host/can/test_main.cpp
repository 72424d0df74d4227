#include <QApplication>
#include <QLoggingCategory>

#include <gtest/gtest.h>

// The CAN window is a widget, and the driver's threads post to the event
// loop: the tests need an application object.
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The virtual bus plug-in reports every connection at info level.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.plugins.virtualcan.info=false"));
    return RUN_ALL_TESTS();
}
