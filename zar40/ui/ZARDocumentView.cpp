// The editors of the view: faders, delay, equalizer, crossover, dynamics,
// preset information, the signal-flow picture and the response diagrams.
// They show the session's current preset and hand each gesture to it.
#include "ZARDocumentView.h"

#include "ZARDocument.h"

#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "user_prompts.h"

#include "zar40/ui/diagrams/diagrams.h"
#include "zar40/dsp/dynamics.h"
#include "zar40/diagrams/from_preset.h"
#include "zar40/preset/fields.h"
#include "zar40/ui/editors/CrossoverEditor.h"
#include "zar40/ui/editors/dynamics_editors.h"
#include "zar40/ui/editors/eq_editors.h"
#include "zar40/ui/editors/GainSlider.h"
#include "zar40/ui/panels/CalculatorPanel.h"
#include "zar40/ui/panels/DelayPanel.h"
#include "zar40/ui/panels/PresetInfoBox.h"
#include "zar40/ui/panels/SignalFlow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

using namespace zar40;
using editor::EditorSession;
using model::FaderChange;
using preset::PresetRecord;
using Step = EditorSession::EditStep;

namespace {

enum EditorGroup : int { FaderGroup = 0, DelayGroup, EqGroup, CrossoverGroup, DynamicsGroup, InfoGroup, GroupCount };
enum MainPage : int { SignalflowPage = 0, MagnitudePage, PhasePage, DynamikPage };
// The diagram stacks of the magnitude and phase pages.
enum DiagramSet : int { EqDiagrams = 0, CrossoverDiagrams = 1 };

const preset::OutputChannel &outputAt(const PresetRecord &r, int output)
{
    return r.outputs[static_cast<std::size_t>(output)];
}

const std::array<preset::EqBand, preset::kBandCount> &bandsOf(const PresetRecord &r, int channel)
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

std::string latin1(const QString &text) { return text.toLatin1().toStdString(); }

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
    // The text changes with every mouse move; at a fixed size the label asks
    // no layout above it for room, so only the label itself repaints, not
    // the frame and its scroll bars.
    const QFontMetrics metrics = readOut->fontMetrics();
    readOut->setFixedSize(metrics.horizontalAdvance(QStringLiteral(" Input -888 dBu, Output -888 dBu ")),
                          metrics.height());
    QObject::connect(diagram, &diagrams::ResponseDiagram::readOutChanged, readOut, &QLabel::setText);
    layout->addWidget(diagram, 1);
    layout->addWidget(readOut, 0, Qt::AlignLeft);
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

// A crossover diagram's outputs with the user's choice of shown outputs.
diagrams::OutputRecords withChoice(diagrams::OutputRecords outputs, const editor::CrossoverChoice &choice)
{
    for (std::size_t o = 0; o < outputs.size(); ++o) outputs[o].shown = choice.shown[o];
    return outputs;
}

editor::CrossoverChoice choiceOf(const diagrams::CrossoverDiagram &diagram)
{
    editor::CrossoverChoice choice;
    for (std::size_t o = 0; o < choice.shown.size(); ++o) choice.shown[o] = diagram.outputs()[o].shown;
    choice.peq = diagram.options().peq;
    choice.result = diagram.options().result;
    return choice;
}

} // namespace

CZARDocumentView::CZARDocumentView()
{
    setObjectName(QStringLiteral("CZARDocumentView"));
    setAutoFillBackground(true);

    m_toolTipTimer.setSingleShot(true);
    m_toolTipTimer.setInterval(250);
    connect(&m_toolTipTimer, &QTimer::timeout, this, &CZARDocumentView::showToolTips);

    QWidget *connectionBar = buildConnectionBar();
    buildEditors();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(connectionBar);
    layout->addWidget(m_editorArea, 1);
}

CZARDocumentView::~CZARDocumentView()
{
    // The session may outlive this view for a moment (the document goes
    // with the last frame): it must not ask a view that is gone.
    if (m_session) m_session->setPrompts(nullptr);
}

