#pragma once

#include <QApplication>

#include <string>

namespace vrntest {

// The one QApplication of a test program; the first caller names it. Never
// destroyed: Qt's own globals are gone by the time statics die.
inline QApplication &testApplication(const char *programName = "vrn-tests")
{
    static std::string name = programName;
    static int argc = 1;
    static char *argv[] = {name.data(), nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

} // namespace vrntest
