#include "Updater.h"

#include "DownloadDlg.h"
#include "host_strings.h"
#include "update_core.h"
#include "user_prompts.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("Upgrading Software");

// A text from the server as it may be shown: control characters replaced.
QString shownText(const std::string &text)
{
    QString shown = QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return shown;
}

// Whether process pid still runs. Started detached, the updater is no child
// of ours to wait for; an ended one may stay a zombie until it is reaped.
bool processRuns(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.read(1024);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return false;
    const char state = line.at(close + 2);
    return state != 'Z' && state != 'X';
}

bool systemSaysOnline()
{
    // Without a backend that knows, the check goes ahead and a failed
    // connection is reported instead.
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    const QNetworkInformation *info = QNetworkInformation::instance();
    return !info || info->reachability() != QNetworkInformation::Reachability::Disconnected;
}

} // namespace

QUrl UpdateSettings::defaultBaseUrl()
{
    return QUrl(QStringLiteral("https://www.varnel.de/software/updates/vrncontrol"));
}

UpdateSettings UpdateSettings::fromProfile(QSettings &profile)
{
    UpdateSettings s;
    profile.beginGroup(QStringLiteral("Update"));
    const QString base = profile.value(QStringLiteral("BaseUrl")).toString().trimmed();
    if (!base.isEmpty())
        s.baseUrl = QUrl(base);
    s.allowHttp = profile.value(QStringLiteral("AllowHttp"), false).toBool();
    bool ok = false;
    const qlonglong limit = profile.value(QStringLiteral("MaxDownloadBytes")).toLongLong(&ok);
    if (ok && limit > 0)
        s.maxDownloadBytes = limit;
    const int stall = profile.value(QStringLiteral("StallTimeoutSeconds")).toInt(&ok);
    if (ok && stall > 0)
        s.stallTimeoutMs = stall * 1000;
    s.updateDir = profile.value(QStringLiteral("Folder")).toString();
    profile.endGroup();
    return s;
}

QString UpdateSettings::folder() const
{
    if (!updateDir.isEmpty())
        return updateDir;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/updates");
}

CUpdater::CUpdater(QWidget *frame, CDownloadDlg *dialog, UpdateSettings settings, QObject *parent)
    : QObject(parent)
    , m_frame(frame)
    , m_dialog(dialog)
    , m_settings(std::move(settings))
    , m_network(new QNetworkAccessManager(this))
    , m_stall(new QTimer(this))
{
    m_stall->setSingleShot(true);
}

CUpdater::~CUpdater()
{
    if (m_reply)
        m_reply->abort();
}

void CUpdater::after(int ms, std::function<void()> next)
{
    QTimer::singleShot(ms, this, std::move(next));
}

void CUpdater::setStatus(unsigned id, const QString &fallback)
{
    if (m_dialog)
        m_dialog->setStatus(hostStrings().text(id, fallback));
}

void CUpdater::fail(const QString &message)
{
    m_running = false;
    if (m_dialog) {
        m_dialog->reject();
        m_dialog->deleteLater();
    }
    if (m_frame)
        m_frame->setEnabled(true);
    if (!m_tempPath.isEmpty())
        QFile::remove(m_tempPath);
    if (!message.isEmpty())
        UserPrompts::current().error(message, nullptr, kCaption);
    emit finished(false);
}

void CUpdater::start(const QString &currentVersion)
{
    m_running = true;
    m_currentVersion = currentVersion;
    setStatus(HostString::UpdateConnecting, QStringLiteral("Connecting to Internet ..."));
    after(m_settings.stepPauseMs, [this] { checkConnection(); });
}

