// The editors of the view: faders, delay, equalizer, crossover, dynamics,
// preset information, the signal-flow picture and the response diagrams,
// and the path of every edit into the record, the undo history and, while
// connected, the unit.
#include "ZARDocumentView.h"

#include "ZARDocument.h"

#include "zar40/comm/communicationmodul.h"
#include "zar40/dsp/diagrams/diagrams.h"
#include "zar40/dsp/diagrams/from_preset.h"
#include "zar40/model/preset_signal.h"
#include "zar40/preset/fields.h"
#include "zar40/ui/editors/CrossoverEditor.h"
#include "zar40/ui/editors/DynamicsEditors.h"
#include "zar40/ui/editors/EqEditors.h"
#include "zar40/ui/editors/GainSlider.h"
#include "zar40/ui/panels/calculator_panel.h"
#include "zar40/ui/panels/delay_panel.h"
#include "zar40/ui/panels/preset_info_box.h"
#include "zar40/ui/panels/signal_flow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

using namespace zar40;
using model::FaderChange;
using model::WriteBatch;
using preset::PresetRecord;

namespace {

enum EditorGroup : int { FaderGroup = 0, DelayGroup, EqGroup, CrossoverGroup, DynamicsGroup, InfoGroup, GroupCount };
enum MainPage : int { SignalflowPage = 0, MagnitudePage, PhasePage, DynamikPage };
// The diagram stacks of the magnitude and phase pages.
enum DiagramSet : int { EqDiagrams = 0, CrossoverDiagrams = 1 };

preset::OutputChannel &outputAt(PresetRecord &r, int output) { return r.outputs[static_cast<std::size_t>(output)]; }
const preset::OutputChannel &outputAt(const PresetRecord &r, int output)
{
    return r.outputs[static_cast<std::size_t>(output)];
}

std::array<preset::EqBand, preset::kBandCount> &bandsOf(PresetRecord &r, int channel)
{
    return channel < preset::kInputCount ? r.inputs[static_cast<std::size_t>(channel)].PEQ
                                         : outputAt(r, channel - preset::kFirstOutput).PEQ;
}

QString channelName(const PresetRecord &r, int channel)
{
    const std::string name = channel < preset::kInputCount
                                 ? preset::textOf(r.inputs[static_cast<std::size_t>(channel)].NAME)
                                 : preset::textOf(outputAt(r, channel - preset::kFirstOutput).NAME);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// A diagram with its mouse read-out below it.
QWidget *withReadOut(diagrams::ResponseDiagram *diagram, const QString &name, const QString &accessibleName)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    diagram->setObjectName(name);
    diagram->setAccessibleName(accessibleName);
    diagram->setMinimumSize(320, 180);
    auto *readOut = new QLabel(box);
    readOut->setObjectName(name + QStringLiteral("ReadOut"));
    readOut->setMinimumHeight(readOut->fontMetrics().height());
    QObject::connect(diagram, &diagrams::ResponseDiagram::readOutChanged, readOut, &QLabel::setText);
    layout->addWidget(diagram, 1);
    layout->addWidget(readOut);
    return box;
}

// The record with what no diagram draws (levels, mutes, polarity, delays,
// texts but the output names) set aside, so that edits of those leave the
// curves alone.
PresetRecord drawnPart(const PresetRecord &r)
{
    PresetRecord d = r;
    for (auto &in : d.inputs) {
        in.GAIN = in.DELAY = 0.0f;
        in.MUTE = 0;
        in.NAME.fill(0);
    }
    for (auto &out : d.outputs) {
        out.GAIN = out.DELAY = out.PHASE = 0.0f;
        out.MUTE = 0;
    }
    d.NAME.fill(0);
    d.AUTHOR.fill(0);
    d.PRESET_FLAGS = 0;
    d.number = 0;
    return d;
}

} // namespace

// One edit of one preset slot: the whole record before and after. The first
// redo only finishes the edit the view has already made (and sends its own
// writes, which may differ from a plain field comparison: Stereo-Link pairs,
// the engage rule); later undos and redos send what differs.
class ZarRecordEdit : public QUndoCommand
{
public:
    ZarRecordEdit(CZARDocumentView *view, int slot, const PresetRecord &before, const PresetRecord &after,
                  WriteBatch firstWrites, const QString &text)
        : QUndoCommand(text), m_view(view), m_slot(slot), m_before(before), m_after(after),
          m_firstWrites(std::move(firstWrites))
    {
    }
    void redo() override
    {
        if (m_first) {
            m_first = false;
            m_view->editDone(m_firstWrites);
            return;
        }
        m_view->restoreRecord(m_slot, m_after, model::ChangedFieldWrites(m_before, m_after));
    }
    void undo() override { m_view->restoreRecord(m_slot, m_before, model::ChangedFieldWrites(m_after, m_before)); }

private:
    CZARDocumentView *m_view;
    int m_slot;
    PresetRecord m_before;
    PresetRecord m_after;
    WriteBatch m_firstWrites;
    bool m_first = true;
};

