#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

class CDownloadDlg;
class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QSettings;
class QTimer;
class QWidget;

// How the update check reaches the update server. Read from the profile's
// "Update" section; tests shorten the waits and point it at a local server.
struct UpdateSettings
{
    QUrl baseUrl = defaultBaseUrl();        // the version file and the updater lie below it
    bool allowHttp = false;                 // plain http only when the profile says so
    std::int64_t maxDownloadBytes = 64 << 20;
    int stallTimeoutMs = 30000;             // a download that sends nothing this long ends
    int stepPauseMs = 200;                  // between the steps, so that each status can be read
    // How long the started updater has to close the host before the frame
    // is usable again.
    int handOverTimeoutMs = 120000;
    QString updateDir;                      // empty: "updates" in the user's data folder
    std::function<bool()> isOnline;         // null: ask the system

    static QUrl defaultBaseUrl();
    static UpdateSettings fromProfile(QSettings &profile);
    QString folder() const;
};

// One update check: asks the server for its version file, and when it names
// a newer version downloads the updater into the update folder and starts
// it. Runs on the event loop; the frame is disabled while it runs and enabled
// again on every failure, which is reported in a message box. Once started,
// the updater is expected to close the host; when it ends without doing so,
// or has not done so after handOverTimeoutMs, the frame is enabled again
// with a message.
//
// When the version file has a line Sha256: "<64 hex digits>", the updater
// must have that digest or is deleted unstarted; with allowHttp the line is
// required, since over plain http nothing else vouches for the file.
class CUpdater : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *VersionFileName = "vrn_control_upgrade.txt";

    // frame and dialog may be null; the dialog is closed on failure.
    CUpdater(QWidget *frame, CDownloadDlg *dialog, UpdateSettings settings, QObject *parent = nullptr);
    ~CUpdater() override;

    void start(const QString &currentVersion);
    bool isRunning() const { return m_running; }
    // The updater program that was started, once handed over.
    QString startedProgram() const { return m_started; }

    // Waiting for the started updater to close the host.
    bool isHandedOver() const { return m_watch != nullptr; }

signals:
    // handedOver: the updater runs and the host waits to be closed by it.
    void finished(bool handedOver);
    // The started updater has ended, or the wait for it is over, without
    // the host being closed: the frame is enabled again.
    void released();

private:
    void after(int ms, std::function<void()> next);
    void setStatus(unsigned id, const QString &fallback);
    void fail(const QString &message);
    void checkConnection();
    void readVersionFile();
    void moveAndExecute();
    void watchUpdater(qint64 pid);
    void release(const QString &message);
    // Fetches base/fileName into sink; calls done(true) when complete.
    void download(const QString &fileName, QIODevice *sink, std::function<void(bool)> done);

    QPointer<QWidget> m_frame;
    QPointer<CDownloadDlg> m_dialog;
    UpdateSettings m_settings;
    QNetworkAccessManager *m_network;
    QTimer *m_stall;
    QPointer<QNetworkReply> m_reply;
    QString m_currentVersion;
    QByteArray m_versionText;
    QString m_updaterFile;
    std::optional<QByteArray> m_sha256; // lower-case hex, when the server gave one
    QTimer *m_watch = nullptr;
    QString m_tempPath;
    QString m_started;
    bool m_running = false;
};