CZARDocument *CZARDocumentView::zarDocument() const
{
    return qobject_cast<CZARDocument *>(document());
}

EditorSession *CZARDocumentView::session() const
{
    if (m_session) return m_session.data();
    CZARDocument *doc = zarDocument();
    return doc ? &doc->session() : nullptr;
}

void CZARDocumentView::onInitialUpdate()
{
    CView::onInitialUpdate();
    bindSession();
    showCycleState();
    showPresetList();
    showRecord(EditorSession::RecordChange::Replaced);
}

void CZARDocumentView::onUpdate(CView *sender, int hint)
{
    CView::onUpdate(sender, hint);
    if (EditorSession *s = session()) s->currentRecordReplaced();
}

void CZARDocumentView::bindSession()
{
    if (m_session) return;
    CZARDocument *doc = zarDocument();
    if (!doc) return;
    EditorSession *s = &doc->session();
    m_session = s;
    s->setPrompts(this);
    connect(s, &EditorSession::currentRecordChanged, this, &CZARDocumentView::showRecord);
    connect(s, &EditorSession::presetListChanged, this, &CZARDocumentView::showPresetList);
    connect(s, &EditorSession::selectionChanged, this, &CZARDocumentView::showSelection);
    connect(s, &EditorSession::stereoLinkChanged, this, [this](bool on) {
        const QSignalBlocker block(m_stereoLink);
        m_stereoLink->setChecked(on);
    });
    connect(s, &EditorSession::cycleStateChanged, this, &CZARDocumentView::showCycleState);
    connect(s, &EditorSession::modifiedChanged, this, &CZARDocumentView::statusChanged);
    connect(s, &EditorSession::statusTextChanged, this, [this](const QString &text) {
        m_status->setText(text);
        emit statusChanged();
    });
    connect(s, &EditorSession::closeReady, this, &CZARDocumentView::closeReady);
    connect(s, &EditorSession::parameterWritten, this, &CZARDocumentView::parameterWritten);
    connect(s, &EditorSession::presetFileUsed, this, [this](const QString &path) {
        if (CZARDocument *doc = zarDocument(); doc && doc->docTemplate() && doc->docTemplate()->docManager())
            doc->docTemplate()->docManager()->noteFileUsed(path);
    });
    connect(s, &EditorSession::measurementsChanged, this, &CZARDocumentView::showMeasurements);
    wireConnectionBar();
    showMeasurements();
}

// ---- Building ---------------------------------------------------------------------