CZARDocumentView::CZARDocumentView()
{
    setObjectName(QStringLiteral("CZARDocumentView"));
    setAutoFillBackground(true);
    m_undo = new QUndoStack(this);

    QWidget *connectionBar = buildConnectionBar();
    m_summary = buildEditors();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(connectionBar);
    layout->addWidget(m_summary, 1);
}

CZARDocumentView::~CZARDocumentView()
{
    // Undo commands call back into the view; they go before its parts.
    m_undo->clear();
    // The watch points at the connection and the connection talks to this
    // view (prompts, wait window): the watch goes first, then the connection,
    // both before the widgets they reach.
    delete m_watch;
    m_watch = nullptr;
    delete m_link;
    m_link = nullptr;
}

CZARDocument *CZARDocumentView::zarDocument() const
{
    return qobject_cast<CZARDocument *>(document());
}

void CZARDocumentView::onInitialUpdate()
{
    CView::onInitialUpdate();
    refreshSummary();
}

void CZARDocumentView::onUpdate(CView *sender, int hint)
{
    CView::onUpdate(sender, hint);
    refreshSummary();
}

// ---- Building ---------------------------------------------------------------------

QWidget *CZARDocumentView::buildEditors()
{
    auto *area = new QSplitter(Qt::Vertical, this);
    area->setObjectName(QStringLiteral("editorArea"));
    area->setChildrenCollapsible(false);

    m_mainTabs = new QTabWidget(area);
    m_mainTabs->setObjectName(QStringLiteral("mainTabs"));
    m_mainTabs->setAccessibleName(tr("Main pages"));
    m_signalFlow = new panels::CSignalFlow;
    m_signalFlow->setObjectName(QStringLiteral("signalFlow"));
    m_mainTabs->addTab(m_signalFlow, tr("Signalflow"));
    buildDiagramPages();

    m_groups = new QStackedWidget(area);
    m_groups->setObjectName(QStringLiteral("editorGroups"));
    m_groups->addWidget(buildFaderBank());

    // The delay fields read best at their natural width, not stretched
    // across a wide window.
    auto *delayGroup = new QWidget;
    auto *delayLayout = new QHBoxLayout(delayGroup);
    delayLayout->setContentsMargins(0, 0, 0, 0);
    m_delayPanel = new panels::CDelayPanel;
    m_delayPanel->setObjectName(QStringLiteral("delayPanel"));
    delayLayout->addWidget(m_delayPanel);
    delayLayout->addStretch(1);
    m_groups->addWidget(delayGroup);

    m_eqTabs = new QTabWidget;
    m_eqTabs->setObjectName(QStringLiteral("eqTabs"));
    m_eqTabs->setAccessibleName(tr("Equalizer channels"));
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        m_eqEditors[static_cast<std::size_t>(ch)] = new editors::CEqChannelEditor(ch);
        m_eqTabs->addTab(m_eqEditors[static_cast<std::size_t>(ch)], QString());
    }
    m_groups->addWidget(m_eqTabs);

    m_crossoverTabs = new QTabWidget;
    m_crossoverTabs->setObjectName(QStringLiteral("crossoverTabs"));
    m_crossoverTabs->setAccessibleName(tr("Crossover outputs"));
    for (int o = 0; o < preset::kOutputCount; ++o) {
        m_crossoverEditors[static_cast<std::size_t>(o)] = new editors::CCrossoverEditor(o);
        m_crossoverTabs->addTab(m_crossoverEditors[static_cast<std::size_t>(o)], QString());
    }
    m_groups->addWidget(m_crossoverTabs);

    m_dynamicsTabs = new QTabWidget;
    m_dynamicsTabs->setObjectName(QStringLiteral("dynamicsTabs"));
    m_dynamicsTabs->setAccessibleName(tr("Dynamics outputs"));
    for (int o = 0; o < preset::kOutputCount; ++o) {
        auto *page = new QWidget;
        auto *row = new QHBoxLayout(page);
        m_dynamicsEditors[static_cast<std::size_t>(o)] = new editors::CDynamicsEditor(o);
        m_gateEditors[static_cast<std::size_t>(o)] = new editors::CNoiseGateEditor(o);
        row->addWidget(m_dynamicsEditors[static_cast<std::size_t>(o)], 3);
        row->addWidget(m_gateEditors[static_cast<std::size_t>(o)], 2);
        m_dynamicsTabs->addTab(page, QString());
    }
    // The speaker and amplifier check reads the limiter of the output being
    // edited, so it sits beside the dynamics editors.
    auto *dynamicsGroup = new QWidget;
    auto *dynamicsLayout = new QHBoxLayout(dynamicsGroup);
    dynamicsLayout->setContentsMargins(0, 0, 0, 0);
    m_calculator = new panels::CCalculatorPanel;
    m_calculator->setObjectName(QStringLiteral("calculatorPanel"));
    dynamicsLayout->addWidget(m_dynamicsTabs, 3);
    dynamicsLayout->addWidget(m_calculator, 2);
    m_groups->addWidget(dynamicsGroup);

    m_infoBox = new panels::CPresetInfoBox;
    m_infoBox->setObjectName(QStringLiteral("presetInfoBox"));
    m_groups->addWidget(m_infoBox);

    area->addWidget(m_mainTabs);
    area->addWidget(m_groups);
    // The faders need height to be usable; the picture and the diagrams
    // scale with whatever is left.
    area->setStretchFactor(0, 1);
    area->setStretchFactor(1, 1);

    wireEditors();
    showEditorGroup(FaderGroup);
    return area;
}

