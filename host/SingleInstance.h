#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// A request another program sends to the running host over its local
// socket: "close W L" closes like a window close with both parameters, so
// "close 10 10" closes without the question.
struct ControlRequest
{
    int wParam = 0;
    int lParam = 0;
    bool closesWithoutQuestion() const { return wParam == 10 && lParam == 10; }
};

// One line without its line end, at most kMaxControlLine bytes; anything else
// is no request.
constexpr int kMaxControlLine = 64;
std::optional<ControlRequest> parseControlRequest(const QByteArray &line);

// Keeps the program to one running instance per user: a lock file in the
// runtime folder (a crashed instance's lock is taken over) and a local
// socket, named VRN-Control, through which other programs reach it.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultRequestTimeoutMs = 3000;
    // How long --close-running waits for the closed instance to end (its
    // start-up window may still be up when the request comes).
    static constexpr int kDefaultExitTimeoutMs = 10000;
    // A client that has not sent a whole line within this time is dropped:
    // the socket is open to every program of the user, and one that never
    // ends its line would otherwise hold its connection for good.
    static constexpr int kDefaultClientTimeoutMs = 5000;

    explicit SingleInstance(const QString &name = QStringLiteral("VRN-Control"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening. false when another instance runs.
    bool acquire();
    void release();
    bool held() const { return m_held; }
    void setClientTimeoutMs(int ms) { m_clientTimeoutMs = ms; }

    // The runtime folder: $XDG_RUNTIME_DIR, else the temporary folder.
    static QString runtimeFolder();
    QString lockPath() const;
    QString socketPath() const;

    // Sends "close 10 10" to the running instance and waits until it has
    // ended. 0: it closed, 1: none runs, 2: it did not answer within
    // timeoutMs or did not end within exitTimeoutMs.
    static int sendCloseRequest(const QString &name = QStringLiteral("VRN-Control"),
                                int timeoutMs = kDefaultRequestTimeoutMs, int exitTimeoutMs = kDefaultExitTimeoutMs);

signals:
    void closeRequested(ControlRequest request);

private:
    void onConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    bool m_held = false;
    int m_clientTimeoutMs = kDefaultClientTimeoutMs;
};
