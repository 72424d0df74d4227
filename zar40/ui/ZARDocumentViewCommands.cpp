// The editor's commands: preset files, Quick Setup, channel copy, device
// settings, help and the About box.
#include "ZARDocumentView.h"

#include "About.h"
#include "CopyChannelDlg.h"
#include "DeviceSettingsDlg.h"
#include "WaitDialog.h"
#include "ZARDocument.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/CommPrompts.h"
#include "zar40/ui/firmware/ZAR_FW_UPDlg.h"
#include "zar40/ui/report/report_module.h"

#include "on_demand_module.h"
#include "user_prompts.h"

#include <QComboBox>
#include <QPointer>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <dlfcn.h>

using zar40::editor::EditorSession;
using namespace zar40::codec;

namespace {

constexpr const char *kOpenFilter =
    "VRN-Preset Files(*.vpx *.vpf);;VRN-Preset File XML(*.vpx);;VRN-Preset File V1(*.vpf)";
constexpr const char *kHelpFileName = "ZAR40Help.html";

// The folder this plug-in was loaded from: the help page lies beside it.
QString pluginFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&pluginFolder), &info) == 0 || !info.dli_fname) return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

} // namespace

bool CZARDocumentView::confirmDiscard()
{
    EditorSession *s = session();
    // After the closing sequence the questions have been asked already.
    if (!s || !s->isLocalModified() || s->cycleState() == EditorSession::CycleState::ReadyToClose) return true;
    switch (UserPrompts::current().questionYesNoCancel(QString::fromLatin1(zar40::editor::kSaveCurrentQuestion), this)) {
    case UserPrompts::Answer::Yes: return savePreset();
    case UserPrompts::Answer::No: return true;
    default: return false;
    }
}

void CZARDocumentView::onOpenPreset()
{
    EditorSession *s = session();
    if (!s || s->isBusy()) return;
    UserPrompts &prompts = UserPrompts::current();
    if (s->isLocalModified() && !prompts.questionYesNo(QString::fromLatin1(zar40::editor::kOverwriteQuestion), this)) return;
    UserPrompts::FileRequest request;
    request.title = tr("Open Preset");
    request.filter = QString::fromLatin1(kOpenFilter);
    const QString path = prompts.openFileName(request, this);
    if (path.isEmpty()) return;
    s->openPresetFile(path);
}

void CZARDocumentView::onSavePreset()
{
    savePreset();
}

bool CZARDocumentView::savePreset()
{
    EditorSession *s = session();
    if (!s) return false;
    QString path;
    askSaveFileName([&path](const QString &chosen) { path = chosen; });
    return !path.isEmpty() && s->savePresetFile(path);
}

void CZARDocumentView::onClosePreset()
{
    if (CZARDocument *doc = zarDocument(); doc && !doc->frames().isEmpty()) doc->frames().constFirst()->close();
}

void CZARDocumentView::onQuickSetup(int layout)
{
    EditorSession *s = session();
    if (!s || s->isBusy()) return;
    if (s->isLocalModified() && !UserPrompts::current().questionYesNo(QString::fromLatin1(zar40::editor::kOverwriteQuestion), this))
        return;
    s->applyFactoryLayout(layout);
}

void CZARDocumentView::onCopyChannelSetup()
{
    EditorSession *s = session();
    if (!s || s->isBusy()) return;
    QPointer<EditorSession> target(s);
    auto *dialog = new CCopyChannelDlg(this, s->currentRecord(), [target](const zar40::model::ChannelCopy &copy) {
        return target ? target->copyChannels(copy) : 0;
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The names it lists belong to the slot it was opened on.
    connect(s, &EditorSession::cycleStateChanged, dialog, &QDialog::reject);
    dialog->open();
}

void CZARDocumentView::onDeviceSettings()
{
    EditorSession *s = session();
    if (!s || !s->isConnected() || s->isBusy()) return;
    auto *dialog = new CDeviceSettingsDlg(this, QString::fromLatin1(deviceName(s->deviceSettings())),
                                          keyboardLocked(s->deviceSettings()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(s, &EditorSession::cycleStateChanged, dialog, &QDialog::reject);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (EditorSession *s = session())
            s->writeDeviceSettings(dialog->deviceName().toLatin1().toStdString(), dialog->keyboardLocked(),
                                   zar40::comm::passwordFromText(dialog->password()));
    });
    dialog->open();
}

void CZARDocumentView::onFirmwareUpdate()
{
    if (isBusy()) return;
    // The update talks to the boot loader over a port of its own.
    if (isConnected()) {
        UserPrompts::current().information(tr("Disconnect from the ZAR40 before updating its firmware."), this);
        return;
    }
    auto *dialog = new zar40::ui::CZAR_FW_UPDlg(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (m_port && !m_port->currentText().trimmed().isEmpty()) dialog->setPort(m_port->currentText().trimmed());
    dialog->open();
}

void CZARDocumentView::onHtmlReport()
{
    const EditorSession *s = session();
    if (!s) return;
    // The browser engine is loaded with the first report, not with the
    // plug-in: most sessions never show one.
    static Zar40ShowHtmlReportFunction *show = nullptr;
    QString error;
    if (!show)
        show = OnDemandModule::resolveFunction<Zar40ShowHtmlReportFunction>(
            reinterpret_cast<const void *>(&pluginFolder), QStringLiteral(ZAR40_REPORT_MODULE_FILE),
            ZAR40_SHOW_REPORT_SYMBOL, &error);
    if (!show) {
        UserPrompts::current().error(tr("The report cannot be shown.\n%1").arg(error), this);
        return;
    }
    zar40::report::ReportMeasurements measured;
    measured.channels = m_measurements;
    for (int c = 0; c < zar40::preset::kChannelCount; ++c)
        if (const auto &m = s->measurementOf(c))
            measured.names[static_cast<std::size_t>(c)] = m->name;
    measured.normalise = s->normalisesMeasurements();
    show(s->currentRecord(), s->measurementLines(), measured, this);
}

void CZARDocumentView::onHelpTopics()
{
    const QString path = QDir(pluginFolder()).filePath(QString::fromLatin1(kHelpFileName));
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        UserPrompts::current().error(tr("The help page %1 cannot be shown.").arg(QDir::toNativeSeparators(path)),
                                     this);
}

void CZARDocumentView::onAbout()
{
    auto *about = new CAbout(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}