QWidget *CZARDocumentView::buildFaderBank()
{
    auto *bank = new QWidget;
    bank->setObjectName(QStringLiteral("faderBank"));
    auto *row = new QHBoxLayout(bank);
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        auto *fader = new editors::CGainSlider(ch);
        fader->setObjectName(QStringLiteral("fader%1").arg(ch));
        // Nine faders share the frame's minimum width with the middle
        // column; their buttons may narrow down to their captions.
        fader->setMinimumWidth(fader->fontMetrics().horizontalAdvance(QStringLiteral("+10 dB")) + 12);
        m_faders[static_cast<std::size_t>(ch)] = fader;
        if (ch == preset::kFirstOutput) {
            // Between the input and the output faders.
            auto *middle = new QVBoxLayout;
            middle->addStretch(1);
            m_muteAll = new QPushButton(tr("Mute All"), bank);
            m_muteAll->setObjectName(QStringLiteral("muteAllButton"));
            m_stereoLink = new QCheckBox(tr("Stereo-Link"), bank);
            m_stereoLink->setObjectName(QStringLiteral("stereoLinkBox"));
            // The faders give way first: a clipped caption is unreadable.
            for (QWidget *w : {static_cast<QWidget *>(m_muteAll), static_cast<QWidget *>(m_stereoLink)})
                w->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
            middle->addWidget(m_muteAll);
            middle->addWidget(m_stereoLink);
            middle->addStretch(1);
            row->addSpacing(8);
            row->addLayout(middle);
            row->addSpacing(8);
        }
        row->addWidget(fader);
    }
    return bank;
}

QWidget *CZARDocumentView::buildDiagramPages()
{
    m_eqMagnitude = new diagrams::CPEQ_Frequenz_Diagramm;
    m_eqPhase = new diagrams::CPEQ_Phase_Diagramm;
    m_crossMagnitude = new diagrams::CCross_Magnitude_Diagramm;
    m_crossPhase = new diagrams::CCross_Phase_Diagramm;
    m_dynamics = new diagrams::CDynamik_Diagramm;

    m_magnitudeStack = new QStackedWidget;
    m_magnitudeStack->setObjectName(QStringLiteral("magnitudePage"));
    m_magnitudeStack->addWidget(
        withReadOut(m_eqMagnitude, QStringLiteral("eqMagnitudeDiagram"), tr("Equalizer magnitude")));
    m_magnitudeStack->addWidget(
        withReadOut(m_crossMagnitude, QStringLiteral("crossoverMagnitudeDiagram"), tr("Crossover magnitude")));
    m_phaseStack = new QStackedWidget;
    m_phaseStack->setObjectName(QStringLiteral("phasePage"));
    m_phaseStack->addWidget(withReadOut(m_eqPhase, QStringLiteral("eqPhaseDiagram"), tr("Equalizer phase")));
    m_phaseStack->addWidget(
        withReadOut(m_crossPhase, QStringLiteral("crossoverPhaseDiagram"), tr("Crossover phase")));
    QWidget *dynamikPage = withReadOut(m_dynamics, QStringLiteral("dynamicsDiagram"), tr("Dynamics curve"));

    m_mainTabs->addTab(m_magnitudeStack, tr("Magnitude"));
    m_mainTabs->addTab(m_phaseStack, tr("Phase"));
    m_mainTabs->addTab(dynamikPage, tr("Dynamik"));
    return m_mainTabs;
}

