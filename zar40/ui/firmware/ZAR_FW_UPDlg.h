#pragma once
// "Firmware Update": the user picks the port and the firmware file and
// starts the update; the dialog shows the log and the progress of the
// exchange, which runs in CFirmwareUpdate. Before programming it offers to
// save the unit's 32 presets and after programming to write them back.
#include "zar40/comm/firmware/FirmwareUpdate.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zar40::comm {
class DeviceSession;
}

namespace zar40::ui {

class CZAR_FW_UPDlg : public QDialog
{
    Q_OBJECT
public:
    // Control identifiers, also the controls' object names ("ctl25100").
    enum ControlId {
        IdLog = 25100,
        IdFile = 25101,
        IdOpenFile = 25102,
        IdProgram = 25103,
        IdProgress = 25104,
        IdResetPresets = 25105,
        IdClose = 25106,
        IdPort = 2040,
    };
    static constexpr const char *kFileFilter = "ZAR40-Firmware Files (*.mhx);;All Files (*)";

    explicit CZAR_FW_UPDlg(QWidget *parent = nullptr);
    ~CZAR_FW_UPDlg() override;

    // Where the flash loader image is read from (default: beside the plug-in).
    // A missing or wrong image is named in the log at once.
    void setFlashLoaderPath(const QString &path);
    QString flashLoaderPath() const { return m_loaderPath; }
    // Where the presets are saved before programming (default: a new folder
    // below the user's application data).
    void setBackupFolder(const QString &dir) { m_backupDir = dir; }
    QString lastBackupFolder() const { return m_savedTo; }
    // The pauses of the preset transfers after a slot switch and a store
    // (the unit's own times by default); for the simulator and the tests.
    void setPresetTransferWaits(int switchMs, int storeMs)
    {
        m_switchWaitMs = switchMs;
        m_storeWaitMs = storeMs;
    }
    // For the simulator and the tests.
    void setTimings(const firmware::UpdateTimings &timings) { m_update.setTimings(timings); }
    void setPort(const QString &port);
    void setFile(const QString &path);
    firmware::CFirmwareUpdate &update() { return m_update; }

    QString logText() const;
    bool controlsEnabled() const;

public slots:
    void onOpenFile();
    void onProgram();

signals:
    // An update (started by "Program ZAR") has ended.
    void updateEnded(zar40::firmware::CFirmwareUpdate::Result result);

protected:
    void reject() override;

private:
    void fillPorts();
    void warnAboutFlashLoader();
    void setControlsEnabled(bool on);
    void appendLog(const QString &text);
    void onFinished(firmware::CFirmwareUpdate::Result result, const QString &message);
    bool offerBackup();
    void offerRestore();
    QString currentPort() const;
    void configure(comm::DeviceSession &session) const;

    firmware::CFirmwareUpdate m_update;
    QPlainTextEdit *m_log;
    QLineEdit *m_file;
    QPushButton *m_openFile;
    QPushButton *m_program;
    QProgressBar *m_progress;
    QCheckBox *m_resetPresets;
    QPushButton *m_close;
    QComboBox *m_port;
    QString m_loaderPath;
    QString m_backupDir;
    QString m_savedTo;
    bool m_busy = false;
    int m_switchWaitMs = -1; // -1: the session's default
    int m_storeWaitMs = -1;
};

} // namespace zar40::ui
