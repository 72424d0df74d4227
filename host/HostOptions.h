#pragma once

#include "CanSettings.h"

#include <QString>
#include <QStringList>

// What the command line asks of the host. Every option is read in
// parseHostOptions(); a new option is one field here and a few lines there.
struct HostOptions
{
    QString pluginDir;      // --plugin-dir DIR; empty: <program folder>/plugin
    bool noSplash = false;  // --no-splash: the splash shows its texts without waiting
    int logLevel = 1;       // --log-level N (0-3)
    bool closeRunning = false; // --close-running
    QStringList files;      // documents to open at start-up
    // The command line as given: the CAN options in it override the
    // profile, which can only be read once the profile format is set.
    QStringList arguments;

    bool exit = false;      // --help, --version or a bad option: end with exitCode
    int exitCode = 0;
    QString message;        // what to print when exit is set
};

HostOptions parseHostOptions(const QStringList &arguments);