void CZARDocumentView::wireEditors()
{
    for (editors::CGainSlider *fader : m_faders) {
        const int ch = fader->channel();
        connect(fader, &editors::CGainSlider::gainChanging, this, [this, ch](float g) { onFaderChanging(ch, g); });
        connect(fader, &editors::CGainSlider::gainCommitted, this,
                [this, ch](float g) { onFaderEdit(ch, FaderChange::Gain, g); });
        connect(fader, &editors::CGainSlider::muteToggled, this,
                [this, ch](bool m) { onFaderEdit(ch, FaderChange::Mute, m ? 1.0f : 0.0f); });
        connect(fader, &editors::CGainSlider::phaseToggled, this,
                [this, ch](bool inv) { onFaderEdit(ch, FaderChange::Phase, inv ? 1.0f : 0.0f); });
    }
    connect(m_muteAll, &QPushButton::clicked, this, &CZARDocumentView::onMuteAll);
    connect(m_stereoLink, &QCheckBox::toggled, this, &CZARDocumentView::onStereoLinkToggled);

    // Delays: the panel reports the stored value (samples + 1).
    const auto setDelay = [this](int ch, float stored) {
        PresetRecord &r = beginEdit();
        if (ch < preset::kInputCount) r.inputs[static_cast<std::size_t>(ch)].DELAY = stored;
        else outputAt(r, ch - preset::kFirstOutput).DELAY = stored;
    };
    connect(m_delayPanel, &panels::CDelayPanel::delayChanging, this, [this, setDelay](int ch, float stored) {
        if (m_refreshing) return;
        setDelay(ch, stored);
        refreshToolTips();
    });
    connect(m_delayPanel, &panels::CDelayPanel::delayCommitted, this, [this, setDelay](int ch, float stored) {
        if (m_refreshing) return;
        setDelay(ch, stored);
        commitFieldEdit(tr("Delay"));
    });
    connect(m_delayPanel, &panels::CDelayPanel::displayUnitsChanged, this, [this] { refreshToolTips(); });

    for (editors::CEqChannelEditor *editor : m_eqEditors) {
        const int ch = editor->channel();
        const auto setBand = [this, ch](int band, const preset::EqBand &value) {
            bandsOf(beginEdit(), ch)[static_cast<std::size_t>(band)] = value;
        };
        connect(editor, &editors::CEqChannelEditor::bandChanging, this,
                [this, setBand](int band, const preset::EqBand &value) {
                    if (m_refreshing) return;
                    setBand(band, value);
                    refreshDiagrams();
                });
        connect(editor, &editors::CEqChannelEditor::bandCommitted, this,
                [this, setBand](int band, const preset::EqBand &value) {
                    if (m_refreshing) return;
                    setBand(band, value);
                    commitFieldEdit(tr("Equalizer band"));
                });
    }
    for (editors::CCrossoverEditor *editor : m_crossoverEditors) {
        const int o = editor->output();
        const auto setFilter = [this, o](model::CrossoverSide side, const preset::CrossoverFilter &f) {
            preset::OutputChannel &out = outputAt(beginEdit(), o);
            (side == model::CrossoverSide::HighCut ? out.highCut : out.lowCut) = f;
        };
        connect(editor, &editors::CCrossoverEditor::filterChanging, this,
                [this, setFilter](model::CrossoverSide side, const preset::CrossoverFilter &f) {
                    if (m_refreshing) return;
                    setFilter(side, f);
                    refreshDiagrams();
                });
        connect(editor, &editors::CCrossoverEditor::filterCommitted, this,
                [this, setFilter](model::CrossoverSide side, const preset::CrossoverFilter &f) {
                    if (m_refreshing) return;
                    setFilter(side, f);
                    commitFieldEdit(tr("Crossover"));
                });
    }
    for (int o = 0; o < preset::kOutputCount; ++o) {
        editors::CDynamicsEditor *dyn = m_dynamicsEditors[static_cast<std::size_t>(o)];
        connect(dyn, &editors::CDynamicsEditor::dynamicsChanging, this, [this, o](const preset::Dynamics &d) {
            if (m_refreshing) return;
            outputAt(beginEdit(), o).DYNAMIC = d;
            refreshDiagrams();
        });
        connect(dyn, &editors::CDynamicsEditor::dynamicsCommitted, this, [this, o](const preset::Dynamics &d) {
            if (m_refreshing) return;
            outputAt(beginEdit(), o).DYNAMIC = d;
            commitFieldEdit(tr("Dynamics"));
        });
        editors::CNoiseGateEditor *gate = m_gateEditors[static_cast<std::size_t>(o)];
        connect(gate, &editors::CNoiseGateEditor::noiseGateChanging, this, [this, o](const preset::NoiseGate &g) {
            if (m_refreshing) return;
            outputAt(beginEdit(), o).NOISEGATE = g;
            refreshToolTips();
        });
        connect(gate, &editors::CNoiseGateEditor::noiseGateCommitted, this, [this, o](const preset::NoiseGate &g) {
            if (m_refreshing) return;
            outputAt(beginEdit(), o).NOISEGATE = g;
            commitFieldEdit(tr("Noise gate"));
        });
    }

    // Texts and the lock.
    const auto editText = [this](const QString &what, auto setter) {
        if (m_refreshing) return;
        setter(beginEdit());
        commitFieldEdit(what);
    };
    connect(m_infoBox, &panels::CPresetInfoBox::nameEdited, this, [editText](const QString &text) {
        editText(tr("Preset name"), [&](PresetRecord &r) { preset::setText(r.NAME, text.toLatin1().toStdString()); });
    });
    connect(m_infoBox, &panels::CPresetInfoBox::authorEdited, this, [editText](const QString &text) {
        editText(tr("Author"), [&](PresetRecord &r) { preset::setText(r.AUTHOR, text.toLatin1().toStdString()); });
    });
    connect(m_infoBox, &panels::CPresetInfoBox::channelNameEdited, this, [editText](int ch, const QString &text) {
        editText(tr("Channel name"), [&](PresetRecord &r) {
            const std::string name = text.toLatin1().toStdString();
            if (ch < preset::kInputCount) preset::setText(r.inputs[static_cast<std::size_t>(ch)].NAME, name);
            else if (ch < preset::kChannelCount) preset::setText(outputAt(r, ch - preset::kFirstOutput).NAME, name);
        });
    });
    connect(m_infoBox, &panels::CPresetInfoBox::lockToggled, this, [editText](bool locked) {
        editText(tr("Lock"), [&](PresetRecord &r) { r.PRESET_FLAGS = preset::withLock(r.PRESET_FLAGS, locked); });
    });

    connect(m_signalFlow, &panels::CSignalFlow::blockClicked, this,
            [this](panels::BlockKind kind, int channel) { onBlockClicked(static_cast<int>(kind), channel); });
    connect(m_signalFlow, &panels::CSignalFlow::routeChosen, this, &CZARDocumentView::onRouteChosen);
    connect(m_signalFlow, &panels::CSignalFlow::infoRequested, this, [this] { showEditorGroup(InfoGroup); });

    for (diagrams::ResponseDiagram *d : {static_cast<diagrams::ResponseDiagram *>(m_eqMagnitude),
                                         static_cast<diagrams::ResponseDiagram *>(m_crossMagnitude)})
        connect(d, &diagrams::ResponseDiagram::notification, this, &CZARDocumentView::onDiagramNotification);

    for (QTabWidget *tabs : {m_eqTabs, m_crossoverTabs, m_dynamicsTabs})
        connect(tabs, &QTabWidget::currentChanged, this, [this] { selectionChanged(); });
    connect(m_mainTabs, &QTabWidget::currentChanged, this, [this] { refreshDiagrams(); });
}

