// The measurement commands: load and clear a channel's measurement, and fit
// its equalizer to it.
#include "ZARDocumentView.h"

#include "FitEqDlg.h"

#include "zar40/measurement/fit.h"
#include "zar40/model/preset_signal.h"

#include "user_prompts.h"

#include <QFileInfo>
#include <QPointer>

using zar40::editor::EditorSession;
namespace ms = zar40::measurement;
namespace preset = zar40::preset;

namespace {

QString channelLabel(const preset::PresetRecord &r, int channel)
{
    static const char *const inputs[] = {"Input A", "Summe", "Input B"};
    const QString place = channel < preset::kFirstOutput
                              ? QString::fromLatin1(inputs[channel])
                              : QStringLiteral("Output %1").arg(channel - preset::kFirstOutput + 1);
    const std::string name = channel < preset::kFirstOutput
                                 ? preset::textOf(r.inputs[static_cast<std::size_t>(channel)].NAME)
                                 : preset::textOf(r.outputs[static_cast<std::size_t>(channel - preset::kFirstOutput)].NAME);
    return name.empty() ? place : QStringLiteral("%1 (%2)").arg(place, QString::fromLatin1(name.c_str()));
}

} // namespace

void CZARDocumentView::onLoadMeasurement()
{
    EditorSession *s = session();
    if (!s) return;
    const int channel = measurementChannel();
    UserPrompts::FileRequest request;
    request.title = tr("Load Measurement - %1").arg(channelLabel(s->currentRecord(), channel));
    request.filter = tr("Response files (*.txt *.frd *.csv *.dat *.TXT *.FRD *.CSV *.DAT);;All files (*)");
    const QString path = UserPrompts::current().openFileName(request, this);
    if (path.isEmpty()) return;
    QString why;
    if (!s->loadMeasurement(channel, path, &why))
        UserPrompts::current().error(tr("The measurement %1 cannot be loaded:\n%2").arg(QFileInfo(path).fileName(), why),
                                     this);
}

void CZARDocumentView::onClearMeasurement()
{
    if (EditorSession *s = session()) s->clearMeasurement(measurementChannel());
}

void CZARDocumentView::onNormaliseMeasurements(bool on)
{
    if (EditorSession *s = session()) s->setNormaliseMeasurements(on);
}

void CZARDocumentView::onFitEq()
{
    EditorSession *s = session();
    if (!s || s->isBusy()) return;
    const int channel = measurementChannel();
    const preset::PresetRecord &r = s->currentRecord();
    const QString label = channelLabel(r, channel);
    const auto &measured = s->measurementOf(channel);
    if (!measured) {
        UserPrompts::current().information(tr("%1 has no measurement. Load one with \"Load Measurement...\" first.")
                                               .arg(label),
                                           this);
        return;
    }
    if (s->isLocked()) {
        UserPrompts::current().information(tr("The preset is locked."), this);
        return;
    }
    const ms::Bands bands = zar40::model::channelBands(r, channel);
    ms::FitOptions defaults;
    if (channel >= preset::kFirstOutput) {
        const preset::OutputChannel &o = r.outputs[static_cast<std::size_t>(channel - preset::kFirstOutput)];
        const auto highCut = zar40::model::toCrossover(o.highCut);
        const auto lowCut = zar40::model::toCrossover(o.lowCut);
        defaults = ms::defaultFitOptions(bands, &highCut, &lowCut);
    } else {
        defaults = ms::defaultFitOptions(bands);
    }
    QPointer<EditorSession> target(s);
    auto *dialog = new CFitEqDlg(this, label, measured->data, bands, defaults, [target, channel](const ms::Bands &fitted) {
        if (target) target->applyFittedBands(channel, fitted);
    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The bands it fitted from belong to the slot it was opened on.
    connect(s, &EditorSession::cycleStateChanged, dialog, &QDialog::reject);
    dialog->open();
}
