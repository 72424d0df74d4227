// The editor's commands: preset files, Quick Setup, channel copy, device
// settings, help and the About box.
#include "ZARDocumentView.h"

#include "CAbout.h"
#include "CCopyChannelDlg.h"
#include "CDeviceSettingsDlg.h"
#include "CWaitDialog.h"
#include "ZARDocument.h"

#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/commprompts.h"
#include "zar40/preset/factory_layouts.h"
#include "zar40/preset/preset_files.h"
#include "zar40/ui/firmware/CZAR_FW_UPDlg.h"
#include "zar40/ui/report/HtmlReportWindow.h"

#include "UserPrompts.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <dlfcn.h>

namespace zp = zar40::preset;
using namespace zar40::codec;

namespace {

constexpr const char *kOverwriteQuestion = "Overwrite this Preset?";
constexpr const char *kOpenFilter =
    "VRN-Preset Files(*.vpx *.vpf);;VRN-Preset File XML(*.vpx);;VRN-Preset File V1(*.vpf)";
constexpr const char *kSaveFilter = "VRN-Preset File XML(*.vpx)";
constexpr const char *kHelpFileName = "ZAR40Help.html";
constexpr int kSaveWaitMs = 6000;

QString resultText(const zp::Result &result)
{
    QString text = QString::fromStdString(result.message);
    if (!result.detail.empty()) text += QLatin1Char('\n') + QString::fromStdString(result.detail);
    return text;
}

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
    CZARDocument *doc = zarDocument();
    if (!doc || !doc->isModified() || m_closeConfirmed) return true;
    switch (UserPrompts::current().questionYesNoCancel(tr("Do you want to save the current preset?"), this)) {
    case UserPrompts::Answer::Yes: return savePreset();
    case UserPrompts::Answer::No: return true;
    default: return false;
    }
}

void CZARDocumentView::onOpenPreset()
{
    CZARDocument *doc = zarDocument();
    if (!doc || isBusy()) return;
    UserPrompts &prompts = UserPrompts::current();
    if (doc->isModified() && !prompts.questionYesNo(QString::fromLatin1(kOverwriteQuestion), this)) return;
    UserPrompts::FileRequest request;
    request.title = tr("Open Preset");
    request.filter = QString::fromLatin1(kOpenFilter);
    const QString path = prompts.openFileName(request, this);
    if (path.isEmpty()) return;

    // The extension decides the reader, exactly as written: the files this
    // editor writes end in lower case.
    const QString suffix = QFileInfo(path).suffix();
    const std::string file = QFile::encodeName(path).toStdString();
    zp::PresetRecord record = doc->presets.currentRecord();
    zp::Result result;
    if (suffix == QLatin1String("vpf")) {
        result = zp::readV1PresetFile(file, record);
    } else if (suffix == QLatin1String("vpx")) {
        result = zp::readXmlPresetFile(file, record);
    } else {
        prompts.error(QString::fromLatin1(zp::kNotAPresetFile), this);
        return;
    }
    if (!result) {
        // Nothing was read: the editor's preset, its modified state and the
        // unit stay as they were.
        prompts.error(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), resultText(result)), this);
        return;
    }
    doc->presets.currentRecord() = record;
    for (const std::string &notice : result.notices)
        prompts.information(QString::fromStdString(notice), this);
    refreshEverything();
    if (transferCurrentPreset()) setDeviceModified(true);
    setLocalModified(false);
}

void CZARDocumentView::onSavePreset()
{
    savePreset();
}

bool CZARDocumentView::savePreset()
{
    CZARDocument *doc = zarDocument();
    if (!doc) return false;
    UserPrompts::FileRequest request;
    request.title = tr("Save Preset");
    request.filter = QString::fromLatin1(kSaveFilter);
    request.defaultSuffix = QStringLiteral("vpx");
    QString path = UserPrompts::current().saveFileName(request, this);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".vpx");
    const zp::Result result = zp::writeXmlPresetFile(doc->presets.currentRecord(), QFile::encodeName(path).toStdString());
    if (!result) {
        UserPrompts::current().error(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), resultText(result)),
                                     this);
        return false;
    }
    setLocalModified(false);
    return true;
}

void CZARDocumentView::onClosePreset()
{
    if (CZARDocument *doc = zarDocument(); doc && !doc->frames().isEmpty()) doc->frames().constFirst()->close();
}

void CZARDocumentView::onQuickSetup(int layout)
{
    CZARDocument *doc = zarDocument();
    const auto layouts = zp::factoryLayouts();
    if (!doc || isBusy() || layout < 0 || layout >= static_cast<int>(layouts.size())) return;
    if (doc->isModified()
        && !UserPrompts::current().questionYesNo(QString::fromLatin1(kOverwriteQuestion), this))
        return;
    zp::applyFactoryLayout(doc->presets, layouts[static_cast<std::size_t>(layout)]);
    refreshEverything();
    transferCurrentPreset();
    setDeviceModified(true);
    setLocalModified(false);
}

void CZARDocumentView::onCopyChannelSetup()
{
    CZARDocument *doc = zarDocument();
    if (!doc || isBusy()) return;
    auto *dialog = new CCopyChannelDlg(this, doc->presets.currentRecord(), [this](int copied) {
        if (copied <= 0) return;
        setDeviceModified(true);
        setLocalModified(true);
        refreshEverything();
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The record it copies in may change under it when the slot changes.
    connect(this, &CZARDocumentView::connectionStateChanged, dialog, &QDialog::reject);
    dialog->open();
}

void CZARDocumentView::onDeviceSettings()
{
    CZARDocument *doc = zarDocument();
    if (!doc || !m_connected || isBusy()) return;
    auto *dialog = new CDeviceSettingsDlg(this, QString::fromLatin1(deviceName(doc->deviceSettings)),
                                          keyboardLocked(doc->deviceSettings));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const int generation = m_generation;
    connect(dialog, &QDialog::accepted, this, [this, dialog, generation] {
        CZARDocument *doc = zarDocument();
        if (!doc || generation != m_generation || !m_link->acceptsWrites()) return;
        DeviceSettings settings = doc->deviceSettings;
        setDeviceName(settings, dialog->deviceName().toLatin1().toStdString());
        settings[kKeyboardLockWord] = dialog->keyboardLocked() ? 1u : 0u;
        for (std::size_t w = 0; w < 4; ++w) {
            const std::size_t word = kDeviceNameFirstWord + w;
            m_link->postTransaction(ReqWritePreset, *deviceSettingsAddress(word), settings[word]);
        }
        m_link->postTransaction(ReqWritePreset, *deviceSettingsAddress(kKeyboardLockWord), settings[kKeyboardLockWord]);
        m_link->postTransaction(ReqWritePwd, 0, zar40::comm::passwordFromText(dialog->password()));
        doc->deviceSettings = settings;
        afterWaitBox(tr("Please wait\nwhile saving"), kSaveWaitMs, ReqWritePwd, {});
    });
    dialog->open();
}

void CZARDocumentView::onFirmwareUpdate()
{
    if (isBusy()) return;
    // The update talks to the boot loader over a port of its own.
    if (m_connected) {
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
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    zar40::report::HtmlReportWindow window(doc->presets.currentRecord(), this);
    window.exec();
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