// ---- Groups, pages and the signal-flow picture ------------------------------------

int CZARDocumentView::editorGroup() const { return m_groups->currentIndex(); }

void CZARDocumentView::showEditorGroup(int group)
{
    if (group < 0 || group >= GroupCount) return;
    m_groups->setCurrentIndex(group);
    const int set = group == CrossoverGroup ? CrossoverDiagrams : EqDiagrams;
    m_magnitudeStack->setCurrentIndex(set);
    m_phaseStack->setCurrentIndex(set);
    updatePageEnabling();
    refreshDiagrams();
}

void CZARDocumentView::updatePageEnabling()
{
    const int group = m_groups->currentIndex();
    const bool frequency = group == EqGroup || group == CrossoverGroup;
    m_mainTabs->setTabEnabled(MagnitudePage, frequency);
    m_mainTabs->setTabEnabled(PhasePage, frequency);
    m_mainTabs->setTabEnabled(DynamikPage, group == DynamicsGroup);
    if (!m_mainTabs->isTabEnabled(m_mainTabs->currentIndex())) m_mainTabs->setCurrentIndex(SignalflowPage);
}

void CZARDocumentView::onBlockClicked(int kind, int channel)
{
    const int output = channel - preset::kFirstOutput;
    switch (static_cast<panels::BlockKind>(kind)) {
    case panels::BlockKind::Gain:
        showEditorGroup(FaderGroup);
        if (channel >= 0 && channel < preset::kChannelCount)
            m_faders[static_cast<std::size_t>(channel)]->slider()->setFocus(Qt::OtherFocusReason);
        break;
    case panels::BlockKind::Delay:
        showEditorGroup(DelayGroup);
        if (QWidget *field = m_delayPanel->delayField(channel)) field->setFocus(Qt::OtherFocusReason);
        break;
    case panels::BlockKind::Peq:
        m_eqTabs->setCurrentIndex(channel);
        showEditorGroup(EqGroup);
        m_mainTabs->setCurrentIndex(MagnitudePage);
        break;
    case panels::BlockKind::Crossover:
        m_crossoverTabs->setCurrentIndex(output);
        showEditorGroup(CrossoverGroup);
        m_mainTabs->setCurrentIndex(MagnitudePage);
        break;
    case panels::BlockKind::Dynamics:
        m_dynamicsTabs->setCurrentIndex(output);
        showEditorGroup(DynamicsGroup);
        m_mainTabs->setCurrentIndex(DynamikPage);
        break;
    }
}

void CZARDocumentView::selectionChanged()
{
    if (m_refreshing) return;
    refreshDiagrams();
}

// ---- Refreshing ---------------------------------------------------------------------

void CZARDocumentView::refreshSummary()
{
    m_editStart.reset();
    m_undo->clear();
    if (const CZARDocument *doc = zarDocument())
        m_muteAll->setText(model::AllOutputsMuted(doc->presets.currentRecord()) ? tr("UnMute All") : tr("Mute All"));
    refreshControls();
}

