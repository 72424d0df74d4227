#pragma once
// What the panel tests share: one application on the offscreen platform,
// with the C locale so that typed numbers read the same everywhere.
#include <QApplication>
#include <QLocale>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace panels_test {

inline QApplication &testApp()
{
    static int argc = 1;
    static char name[] = "zar40-ui-panels-tests";
    static char *argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals are gone by the time statics die.
    static QApplication *app = [] {
        QLocale::setDefault(QLocale::c());
        return new QApplication(argc, argv);
    }();
    return *app;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override { testApp(); }
};

// Replaces a field's text as a user does (select all, type) and finishes
// the edit with Enter.
inline void typeInto(QWidget *field, const QString &text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace panels_test
