#pragma once

#include "vrn_plugin_api_export.h"

#include <QString>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

// The process's log file. One entry is written as a unit:
//   log.begin(); log.setLine(__LINE__); log.setSource(__FILE__); log.error("...%s", x);
// begin() takes the lock and the writing call releases it, so the source and
// line belong to the same entry even when several threads log. VRN_LOG_ERROR,
// VRN_LOG_INFO and VRN_LOG_DEVINFO do all four steps.
class VRN_PLUGIN_API CEventLog
{
public:
    enum Level { Nothing = 0, Errors = 1, Information = 2, Everything = 3 };
    static constexpr int kMaxMessage = 1024;

    CEventLog();
    ~CEventLog();
    CEventLog(const CEventLog &) = delete;
    CEventLog &operator=(const CEventLog &) = delete;

    // The one log of the process, shared by host and plug-ins.
    static CEventLog &instance();

    void setLevel(int level);
    int level() const;

    // Opens fileName in the program's folder for appending, or, when that
    // folder cannot be written, in $XDG_STATE_HOME/VRN-Control (by default
    // ~/.local/state/VRN-Control). Closes a file opened before.
    bool open(const QString &fileName);
    // Opens exactly this file for appending.
    bool openPath(const QString &fullPath);
    void close();
    bool isOpen() const;
    QString path() const;

    void begin();
    void setLine(int line);
    void setSource(const char *sourcePath);
    void error(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void info(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void devInfo(const char *format, ...) __attribute__((format(printf, 2, 3)));

    // The folder used when the program's own folder is not writable.
    static QString fallbackFolder();

private:
    void write(int minimumLevel, const char *kind, const char *format, va_list args);
    bool openLocked(const QString &fullPath);

    mutable std::mutex m_fileMutex; // guards m_file and m_path against open/close while writing
    std::FILE *m_file = nullptr;
    QString m_path;
    std::atomic<int> m_level{Nothing};
    char m_sourceFile[261] = {};
    int m_sourceLine = 0;

    std::mutex m_entryLock;
    std::atomic<std::thread::id> m_owner{};
};

#define VRN_LOG_ENTRY_(kind, ...)                                                                                      \
    do {                                                                                                               \
        CEventLog &m_vrnLog = CEventLog::instance();                                                                    \
        m_vrnLog.begin();                                                                                               \
        m_vrnLog.setLine(__LINE__);                                                                                     \
        m_vrnLog.setSource(__FILE__);                                                                                   \
        m_vrnLog.kind(__VA_ARGS__);                                                                                     \
    } while (0)

#define VRN_LOG_ERROR(...) VRN_LOG_ENTRY_(error, __VA_ARGS__)
#define VRN_LOG_INFO(...) VRN_LOG_ENTRY_(info, __VA_ARGS__)
#define VRN_LOG_DEVINFO(...) VRN_LOG_ENTRY_(devInfo, __VA_ARGS__)