void CZARDocumentView::refreshControls()
{
    const CZARDocument *doc = zarDocument();
    if (!doc) return;
    const PresetRecord &r = doc->presets.currentRecord();
    m_refreshing = true;
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        editors::CGainSlider *fader = m_faders[static_cast<std::size_t>(ch)];
        const QString name = channelName(r, ch);
        fader->setChannelName(name);
        if (ch < preset::kInputCount) {
            const preset::InputChannel &in = r.inputs[static_cast<std::size_t>(ch)];
            fader->setGain(in.GAIN);
            fader->setMuted(in.MUTE != 0);
        } else {
            const preset::OutputChannel &out = outputAt(r, ch - preset::kFirstOutput);
            fader->setGain(out.GAIN);
            fader->setMuted(out.MUTE != 0);
            fader->setPhaseInverted(out.PHASE != 0.0f);
            const int o = ch - preset::kFirstOutput;
            m_crossoverEditors[static_cast<std::size_t>(o)]->setOutput(out);
            m_dynamicsEditors[static_cast<std::size_t>(o)]->setDynamics(out.DYNAMIC);
            m_gateEditors[static_cast<std::size_t>(o)]->setNoiseGate(out.NOISEGATE);
            m_crossoverTabs->setTabText(o, name);
            m_dynamicsTabs->setTabText(o, name);
        }
        m_eqEditors[static_cast<std::size_t>(ch)]->setBands(ch < preset::kInputCount
                                                                ? r.inputs[static_cast<std::size_t>(ch)].PEQ
                                                                : outputAt(r, ch - preset::kFirstOutput).PEQ);
        m_eqTabs->setTabText(ch, name);
    }
    m_delayPanel->setRecord(r);
    m_infoBox->setRecord(r);
    m_signalFlow->setRecord(r);
    m_refreshing = false;
    refreshLock();
    refreshDiagrams();
    refreshToolTips();
}

void CZARDocumentView::refreshDiagrams()
{
    const CZARDocument *doc = zarDocument();
    if (!doc) return;
    const PresetRecord &r = doc->presets.currentRecord();
    // Only what can be seen is drawn again; a page that comes into view is
    // brought up to date by the page change.
    const int page = m_mainTabs->currentIndex();
    const int group = m_groups->currentIndex();
    const std::array<int, 5> selection{page, group, m_eqTabs->currentIndex(), m_crossoverTabs->currentIndex(),
                                       m_dynamicsTabs->currentIndex()};
    const PresetRecord drawn = drawnPart(r);
    if (m_drawnRecord && selection == m_drawnSelection && preset::sameFields(*m_drawnRecord, drawn)) return;
    m_drawnRecord = drawn;
    m_drawnSelection = selection;
    if (page == MagnitudePage || page == PhasePage) {
        if (group == CrossoverGroup) {
            const int selected = std::max(0, m_crossoverTabs->currentIndex());
            diagrams::OutputRecords outputs = diagrams::OutputsOf(r, selected);
            // The user's choice of shown outputs stays; the lock follows the
            // selection.
            const diagrams::OutputRecords &old = m_crossMagnitude->outputs();
            for (std::size_t o = 0; o < outputs.size(); ++o) outputs[o].shown = old[o].shown;
            m_crossMagnitude->setOutputs(outputs);
            m_crossPhase->setOutputs(outputs);
            m_crossPhase->setOptions(m_crossMagnitude->options());
            m_crossMagnitude->redraw();
            m_crossPhase->redraw();
        } else {
            const diagrams::BandRecords bands = diagrams::BandsOf(r, std::max(0, m_eqTabs->currentIndex()));
            m_eqMagnitude->setBands(bands);
            m_eqPhase->setBands(bands);
            m_eqMagnitude->redraw();
            m_eqPhase->redraw();
        }
    }
    const int output = std::max(0, m_dynamicsTabs->currentIndex());
    if (page == DynamikPage) {
        m_dynamics->setDynamics(diagrams::DynamicsOf(r, output));
        m_dynamics->redraw();
    }
    m_calculator->setDynamics(outputAt(r, output).DYNAMIC);
}