void CUpdater::checkConnection()
{
    // A server on this machine needs no Internet connection.
    const bool local = QHostAddress(m_settings.baseUrl.host()).isLoopback();
    const bool online = local || (m_settings.isOnline ? m_settings.isOnline() : systemSaysOnline());
    if (!online)
        return fail(QStringLiteral("This application must connect to the Internet to be upgraded!"));
    const QUrl base = m_settings.baseUrl;
    const QString scheme = base.scheme().toLower();
    if (!base.isValid() || base.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return fail(QStringLiteral("Cannot connect to the Internet!\nThe update address \"%1\" is not a web address.")
                        .arg(base.toString()));
    if (scheme == QLatin1String("http") && !m_settings.allowHttp)
        return fail(QStringLiteral("The update address \"%1\" is not secure (http).\n"
                                   "Set AllowHttp=true in the [Update] section of the settings to accept it.")
                        .arg(base.toString()));

    setStatus(HostString::UpdateGetVersion, QStringLiteral("Get UpdateVersion ..."));
    after(m_settings.stepPauseMs, [this] {
        auto *buffer = new QBuffer(&m_versionText, this);
        buffer->open(QIODevice::WriteOnly);
        download(QString::fromLatin1(VersionFileName), buffer, [this, buffer](bool ok) {
            buffer->deleteLater();
            if (ok)
                readVersionFile();
        });
    });
}

void CUpdater::readVersionFile()
{
    const update::VersionFile file =
        update::parseVersionFile(std::string_view(m_versionText.constData(), std::size_t(m_versionText.size())));
    if (!update::isNewerVersion(m_currentVersion.toStdString(), file.version))
        return fail(hostStrings().text(HostString::UpdateLatest,
                                       QStringLiteral("Current version is the latest version!  No upgrade is required!")));
    // The server names the file that will be started: only a plain name in
    // the update folder is ever written or run.
    const std::string why = update::unsafeFileNameReason(file.filename);
    if (!why.empty())
        return fail(QStringLiteral("The update server named the updater \"%1\", which is refused: %2.")
                        .arg(shownText(file.filename), QString::fromStdString(why)));
    m_updaterFile = QString::fromUtf8(file.filename.data(), qsizetype(file.filename.size()));
    m_sha256.reset();
    if (file.sha256) {
        if (!update::isSha256Hex(*file.sha256))
            return fail(QStringLiteral("The update server gave the updater's Sha256 as \"%1\", which is not 64 "
                                       "hexadecimal digits.")
                            .arg(shownText(*file.sha256)));
        m_sha256 = QByteArray::fromStdString(*file.sha256).toLower();
    } else if (m_settings.allowHttp) {
        return fail(QStringLiteral("The version file gives no Sha256 of the updater.\n"
                                   "With AllowHttp=true in the [Update] section of the settings, the version file "
                                   "must have a line Sha256: \"<64 hexadecimal digits>\"."));
    }

    setStatus(HostString::UpdateGetUpdater, QStringLiteral("Get Updater from Internet ..."));
    after(m_settings.stepPauseMs, [this] {
        const QString folder = m_settings.folder();
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("Cannot create the update folder \"%1\"!").arg(folder));
        auto *temp = new QTemporaryFile(folder + QStringLiteral("/CUAXXXXXX"), this);
        temp->setAutoRemove(false);
        if (!temp->open()) {
            delete temp;
            return fail(QStringLiteral("Cannot write into the update folder \"%1\"!").arg(folder));
        }
        m_tempPath = temp->fileName();
        download(m_updaterFile, temp, [this, temp](bool ok) {
            temp->close();
            temp->deleteLater();
            if (!ok)
                return;
            setStatus(HostString::UpdateDisconnecting, QStringLiteral("Disconnectig from Internet ..."));
            after(m_settings.stepPauseMs, [this] { moveAndExecute(); });
        });
    });
}

void CUpdater::moveAndExecute()
{
    setStatus(HostString::UpdateMove, QStringLiteral("Move Updater ..."));
    if (m_sha256) {
        QFile downloaded(m_tempPath);
        QCryptographicHash digest(QCryptographicHash::Sha256);
        if (!downloaded.open(QIODevice::ReadOnly) || !digest.addData(&downloaded) ||
            digest.result().toHex() != *m_sha256)
            return fail(QStringLiteral("The downloaded updater \"%1\" does not have the Sha256 that the update server "
                                       "gave. It has been deleted and was not started.")
                            .arg(m_updaterFile));
    }
    const QString target = QDir(m_settings.folder()).filePath(m_updaterFile);
    QFile::remove(target);
    if (!QFile::rename(m_tempPath, target))
        return fail(hostStrings().text(HostString::UpdateCannotMove,
                                       QStringLiteral("Cannot move downloaded upgrade file to execution location!")));
    m_tempPath.clear();

    setStatus(HostString::UpdateExecute, QStringLiteral("Execute Updater ..."));
    after(m_settings.stepPauseMs, [this, target] {
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Started directly, never through a shell.
        qint64 pid = 0;
        if (!QProcess::startDetached(target, {}, m_settings.folder(), &pid))
            return fail(QStringLiteral("Cannot execute software upgrade!"));
        m_started = target;
        m_running = false;
        watchUpdater(pid);
        emit finished(true);
    });
}

