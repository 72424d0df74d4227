#pragma once

#include "ScriptedUserPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline QApplication &testApp()
{
    static int argc = 1;
    static char name[] = "host-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        auto *a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("VRN-Control-tests"));
        QApplication::setOrganizationName(QStringLiteral("Varnel-tests"));
        return a;
    }();
    return *app;
}

// Scripted prompts whose unscripted prompts are test failures, not aborts.
struct TestPrompts : ScriptedUserPrompts
{
    TestPrompts()
    {
        setFailureHandler([](const QString &why) { ADD_FAILURE() << why.toStdString(); });
    }
};

inline QString testPlugin(const char *name)
{
    return QStringLiteral(TEST_PLUGIN_DIR "/") + QLatin1String(name) + QStringLiteral(".so");
}

// Copies a built test plug-in into folder under the given file name.
inline void installPlugin(const QString &folder, const char *plugin, const QString &asName)
{
    ASSERT_TRUE(QFile::copy(testPlugin(plugin), folder + QLatin1Char('/') + asName)) << plugin;
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A name no other test or running program uses.
inline QString uniqueInstanceName(const char *what)
{
    return QStringLiteral("VRN-Control-test-%1-%2").arg(QLatin1String(what)).arg(QCoreApplication::applicationPid());
}