void CZARDocumentView::refreshToolTips()
{
    const CZARDocument *doc = zarDocument();
    if (!doc) return;
    const PresetRecord &r = doc->presets.currentRecord();
    QStringList gain[2], delay[2], peq[2], xover, dyn;
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const bool out = ch >= preset::kFirstOutput;
        const QString name = channelName(r, ch);
        const float g = out ? outputAt(r, ch - preset::kFirstOutput).GAIN : r.inputs[static_cast<std::size_t>(ch)].GAIN;
        gain[out] << QStringLiteral("Gain  %1 : %2 dB").arg(name).arg(static_cast<double>(g), 0, 'f', 1);
        delay[out] << QStringLiteral("Delay  %1 : %2 %3")
                          .arg(name)
                          .arg(m_delayPanel->shownDelay(ch), 0, 'f', 1)
                          .arg(m_delayPanel->unitText(ch));
        const auto &bands =
            out ? outputAt(r, ch - preset::kFirstOutput).PEQ : r.inputs[static_cast<std::size_t>(ch)].PEQ;
        const auto active = std::count_if(bands.begin(), bands.end(), preset::isBandOn);
        const QString peqLine = out ? QStringLiteral("PEQ  %1 : %2 activate") : QStringLiteral("PEQ  %1 : %2 active");
        peq[out] << peqLine.arg(name).arg(active);
        if (!out) continue;
        const preset::OutputChannel &o = outputAt(r, ch - preset::kFirstOutput);
        const QString lc = preset::isLowCutOn(o.lowCut) ? QStringLiteral("%1 Hz").arg(o.lowCut.FREQUENCY)
                                                        : QStringLiteral("Bypass");
        const QString hc = preset::isHighCutOn(o.highCut) ? QStringLiteral("%1 Hz").arg(o.highCut.FREQUENCY)
                                                          : QStringLiteral("Bypass");
        xover << QStringLiteral("XOver  %1 : LC %2, HC %3").arg(name, lc, hc);
        static const char *const kDynTypes[] = {"Bypass", "Limiter", "Compressor"};
        if (o.DYNAMIC.TYPE < 3) {
            const double threshold = o.NOISEGATE.THRESHOLD;
            const QString gate = preset::isNoiseGateOn(o.NOISEGATE)
                                     ? QStringLiteral(", Gate %1 dB").arg(threshold, 0, 'f', 0)
                                     : QStringLiteral(", Bypass");
            dyn << QStringLiteral("Dynamik/Gate  %1 : %2%3").arg(name, QLatin1String(kDynTypes[o.DYNAMIC.TYPE]), gate);
        }
    }
    const QString eol = QStringLiteral("\r\n");
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const bool out = ch >= preset::kFirstOutput;
        const auto tip = [&](panels::BlockKind kind, const QString &text) {
            if (QAbstractButton *b = m_signalFlow->block(kind, ch)) b->setToolTip(text);
        };
        tip(panels::BlockKind::Gain, gain[out].join(eol));
        tip(panels::BlockKind::Delay, delay[out].join(eol));
        tip(panels::BlockKind::Peq, peq[out].join(eol));
        m_faders[static_cast<std::size_t>(ch)]->setToolTip(gain[out].join(eol));
        if (!out) continue;
        tip(panels::BlockKind::Crossover, xover.join(eol));
        tip(panels::BlockKind::Dynamics, dyn.join(eol));
    }
}

void CZARDocumentView::refreshLock()
{
    const CZARDocument *doc = zarDocument();
    const bool locked = doc && preset::isLocked(doc->presets.currentRecord().PRESET_FLAGS);
    for (editors::CGainSlider *f : m_faders) f->setEnabled(!locked);
    m_muteAll->setEnabled(!locked);
    m_stereoLink->setEnabled(!locked);
    m_delayPanel->setEnabled(!locked);
    for (auto *e : m_eqEditors) e->setEnabled(!locked);
    for (auto *e : m_crossoverEditors) e->setEnabled(!locked);
    for (auto *e : m_dynamicsEditors) e->setEnabled(!locked);
    for (auto *e : m_gateEditors) e->setEnabled(!locked);
    for (int o = preset::kFirstOutput; o < preset::kChannelCount; ++o)
        for (std::uint32_t src = 0; src < preset::kInputCount; ++src)
            if (QAbstractButton *b = m_signalFlow->routeSelector(o, src)) b->setEnabled(!locked);
    // A marker drag is an edit too; the read-outs go with it while locked.
    m_eqMagnitude->setAttribute(Qt::WA_TransparentForMouseEvents, locked);
    m_crossMagnitude->setAttribute(Qt::WA_TransparentForMouseEvents, locked);
    m_infoBox->setEditorsEnabled(!locked);
}

// ---- Edits ----------------------------------------------------------------------------

PresetRecord &CZARDocumentView::beginEdit()
{
    PresetRecord &r = zarDocument()->presets.currentRecord();
    if (!m_editStart) m_editStart = r;
    return r;
}

void CZARDocumentView::commitEdit(const QString &text, const WriteBatch &writes)
{
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    const PresetRecord &after = doc->presets.currentRecord();
    const PresetRecord before = m_editStart.value_or(after);
    m_editStart.reset();
    if (preset::sameFields(before, after) && writes.empty()) return;
    m_undo->push(new ZarRecordEdit(this, doc->presets.current(), before, after, writes, text));
}

void CZARDocumentView::commitFieldEdit(const QString &text)
{
    const CZARDocument *doc = zarDocument();
    if (!doc) return;
    const PresetRecord &after = doc->presets.currentRecord();
    commitEdit(text, model::ChangedFieldWrites(m_editStart.value_or(after), after));
}

void CZARDocumentView::editDone(const WriteBatch &writes)
{
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    // Keep the other controls in step without taking the focus from the
    // one being used: the silent setters emit nothing.
    refreshControls();
    doc->setModifiedFlag(true);
    doc->setDeviceModified(true);
    sendWrites(writes);
}

void CZARDocumentView::restoreRecord(int slot, const PresetRecord &record, const WriteBatch &writes)
{
    CZARDocument *doc = zarDocument();
    if (!doc || slot < 0 || slot >= preset::kPresetCount) return;
    m_editStart.reset();
    doc->presets.records[static_cast<std::size_t>(slot)] = record;
    if (slot != doc->presets.current()) {
        // The unit plays the current slot; another one only changes here.
        doc->setModifiedFlag(true);
        return;
    }
    editDone(writes);
}

