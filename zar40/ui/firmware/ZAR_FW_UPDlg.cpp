#include "ZAR_FW_UPDlg.h"

#include "user_prompts.h"
#include "zar40/comm/firmware/preset_backup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace zar40::ui {

namespace {

using firmware::CFirmwareUpdate;

template <typename W> W *named(W *widget, int id)
{
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    return widget;
}

} // namespace

CZAR_FW_UPDlg::CZAR_FW_UPDlg(QWidget *parent)
    : QDialog(parent)
    , m_log(named(new QPlainTextEdit(this), IdLog))
    , m_file(named(new QLineEdit(this), IdFile))
    , m_openFile(named(new QPushButton(QStringLiteral("Open File"), this), IdOpenFile))
    , m_program(named(new QPushButton(QStringLiteral("Program ZAR"), this), IdProgram))
    , m_progress(named(new QProgressBar(this), IdProgress))
    , m_resetPresets(named(new QCheckBox(QStringLiteral("Reset Presetdata to factory defaults"), this), IdResetPresets))
    , m_close(named(new QPushButton(QStringLiteral("Close"), this), IdClose))
    , m_port(named(new QComboBox(this), IdPort))
    , m_loaderPath(firmware::defaultFlashLoaderPath())
{
    setWindowTitle(QStringLiteral("Firmware Update"));
    setModal(true);
    m_log->setReadOnly(true);
    m_log->setMinimumSize(360, 120);
    // A typed device path (a pseudo-terminal) is a port too.
    m_port->setEditable(true);
    m_progress->setTextVisible(false);
    m_progress->setValue(0);
    fillPorts();

    auto *warning1 = new QLabel(QStringLiteral("While programming do not interrupt the powersupply!"), this);
    auto *warning2 = new QLabel(QStringLiteral("Otherwise the ZAR40 may be permanently damaged!"), this);
    for (QLabel *w : {warning1, warning2}) {
        QFont f = w->font();
        f.setBold(true);
        w->setFont(f);
    }

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Port:"), this), 0, 0);
    grid->addWidget(m_port, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Firmware file:"), this), 1, 0);
    grid->addWidget(m_file, 1, 1);
    grid->addWidget(m_openFile, 1, 2);
    grid->addWidget(m_resetPresets, 2, 0, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_program);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(warning1);
    layout->addWidget(warning2);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_openFile, &QPushButton::clicked, this, &CZAR_FW_UPDlg::onOpenFile);
    connect(m_program, &QPushButton::clicked, this, &CZAR_FW_UPDlg::onProgram);
    connect(m_close, &QPushButton::clicked, this, &CZAR_FW_UPDlg::reject);
    connect(&m_update, &CFirmwareUpdate::logReset, this, [this](const QString &t) {
        m_log->clear();
        appendLog(t);
    });
    connect(&m_update, &CFirmwareUpdate::logAppended, this, &CZAR_FW_UPDlg::appendLog);
    connect(&m_update, &CFirmwareUpdate::progressRange, m_progress, &QProgressBar::setRange);
    connect(&m_update, &CFirmwareUpdate::progressValue, m_progress, &QProgressBar::setValue);
    connect(&m_update, &CFirmwareUpdate::finished, this, &CZAR_FW_UPDlg::onFinished);
    warnAboutFlashLoader();
}

void CZAR_FW_UPDlg::setFlashLoaderPath(const QString &path)
{
    m_loaderPath = path;
    warnAboutFlashLoader();
}

void CZAR_FW_UPDlg::warnAboutFlashLoader()
{
    if (m_busy || m_update.isRunning()) return;
    // Before the user switches the unit off, not after: with a missing or
    // wrong loader no update can start.
    m_log->clear();
    QString error;
    const auto image = firmware::loadFlashLoader(m_loaderPath, &error);
    if (!image) appendLog(QStringLiteral("Warning: %1\r\nNo update can start without the ZAR40 flash loader.\r\n").arg(error));
    else if (firmware::isStandIn(image->bytes))
        appendLog(QStringLiteral("Warning: %1 is the stand-in flash loader, for the simulator only.\r\n")
                      .arg(QDir::toNativeSeparators(image->path)));
}

CZAR_FW_UPDlg::~CZAR_FW_UPDlg() = default;

void CZAR_FW_UPDlg::fillPorts()
{
    m_port->clear();
    for (const auto &p : comm::CCommCtrl::enumeratePorts()) {
        const QString label = p.description.isEmpty() ? p.portName : QStringLiteral("%1 (%2)").arg(p.portName, p.description);
        m_port->addItem(label, p.systemLocation);
    }
}

void CZAR_FW_UPDlg::setPort(const QString &port)
{
    const int i = m_port->findData(port);
    if (i >= 0) m_port->setCurrentIndex(i);
    else m_port->setEditText(port);
}

void CZAR_FW_UPDlg::setFile(const QString &path) { m_file->setText(path); }

QString CZAR_FW_UPDlg::currentPort() const
{
    const int i = m_port->currentIndex();
    if (i >= 0 && m_port->itemText(i) == m_port->currentText()) return m_port->itemData(i).toString();
    return m_port->currentText().trimmed();
}

void CZAR_FW_UPDlg::configure(comm::DeviceSession &session) const
{
    if (m_switchWaitMs >= 0) session.setSwitchWait(m_switchWaitMs);
    if (m_storeWaitMs >= 0) session.setStoreWait(m_storeWaitMs);
}

QString CZAR_FW_UPDlg::logText() const { return m_log->toPlainText(); }

bool CZAR_FW_UPDlg::controlsEnabled() const { return m_program->isEnabled(); }

