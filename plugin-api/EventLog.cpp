#include "EventLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (or in a tool without one).
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? QFileInfo(self.symLinkTarget()).absolutePath() : QString();
}

bool folderWritable(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// Cuts a UTF-8 text so that no character is left half.
void cutAtCharacter(char *text, std::size_t length)
{
    std::size_t end = length;
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80)
        --end;
    if (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0x80)) {
        const unsigned char lead = static_cast<unsigned char>(text[end - 1]);
        const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length - (end - 1) < need)
            text[end - 1] = '\0';
    }
}

} // namespace

CEventLog::CEventLog() = default;

CEventLog::~CEventLog()
{
    close();
}

CEventLog &CEventLog::instance()
{
    static CEventLog log;
    return log;
}

void CEventLog::setLevel(int level)
{
    m_level = level;
}

int CEventLog::level() const
{
    return m_level;
}

QString CEventLog::fallbackFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/VRN-Control");
}

bool CEventLog::open(const QString &fileName)
{
    const QString folder = programFolder();
    if (folderWritable(folder) && openPath(folder + QLatin1Char('/') + fileName))
        return true;
    const QString fallback = fallbackFolder();
    QDir().mkpath(fallback);
    const bool ok = openPath(fallback + QLatin1Char('/') + fileName);
    if (ok)
        std::fprintf(stderr, "VRN-Control: program folder not writable, event log is %s\n", qPrintable(path()));
    return ok;
}

bool CEventLog::openPath(const QString &fullPath)
{
    std::lock_guard lock(m_fileMutex);
    return openLocked(fullPath);
}

bool CEventLog::openLocked(const QString &fullPath)
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_path = fullPath;
    m_file = std::fopen(QFile::encodeName(fullPath).constData(), "ab");
    return m_file != nullptr;
}

void CEventLog::close()
{
    std::lock_guard lock(m_fileMutex);
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

bool CEventLog::isOpen() const
{
    std::lock_guard lock(m_fileMutex);
    return m_file != nullptr;
}

QString CEventLog::path() const
{
    std::lock_guard lock(m_fileMutex);
    return m_path;
}

void CEventLog::begin()
{
    m_entryLock.lock();
    m_owner = std::this_thread::get_id();
}

void CEventLog::setLine(int line)
{
    m_sourceLine = line;
}

void CEventLog::setSource(const char *sourcePath)
{
    if (!sourcePath) {
        m_sourceFile[0] = '\0';
        return;
    }
    const char *name = std::strrchr(sourcePath, '/');
    const char *back = std::strrchr(sourcePath, '\\');
    if (back && (!name || back > name))
        name = back;
    name = name ? name + 1 : sourcePath;
    std::snprintf(m_sourceFile, sizeof m_sourceFile, "%s", name);
}

void CEventLog::error(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    write(Errors, "Error", format, args);
    va_end(args);
}

void CEventLog::info(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    write(Information, "Info", format, args);
    va_end(args);
}

void CEventLog::devInfo(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    write(Everything, "DevInfo", format, args);
    va_end(args);
}

void CEventLog::write(int minimumLevel, const char *kind, const char *format, va_list args)
{
    // A writing call without begin() still writes one whole entry instead of
    // releasing a lock it does not hold.
    if (m_owner.load() != std::this_thread::get_id())
        m_entryLock.lock();

    const int level = m_level;
    if (level >= minimumLevel) {
        const int savedErrno = errno;

        char message[kMaxMessage + 1];
        const int n = std::vsnprintf(message, sizeof message, format ? format : "", args);
        if (n < 0)
            message[0] = '\0';
        else if (n > kMaxMessage)
            cutAtCharacter(message, kMaxMessage);
        for (char *c = message; *c; ++c) {
            if (*c == '\r' || *c == '\n')
                *c = '|';
        }

        std::lock_guard lock(m_fileMutex);
        if (m_file) {
            char stamp[32];
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
            if (level >= Everything)
                std::fprintf(m_file, "%s\t%s\t%s, %d\t%s\r\n", stamp, kind, m_sourceFile, m_sourceLine, message);
            else
                std::fprintf(m_file, "%s\t%s\t%s\r\n", stamp, kind, message);
            // The log matters most right before a crash.
            std::fflush(m_file);
            std::fprintf(stderr, "%s\n", message);
        }
        errno = savedErrno;
    }

    m_owner = std::thread::id();
    m_entryLock.unlock();
}