void CZARDocumentView::buildEditors()
{
    auto *area = new QSplitter(Qt::Vertical, this);
    m_editorArea = area;
    area->installEventFilter(this);
    area->setObjectName(QStringLiteral("editorArea"));
    area->setChildrenCollapsible(false);

    m_mainTabs = new QTabWidget(area);
    m_mainTabs->setObjectName(QStringLiteral("mainTabs"));
    m_mainTabs->setAccessibleName(tr("Main pages"));
    m_signalFlow = new panels::CSignalFlow;
    m_signalFlow->setObjectName(QStringLiteral("signalFlow"));
    m_mainTabs->addTab(m_signalFlow, tr("Signalflow"));
    buildDiagramPages();

    m_groups = new QStackedWidget;
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

    // A group that needs more room than the frame leaves it scrolls instead
    // of laying its controls over each other. Only the group on show asks
    // for room, so the faders are not held to the height the dynamics need.
    m_groupScroller = new QScrollArea;
    m_groupScroller->setObjectName(QStringLiteral("editorGroupScroller"));
    m_groupScroller->setAccessibleName(tr("Editor controls"));
    m_groupScroller->setFrameShape(QFrame::NoFrame);
    m_groupScroller->setWidgetResizable(true);
    m_groupScroller->setWidget(m_groups);

    area->addWidget(m_mainTabs);
    area->addWidget(m_groupScroller);
    // The faders need height to be usable; the picture and the diagrams
    // scale with whatever is left.
    area->setStretchFactor(0, 1);
    area->setStretchFactor(1, 1);

    wireEditors();
    showEditorGroup(FaderGroup);
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
    // Every gesture goes to the session; the widgets' setters are silent, so
    // showing the session's answer never comes back here as a gesture.
    const auto to = [this](auto &&call) {
        return [this, call](auto &&...args) {
            if (EditorSession *s = session()) call(*s, args...);
        };
    };
    for (editors::CGainSlider *fader : m_faders) {
        const int ch = fader->channel();
        connect(fader, &editors::CGainSlider::gainChanging, this,
                to([ch](EditorSession &s, float g) { s.setFader(ch, FaderChange::Gain, g, Step::Changing); }));
        connect(fader, &editors::CGainSlider::gainCommitted, this,
                to([ch](EditorSession &s, float g) { s.setFader(ch, FaderChange::Gain, g); }));
        connect(fader, &editors::CGainSlider::muteToggled, this,
                to([ch](EditorSession &s, bool m) { s.setFader(ch, FaderChange::Mute, m ? 1.0f : 0.0f); }));
        connect(fader, &editors::CGainSlider::phaseToggled, this,
                to([ch](EditorSession &s, bool inv) { s.setFader(ch, FaderChange::Phase, inv ? 1.0f : 0.0f); }));
    }
    connect(m_muteAll, &QPushButton::clicked, this, to([](EditorSession &s, bool) { s.muteAll(); }));
    // The session's own changes are shown with the signal blocked.
    connect(m_stereoLink, &QCheckBox::toggled, this, to([](EditorSession &s, bool on) { s.setStereoLink(on); }));

    // Delays: the panel reports the stored value (samples + 1).
    connect(m_delayPanel, &panels::CDelayPanel::delayChanging, this,
            to([](EditorSession &s, int ch, float stored) { s.setDelay(ch, stored, Step::Changing); }));
    connect(m_delayPanel, &panels::CDelayPanel::delayCommitted, this,
            to([](EditorSession &s, int ch, float stored) { s.setDelay(ch, stored, Step::Done); }));
    connect(m_delayPanel, &panels::CDelayPanel::displayUnitsChanged, this, [this] { showToolTips(); });

    for (editors::CEqChannelEditor *editor : m_eqEditors) {
        const int ch = editor->channel();
        connect(editor, &editors::CEqChannelEditor::bandChanging, this,
                to([ch](EditorSession &s, int band, const preset::EqBand &v) { s.setBand(ch, band, v, Step::Changing); }));
        connect(editor, &editors::CEqChannelEditor::bandCommitted, this,
                to([ch](EditorSession &s, int band, const preset::EqBand &v) { s.setBand(ch, band, v, Step::Done); }));
    }
    for (editors::CCrossoverEditor *editor : m_crossoverEditors) {
        const int o = editor->output();
        connect(editor, &editors::CCrossoverEditor::filterChanging, this,
                to([o](EditorSession &s, model::CrossoverSide side, const preset::CrossoverFilter &f) {
                    s.setCrossover(o, side, f, Step::Changing);
                }));
        connect(editor, &editors::CCrossoverEditor::filterCommitted, this,
                to([o](EditorSession &s, model::CrossoverSide side, const preset::CrossoverFilter &f) {
                    s.setCrossover(o, side, f, Step::Done);
                }));
    }
    for (int o = 0; o < preset::kOutputCount; ++o) {
        editors::CDynamicsEditor *dyn = m_dynamicsEditors[static_cast<std::size_t>(o)];
        connect(dyn, &editors::CDynamicsEditor::dynamicsChanging, this,
                to([o](EditorSession &s, const preset::Dynamics &d) { s.setDynamics(o, d, Step::Changing); }));
        connect(dyn, &editors::CDynamicsEditor::dynamicsCommitted, this,
                to([o](EditorSession &s, const preset::Dynamics &d) { s.setDynamics(o, d, Step::Done); }));
        editors::CNoiseGateEditor *gate = m_gateEditors[static_cast<std::size_t>(o)];
        connect(gate, &editors::CNoiseGateEditor::noiseGateChanging, this,
                to([o](EditorSession &s, const preset::NoiseGate &g) { s.setNoiseGate(o, g, Step::Changing); }));
        connect(gate, &editors::CNoiseGateEditor::noiseGateCommitted, this,
                to([o](EditorSession &s, const preset::NoiseGate &g) { s.setNoiseGate(o, g, Step::Done); }));
    }

    // Texts and the lock.
    connect(m_infoBox, &panels::CPresetInfoBox::nameEdited, this,
            to([](EditorSession &s, const QString &text) { s.setPresetName(latin1(text)); }));
    connect(m_infoBox, &panels::CPresetInfoBox::authorEdited, this,
            to([](EditorSession &s, const QString &text) { s.setAuthor(latin1(text)); }));
    connect(m_infoBox, &panels::CPresetInfoBox::channelNameEdited, this,
            to([](EditorSession &s, int ch, const QString &text) { s.setChannelName(ch, latin1(text)); }));
    connect(m_infoBox, &panels::CPresetInfoBox::lockToggled, this,
            to([](EditorSession &s, bool locked) { s.setLocked(locked); }));

    connect(m_signalFlow, &panels::CSignalFlow::blockClicked, this,
            [this](panels::BlockKind kind, int channel) { onBlockClicked(static_cast<int>(kind), channel); });
    connect(m_signalFlow, &panels::CSignalFlow::routeChosen, this,
            to([](EditorSession &s, int channel, std::uint32_t route) { s.setRoute(channel, route); }));
    connect(m_signalFlow, &panels::CSignalFlow::infoRequested, this, [this] { showEditorGroup(InfoGroup); });

    for (diagrams::ResponseDiagram *d : {static_cast<diagrams::ResponseDiagram *>(m_eqMagnitude),
                                         static_cast<diagrams::ResponseDiagram *>(m_crossMagnitude)})
        connect(d, &diagrams::ResponseDiagram::notification, this, &CZARDocumentView::onDiagramNotification);
    for (diagrams::ResponseDiagram *d : {static_cast<diagrams::ResponseDiagram *>(m_eqMagnitude),
                                         static_cast<diagrams::ResponseDiagram *>(m_eqPhase),
                                         static_cast<diagrams::ResponseDiagram *>(m_crossMagnitude),
                                         static_cast<diagrams::ResponseDiagram *>(m_crossPhase),
                                         static_cast<diagrams::ResponseDiagram *>(m_dynamics)})
        connect(d, &diagrams::ResponseDiagram::imageFailed, this, &CZARDocumentView::onDiagramImageFailed);
    for (diagrams::CrossoverDiagram *d : {static_cast<diagrams::CrossoverDiagram *>(m_crossMagnitude),
                                          static_cast<diagrams::CrossoverDiagram *>(m_crossPhase)})
        connect(d, &diagrams::CrossoverDiagram::choicesChanged, this, [this, d] { crossoverChoiceMade(d); });

    for (QTabWidget *tabs : {m_eqTabs, m_crossoverTabs, m_dynamicsTabs})
        connect(tabs, &QTabWidget::currentChanged, this, [this] { tabsChanged(); });
    connect(m_mainTabs, &QTabWidget::currentChanged, this, [this] { showDiagrams(); });

    // The measurement commands on the diagrams' right mouse button too.
    const QList<QAction *> measurementActions = {
        new QAction(tr("Load Measurement..."), this), new QAction(tr("Clear Measurement"), this),
        new QAction(tr("Fit EQ..."), this)};
    connect(measurementActions[0], &QAction::triggered, this, &CZARDocumentView::onLoadMeasurement);
    connect(measurementActions[1], &QAction::triggered, this, &CZARDocumentView::onClearMeasurement);
    connect(measurementActions[2], &QAction::triggered, this, &CZARDocumentView::onFitEq);
    m_eqMagnitude->setExtraMenuActions(measurementActions);
    m_eqPhase->setExtraMenuActions(measurementActions);
    m_crossMagnitude->setExtraMenuActions(measurementActions);
    m_crossPhase->setExtraMenuActions(measurementActions);
}