void CZAR_FW_UPDlg::setControlsEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_file, m_openFile, m_program, m_resetPresets, m_close, m_port})
        w->setEnabled(on);
}

void CZAR_FW_UPDlg::appendLog(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_log->moveCursor(QTextCursor::End);
    m_log->insertPlainText(t);
    // The newest lines stay in view.
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

void CZAR_FW_UPDlg::onOpenFile()
{
    UserPrompts::FileRequest request;
    request.filter = QString::fromLatin1(kFileFilter);
    request.defaultSuffix = QStringLiteral("mhx");
    request.directory = m_file->text();
    const QString path = UserPrompts::current().openFileName(request, this);
    if (!path.isEmpty() && QFileInfo(path).isFile()) m_file->setText(path);
}

void CZAR_FW_UPDlg::onProgram()
{
    if (m_update.isRunning() || m_busy) return;
    setControlsEnabled(false);
    m_busy = true;
    auto giveUp = [this] {
        m_busy = false;
        setControlsEnabled(true);
    };
    const QString file = m_file->text().trimmed();
    if (file.isEmpty() || !QFileInfo(file).isFile() || !QFileInfo(file).isReadable()) {
        UserPrompts::current().error(QString::fromLatin1(firmware::kFileOpenErrorText), this);
        return giveUp();
    }
    QString error;
    const auto image = firmware::loadFlashLoader(m_loaderPath, &error);
    if (!image) {
        UserPrompts::current().error(error, this);
        return giveUp();
    }
    if (currentPort().isEmpty()) {
        UserPrompts::current().error(QStringLiteral("Choose the port of the ZAR40."), this);
        return giveUp();
    }
    m_savedTo.clear();
    if (!offerBackup()) return giveUp();
    UserPrompts::current().information(QString::fromLatin1(firmware::kInstructionsText), this);
    // finished() re-enables the controls, also when the update cannot start.
    m_update.start(currentPort(), file, *image, m_resetPresets->isChecked());
}

bool CZAR_FW_UPDlg::offerBackup()
{
    const auto answer = UserPrompts::current().questionYesNoCancel(
        QStringLiteral("Save the 32 presets of the ZAR40 before programming?\n\n"
                       "The ZAR40 must be switched on and running its firmware. The presets can be "
                       "written back after programming."),
        this, windowTitle());
    if (answer == UserPrompts::Answer::Cancel) return false;
    if (answer == UserPrompts::Answer::No) return true;

    QString dir = m_backupDir;
    if (dir.isEmpty())
        dir = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                  .filePath(QStringLiteral("zar40-presets-") +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    appendLog(QStringLiteral("Saving the presets to %1\r\n").arg(QDir::toNativeSeparators(dir)));
    comm::DeviceSession session;
    configure(session);
    m_progress->setRange(0, preset::kPresetCount);
    QString error;
    const bool ok = session.openSerial(currentPort()) &&
                    firmware::backupPresets(session, dir, [this](int slot) { m_progress->setValue(slot); }, &error);
    if (!ok && error.isEmpty()) error = session.error();
    session.close();
    m_progress->setValue(0);
    if (!ok) {
        appendLog(error + QStringLiteral("\r\n"));
        UserPrompts::current().error(
            QStringLiteral("The presets could not be saved:\n%1\n\nNothing has been programmed.").arg(error), this);
        return false;
    }
    m_savedTo = dir;
    appendLog(QStringLiteral("32 presets saved.\r\n"));
    return true;
}

void CZAR_FW_UPDlg::offerRestore()
{
    if (m_savedTo.isEmpty()) return;
    if (!UserPrompts::current().questionYesNo(
            QStringLiteral("Write the saved presets back to the ZAR40?\n\nRestart the ZAR40 first and wait "
                           "until it is ready."),
            this, windowTitle()))
        return;
    comm::DeviceSession session;
    configure(session);
    m_progress->setRange(0, preset::kPresetCount);
    QString error;
    const bool ok = session.openSerial(currentPort()) &&
                    firmware::restorePresets(session, m_savedTo, [this](int slot) { m_progress->setValue(slot); }, &error);
    if (!ok && error.isEmpty()) error = session.error();
    session.close();
    m_progress->setValue(0);
    if (ok) {
        appendLog(QStringLiteral("\r\nPresets written back."));
        return;
    }
    appendLog(QStringLiteral("\r\n") + error);
    UserPrompts::current().error(QStringLiteral("The presets could not be written back:\n%1\n\nThey are saved in %2.")
                                     .arg(error, QDir::toNativeSeparators(m_savedTo)),
                                 this);
}

void CZAR_FW_UPDlg::onFinished(CFirmwareUpdate::Result result, const QString &message)
{
    // Runs after the exchange has returned to the event loop: the restore
    // below runs a session of its own.
    QMetaObject::invokeMethod(
        this,
        [this, result, message] {
            if (result != CFirmwareUpdate::Result::Success && !message.isEmpty())
                UserPrompts::current().error(message, this);
            if (result == CFirmwareUpdate::Result::Success) offerRestore();
            else if (!m_savedTo.isEmpty())
                appendLog(QStringLiteral("\r\nThe presets saved before are in %1").arg(QDir::toNativeSeparators(m_savedTo)));
            m_busy = false;
            setControlsEnabled(true);
            emit updateEnded(result);
        },
        Qt::QueuedConnection);
}

void CZAR_FW_UPDlg::reject()
{
    // Closing the window ends a running update rather than leaving the
    // port open behind it.
    if (m_busy && !m_update.isRunning()) return; // saving or restoring presets
    m_update.cancel();
    QDialog::reject();
}

} // namespace zar40::ui