void CUpdater::watchUpdater(qint64 pid)
{
    // A crashed or wrong updater would otherwise leave the frame disabled
    // until the user kills the program.
    m_watch = new QTimer(this);
    m_watch->setInterval(std::min(250, std::max(1, m_settings.handOverTimeoutMs)));
    connect(m_watch, &QTimer::timeout, this, [this, pid] {
        if (!processRuns(pid))
            release(QStringLiteral("The updater \"%1\" has ended without closing VRN-Control.").arg(m_updaterFile));
    });
    QTimer::singleShot(m_settings.handOverTimeoutMs, m_watch, [this] {
        release(QStringLiteral("The updater \"%1\" has not closed VRN-Control within %2 seconds.")
                    .arg(m_updaterFile)
                    .arg(m_settings.handOverTimeoutMs / 1000.0));
    });
    m_watch->start();
}

void CUpdater::release(const QString &message)
{
    if (!m_watch)
        return;
    m_watch->stop();
    m_watch->deleteLater(); // this may run inside its signal
    m_watch = nullptr;
    if (m_dialog) {
        m_dialog->reject();
        m_dialog->deleteLater();
    }
    if (m_frame)
        m_frame->setEnabled(true);
    UserPrompts::current().exclamation(message + QStringLiteral("\nVRN-Control can be used again."), nullptr, kCaption);
    emit released();
}

void CUpdater::download(const QString &fileName, QIODevice *sink, std::function<void(bool)> done)
{
    QUrl url = m_settings.baseUrl;
    url.setPath(url.path() + QLatin1Char('/') + fileName);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("VRN-Control"));
    // Never from https down to http on a redirect.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;

    struct Transfer {
        QElapsedTimer clock;
        std::int64_t total = 0;
        std::int64_t received = 0;
        QString refusal; // set when the download is ended here
    };
    auto transfer = std::make_shared<Transfer>();
    transfer->clock.start();
    const QString shown = url.toString();
    const std::int64_t limit = m_settings.maxDownloadBytes;

    const auto stop = [reply, transfer](const QString &why) {
        if (transfer->refusal.isEmpty())
            transfer->refusal = why;
        reply->abort();
    };
    connect(m_stall, &QTimer::timeout, reply, [stop, shown, this] {
        stop(QStringLiteral("Cannot download \"%1\": the server sent nothing for %2 seconds.")
                 .arg(shown)
                 .arg(m_settings.stallTimeoutMs / 1000.0));
    });
    m_stall->start(m_settings.stallTimeoutMs);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, transfer, stop, shown, limit] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        transfer->total = length.isValid() ? length.toLongLong() : 0;
        if (transfer->total > limit)
            return stop(QStringLiteral("Cannot download \"%1\": it is larger than %2.")
                            .arg(shown, QString::fromStdString(update::formatSize(limit))));
        if (m_dialog)
            m_dialog->setFigures(0, transfer->total, 0);
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, sink, transfer, stop, shown, limit] {
        m_stall->start(m_settings.stallTimeoutMs);
        char block[512];
        for (;;) {
            const qint64 n = reply->read(block, sizeof block);
            if (n <= 0)
                break;
            if (transfer->received + n > limit)
                return stop(QStringLiteral("Cannot download \"%1\": it is larger than %2.")
                                .arg(shown, QString::fromStdString(update::formatSize(limit))));
            if (sink->write(block, n) != n)
                return stop(QStringLiteral("Cannot write the downloaded file!"));
            transfer->received += n;
            if (m_dialog)
                m_dialog->setFigures(transfer->received, transfer->total, transfer->clock.elapsed());
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, transfer, shown, done] {
        m_stall->stop();
        disconnect(m_stall, nullptr, reply, nullptr);
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!transfer->refusal.isEmpty())
            fail(transfer->refusal);
        else if (reply->error() != QNetworkReply::NoError)
            fail(QStringLiteral("Cannot download \"%1\": %2").arg(shown, reply->errorString()));
        else if (status != 200)
            fail(QStringLiteral("Cannot download \"%1\": the server answered %2.").arg(shown).arg(status));
        else
            return done(true);
        done(false);
    });
}