// ---- Groups, pages and the signal-flow picture ------------------------------------

int CZARDocumentView::editorGroup() const { return m_groups->currentIndex(); }

void CZARDocumentView::showEditorGroup(int group)
{
    if (group < 0 || group >= GroupCount) return;
    for (int i = 0; i < m_groups->count(); ++i) {
        const QSizePolicy::Policy policy = i == group ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        m_groups->widget(i)->setSizePolicy(policy, policy);
    }
    m_groups->setCurrentIndex(group);
    fitEditorGroup();
    const int set = group == CrossoverGroup ? CrossoverDiagrams : EqDiagrams;
    m_magnitudeStack->setCurrentIndex(set);
    m_phaseStack->setCurrentIndex(set);
    updatePageEnabling();
    showDiagrams();
}

void CZARDocumentView::fitEditorGroup()
{
    const QSize need = m_groups->currentWidget()->minimumSizeHint();
    int height = need.height();
    if (need.width() > m_groupScroller->width()) height += m_groupScroller->horizontalScrollBar()->sizeHint().height();
    const int room = m_editorArea->height() - m_editorArea->handleWidth() - m_mainTabs->minimumSizeHint().height();
    m_groupScroller->setMinimumHeight(std::clamp(room, 0, height));
}

bool CZARDocumentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editorArea && event->type() == QEvent::Resize) fitEditorGroup();
    return CView::eventFilter(watched, event);
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

