#pragma once
// The one QApplication of the test program.
#include <QApplication>

inline QApplication &app()
{
    static int argc = 1;
    static char name[] = "zar40-ui-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *a = new QApplication(argc, argv);
    return *a;
}