bool CZARDocumentView::writesGoOut() const
{
    return m_link && m_connState == ConnectionState::Connected && m_link->acceptsWrites();
}

void CZARDocumentView::sendWrites(const WriteBatch &writes)
{
    if (!writesGoOut()) return;
    for (const model::ParameterWrite &w : writes) {
        m_link->postTransaction(w.code, w.address, w.value);
        Q_EMIT parameterWritten(w.code, w.address, w.value);
    }
}

void CZARDocumentView::onFaderChanging(int channel, float gain)
{
    if (m_refreshing) return;
    model::ApplyFader(beginEdit(), channel, FaderChange::Gain, gain, isStereoLinked());
    if (const auto partner = isStereoLinked() ? model::StereoPartner(channel) : std::nullopt)
        m_faders[static_cast<std::size_t>(*partner)]->setGain(gain);
    m_signalFlow->setRecord(zarDocument()->presets.currentRecord());
    refreshToolTips();
}

void CZARDocumentView::onFaderEdit(int channel, FaderChange change, float value)
{
    if (m_refreshing) return;
    const bool link = isStereoLinked();
    model::ApplyFader(beginEdit(), channel, change, value, link);
    const WriteBatch writes = model::FaderWrites(zarDocument()->presets.currentRecord(), channel, change, link);
    commitEdit(change == FaderChange::Gain ? tr("Gain") : change == FaderChange::Mute ? tr("Mute") : tr("Phase"),
               writes);
}

void CZARDocumentView::onMuteAll()
{
    if (m_refreshing) return;
    // The caption says which way the button goes.
    const bool mute = m_muteAll->text() == tr("Mute All");
    const WriteBatch writes = model::ApplyMuteAll(beginEdit(), mute);
    m_muteAll->setText(mute ? tr("UnMute All") : tr("Mute All"));
    commitEdit(mute ? tr("Mute All") : tr("UnMute All"), writes);
}

bool CZARDocumentView::isStereoLinked() const { return m_stereoLink && m_stereoLink->isChecked(); }

void CZARDocumentView::onStereoLinkToggled(bool on)
{
    if (m_refreshing || !on || !zarDocument()) return;
    const WriteBatch writes = model::ApplyStereoLinkEngage(beginEdit());
    if (model::AllOutputsMuted(zarDocument()->presets.currentRecord())) m_muteAll->setText(tr("UnMute All"));
    commitEdit(tr("Stereo-Link"), writes);
}

void CZARDocumentView::onRouteChosen(int channel, std::uint32_t route)
{
    if (m_refreshing || channel < preset::kFirstOutput || channel >= preset::kChannelCount) return;
    outputAt(beginEdit(), channel - preset::kFirstOutput).ROUTE = route;
    commitFieldEdit(tr("Route"));
}

void CZARDocumentView::onDiagramNotification(QWidget *sender, int, int code, int item)
{
    if (!zarDocument()) return;
    if (sender == m_eqMagnitude && (code == diagrams::kEqDragMove || code == diagrams::kEqDragEnd)) {
        const int channel = std::max(0, m_eqTabs->currentIndex());
        PresetRecord &r = beginEdit();
        auto &bands = bandsOf(r, channel);
        const diagrams::BandRecords &dragged = m_eqMagnitude->bands();
        for (std::size_t b = 0; b < bands.size(); ++b) {
            bands[b].FREQUENCY = static_cast<std::uint32_t>(std::max(0.0f, dragged[b].frequency));
            bands[b].GAIN = dragged[b].gain;
        }
        if (code == diagrams::kEqDragEnd) {
            (void)item;
            commitFieldEdit(tr("Equalizer band"));
            return;
        }
        m_refreshing = true;
        m_eqEditors[static_cast<std::size_t>(channel)]->setBands(bands);
        m_refreshing = false;
        m_eqPhase->setBands(dragged);
        m_eqPhase->redraw();
        return;
    }
    if (sender == m_crossMagnitude && (code == diagrams::kCrossoverDragMove || code == diagrams::kCrossoverDragEnd)) {
        PresetRecord &r = beginEdit();
        const diagrams::OutputRecords &dragged = m_crossMagnitude->outputs();
        for (int o = 0; o < preset::kOutputCount; ++o) {
            const auto &values = dragged[static_cast<std::size_t>(o)].crossover.values;
            outputAt(r, o).highCut.FREQUENCY = static_cast<std::uint32_t>(std::max(0.0f, values[1]));
            outputAt(r, o).lowCut.FREQUENCY = static_cast<std::uint32_t>(std::max(0.0f, values[4]));
        }
        if (code == diagrams::kCrossoverDragEnd) {
            commitFieldEdit(tr("Crossover"));
            return;
        }
        m_refreshing = true;
        for (int o = 0; o < preset::kOutputCount; ++o)
            m_crossoverEditors[static_cast<std::size_t>(o)]->setOutput(outputAt(r, o));
        m_refreshing = false;
        m_crossPhase->setOutputs(dragged);
        m_crossPhase->redraw();
    }
}