// The user chose another channel tab: the diagrams follow the session.
void CZARDocumentView::tabsChanged()
{
    EditorSession *s = session();
    if (!s) return;
    editor::Selection selection = s->selection();
    selection.eqChannel = std::max(0, m_eqTabs->currentIndex());
    selection.crossoverOutput = std::max(0, m_crossoverTabs->currentIndex());
    selection.dynamicsOutput = std::max(0, m_dynamicsTabs->currentIndex());
    s->setSelection(selection);
}

void CZARDocumentView::crossoverChoiceMade(QObject *diagram)
{
    EditorSession *s = session();
    if (!s) return;
    editor::Selection selection = s->selection();
    if (diagram == m_crossMagnitude) selection.crossoverMagnitude = choiceOf(*m_crossMagnitude);
    else selection.crossoverPhase = choiceOf(*m_crossPhase);
    s->setSelection(selection);
}

void CZARDocumentView::showSelection()
{
    const EditorSession *s = session();
    if (!s) return;
    const editor::Selection &selection = s->selection();
    {
        const QSignalBlocker eq(m_eqTabs), crossover(m_crossoverTabs), dynamics(m_dynamicsTabs);
        m_eqTabs->setCurrentIndex(selection.eqChannel);
        m_crossoverTabs->setCurrentIndex(selection.crossoverOutput);
        m_dynamicsTabs->setCurrentIndex(selection.dynamicsOutput);
    }
    showDiagrams();
}

// ---- Showing the session ----------------------------------------------------------

void CZARDocumentView::showRecord(EditorSession::RecordChange change)
{
    const EditorSession *s = session();
    if (!s) return;
    m_muteAll->setText(s->muteAllCaption());
    if (change != EditorSession::RecordChange::Changing) {
        showControls();
        showLock();
        emit statusChanged();
    } else {
        // A drag or a typed value in progress: the control in use already
        // shows its value and is left alone; the controls that follow it (a
        // linked fader, the fields under a dragged marker) are brought along.
        // Hidden editors catch up when the edit is done.
        const PresetRecord &r = s->currentRecord();
        const int group = m_groups->currentIndex();
        for (int ch = 0; group == FaderGroup && ch < preset::kChannelCount; ++ch) {
            editors::CGainSlider *fader = m_faders[static_cast<std::size_t>(ch)];
            const float gain = ch < preset::kInputCount ? r.inputs[static_cast<std::size_t>(ch)].GAIN
                                                        : outputAt(r, ch - preset::kFirstOutput).GAIN;
            if (fader->gain() != gain) fader->setGain(gain);
        }
        m_signalFlow->setRecord(r);
        const auto sameBand = [](const preset::EqBand &a, const preset::EqBand &b) {
            return a.TYPE == b.TYPE && a.FREQUENCY == b.FREQUENCY && a.Q == b.Q && a.GAIN == b.GAIN;
        };
        if (group == EqGroup) {
            const int ch = s->selection().eqChannel;
            editors::CEqChannelEditor *eq = m_eqEditors[static_cast<std::size_t>(ch)];
            const auto shownBands = eq->bands();
            const auto &bands = bandsOf(r, ch);
            for (int b = 0; b < preset::kBandCount; ++b)
                if (!sameBand(shownBands[static_cast<std::size_t>(b)], bands[static_cast<std::size_t>(b)]))
                    eq->setBand(b, bands[static_cast<std::size_t>(b)]);
        }
        for (int o = 0; group == CrossoverGroup && o < preset::kOutputCount; ++o) {
            editors::CCrossoverEditor *editor = m_crossoverEditors[static_cast<std::size_t>(o)];
            for (const auto side : {model::CrossoverSide::HighCut, model::CrossoverSide::LowCut}) {
                const preset::CrossoverFilter &shown = editor->filter(side);
                const preset::CrossoverFilter &stored =
                    side == model::CrossoverSide::HighCut ? outputAt(r, o).highCut : outputAt(r, o).lowCut;
                if (shown.TYPE != stored.TYPE || shown.FREQUENCY != stored.FREQUENCY || shown.ORDER != stored.ORDER)
                    editor->setFilter(side, stored);
            }
        }
    }
    showDiagrams();
    // Each tool tip spells out every channel, and rebuilding them all cost a
    // third of a drag step; nobody reads a tool tip with the button held, so
    // during an edit they follow once the hand rests or lets go.
    if (change == EditorSession::RecordChange::Changing) {
        m_toolTipTimer.start();
    } else {
        m_toolTipTimer.stop();
        showToolTips();
    }
}

void CZARDocumentView::showControls()
{
    const EditorSession *s = session();
    if (!s) return;
    const PresetRecord &r = s->currentRecord();
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
        m_eqEditors[static_cast<std::size_t>(ch)]->setBands(bandsOf(r, ch));
        m_eqTabs->setTabText(ch, name);
    }
    {
        const QSignalBlocker block(m_stereoLink);
        m_stereoLink->setChecked(s->isStereoLinked());
    }
    m_delayPanel->setRecord(r);
    m_infoBox->setRecord(r);
    m_signalFlow->setRecord(r);
}

void CZARDocumentView::showDiagrams()
{
    const EditorSession *s = session();
    if (!s) return;
    const PresetRecord &r = s->currentRecord();
    const editor::Selection &selection = s->selection();
    // Only what can be seen is drawn again; a page that comes into view is
    // brought up to date by the page change.
    const int page = m_mainTabs->currentIndex();
    const int group = m_groups->currentIndex();
    const std::array<int, 2> pages{page, group};
    const PresetRecord drawn = drawnPart(r);
    if (m_drawnRecord && m_drawnSelection == selection && m_drawnPages == pages
        && preset::sameFields(*m_drawnRecord, drawn))
        return;
    m_drawnRecord = drawn;
    m_drawnSelection = selection;
    m_drawnPages = pages;
    if (page == MagnitudePage || page == PhasePage) {
        diagrams::CrossoverDiagram::Measurements outputs;
        for (int o = 0; o < preset::kOutputCount; ++o)
            outputs[static_cast<std::size_t>(o)] = m_measurements[static_cast<std::size_t>(preset::kFirstOutput + o)];
        const bool normalise = s->normalisesMeasurements();
        for (diagrams::CrossoverDiagram *d : {static_cast<diagrams::CrossoverDiagram *>(m_crossMagnitude),
                                              static_cast<diagrams::CrossoverDiagram *>(m_crossPhase)})
            d->setMeasurements(outputs, normalise);
        const auto eqChannel = static_cast<std::size_t>(selection.eqChannel);
        const QString name = s->measurementOf(selection.eqChannel) ? s->measurementOf(selection.eqChannel)->name : QString();
        for (diagrams::EqDiagram *d : {static_cast<diagrams::EqDiagram *>(m_eqMagnitude),
                                       static_cast<diagrams::EqDiagram *>(m_eqPhase)})
            d->setMeasurement(m_measurements[eqChannel], name, normalise);
        if (group == CrossoverGroup) {
            const diagrams::OutputRecords outputs = diagrams::outputsOf(r, selection.crossoverOutput);
            // Each diagram keeps the user's own choice of shown outputs and
            // curves; the lock follows the selection.
            m_crossMagnitude->setOutputs(withChoice(outputs, selection.crossoverMagnitude));
            m_crossMagnitude->setOptions({selection.crossoverMagnitude.peq, selection.crossoverMagnitude.result});
            m_crossPhase->setOutputs(withChoice(outputs, selection.crossoverPhase));
            m_crossPhase->setOptions({selection.crossoverPhase.peq, selection.crossoverPhase.result});
            m_crossMagnitude->redraw();
            m_crossPhase->redraw();
        } else {
            const diagrams::BandRecords bands = diagrams::bandRecordsOf(r, selection.eqChannel);
            m_eqMagnitude->setBands(bands);
            m_eqPhase->setBands(bands);
            m_eqMagnitude->redraw();
            m_eqPhase->redraw();
        }
    }
    if (page == DynamikPage) {
        m_dynamics->setDynamics(diagrams::dynamicsOf(r, selection.dynamicsOutput));
        m_dynamics->redraw();
    }
    m_calculator->setDynamics(outputAt(r, selection.dynamicsOutput).DYNAMIC);
}

void CZARDocumentView::showToolTips()
{
    const EditorSession *s = session();
    if (!s) return;
    const PresetRecord &r = s->currentRecord();
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
        const auto &bands = bandsOf(r, ch);
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
        const std::string_view type = dsp::dynamicsTypeName(o.DYNAMIC.TYPE);
        if (!type.empty()) {
            const double threshold = o.NOISEGATE.THRESHOLD;
            const QString gate = preset::isNoiseGateOn(o.NOISEGATE)
                                     ? QStringLiteral(", Gate %1 dB").arg(threshold, 0, 'f', 0)
                                     : QStringLiteral(", Bypass");
            dyn << QStringLiteral("Dynamik/Gate  %1 : %2%3")
                       .arg(name, QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size())), gate);
        }
    }
    const QString eol = QStringLiteral("\r\n");
    const QString gainTip[2]{gain[0].join(eol), gain[1].join(eol)};
    const QString delayTip[2]{delay[0].join(eol), delay[1].join(eol)};
    const QString peqTip[2]{peq[0].join(eol), peq[1].join(eol)};
    const QString xoverTip = xover.join(eol), dynTip = dyn.join(eol);
    // An unchanged text is not set again: setting one notifies the widget
    // and the accessibility layer.
    const auto setTip = [](QWidget *w, const QString &text) {
        if (w && w->toolTip() != text) w->setToolTip(text);
    };
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const bool out = ch >= preset::kFirstOutput;
        const auto tip = [&](panels::BlockKind kind, const QString &text) { setTip(m_signalFlow->block(kind, ch), text); };
        tip(panels::BlockKind::Gain, gainTip[out]);
        tip(panels::BlockKind::Delay, delayTip[out]);
        tip(panels::BlockKind::Peq, peqTip[out]);
        setTip(m_faders[static_cast<std::size_t>(ch)], gainTip[out]);
        if (!out) continue;
        tip(panels::BlockKind::Crossover, xoverTip);
        tip(panels::BlockKind::Dynamics, dynTip);
    }
}

void CZARDocumentView::showLock()
{
    const EditorSession *s = session();
    const bool locked = s && s->isLocked();
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

// ---- Gestures on the diagrams ---------------------------------------------------------

void CZARDocumentView::onDiagramNotification(QWidget *sender, int, int code, int)
{
    EditorSession *s = session();
    if (!s) return;
    if (sender == m_eqMagnitude && (code == diagrams::kEqDragMove || code == diagrams::kEqDragEnd)) {
        std::array<std::pair<std::uint32_t, float>, preset::kBandCount> markers{};
        const diagrams::BandRecords &dragged = m_eqMagnitude->bands();
        for (std::size_t b = 0; b < markers.size(); ++b)
            markers[b] = {static_cast<std::uint32_t>(std::max(0.0f, dragged[b].frequency)), dragged[b].gain};
        s->setBandMarkers(s->selection().eqChannel, markers,
                          code == diagrams::kEqDragEnd ? Step::Done : Step::Changing);
        return;
    }
    if (sender == m_crossMagnitude && (code == diagrams::kCrossoverDragMove || code == diagrams::kCrossoverDragEnd)) {
        std::array<std::pair<std::uint32_t, std::uint32_t>, preset::kOutputCount> markers{};
        const diagrams::OutputRecords &dragged = m_crossMagnitude->outputs();
        for (std::size_t o = 0; o < markers.size(); ++o) {
            const auto &values = dragged[o].crossover.values;
            markers[o] = {static_cast<std::uint32_t>(std::max(0.0f, values[1])),
                          static_cast<std::uint32_t>(std::max(0.0f, values[4]))};
        }
        s->setCrossoverMarkers(markers, code == diagrams::kCrossoverDragEnd ? Step::Done : Step::Changing);
    }
}

void CZARDocumentView::onDiagramImageFailed()
{
    // The diagram reports from inside its paint, where no message box may
    // run an event loop, so the message waits for the paint to end. Diagrams
    // that fail together (all of them at one window size), or while the
    // message is open, add no second one.
    if (m_imageFailurePending) return;
    m_imageFailurePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            UserPrompts::current().exclamation(QStringLiteral("Can't create Bitmap"), this);
            m_imageFailurePending = false;
        },
        Qt::QueuedConnection);
}

bool CZARDocumentView::isStereoLinked() const
{
    const EditorSession *s = session();
    return s && s->isStereoLinked();
}

bool CZARDocumentView::writesGoOut() const
{
    const EditorSession *s = session();
    return s && s->writesGoOut();
}

QUndoStack *CZARDocumentView::undoStack() const
{
    const EditorSession *s = session();
    return s ? s->undoStack() : nullptr;
}

int CZARDocumentView::measurementChannel() const
{
    const EditorSession *s = session();
    if (!s) return 0;
    return editorGroup() == CrossoverGroup ? preset::kFirstOutput + s->selection().crossoverOutput
                                           : s->selection().eqChannel;
}

void CZARDocumentView::showMeasurements()
{
    const EditorSession *s = session();
    if (!s) return;
    // Copied once here, then shared by the diagrams through every edit.
    for (int c = 0; c < preset::kChannelCount; ++c) {
        const auto &m = s->measurementOf(c);
        m_measurements[static_cast<std::size_t>(c)] =
            m ? std::make_shared<const zar40::measurement::Measurement>(m->data) : nullptr;
    }
    m_drawnRecord.reset();
    showDiagrams();
}
