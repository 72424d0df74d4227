#include "ChildFrame.h"

#include "ZARDocument.h"
#include "ZARDocumentView.h"

#include "zar40/preset/factory_layouts.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

QLabel *pane(const QString &name, const QString &widthOf, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widthOf) + 2 * label->frameWidth() + 6);
    return label;
}

} // namespace

CChildFrame::CChildFrame() = default;

CChildFrame::~CChildFrame() = default;

void CChildFrame::onCreateClient(CView *view)
{
    CMDIChildWnd::onCreateClient(view);
    m_statusBar = placeViewAboveStatusBar(view);
    m_deviceName = pane(QStringLiteral("deviceNamePane"), QStringLiteral("MMMMMMMMMMMMMMMM"), m_statusBar);
    m_deviceNumber = pane(QStringLiteral("deviceNumberPane"), QStringLiteral("  K000000 "), m_statusBar);
    m_information = pane(QStringLiteral("informationPane"), QStringLiteral("Connected, reading preset"), m_statusBar);
    m_localState = pane(QStringLiteral("localStatePane"), QStringLiteral("Local modified"), m_statusBar);
    m_deviceState = pane(QStringLiteral("deviceStatePane"), QStringLiteral("ZAR modified"), m_statusBar);
    m_statusBar->addWidget(m_information, 1);
    for (QLabel *p : {m_deviceName, m_deviceNumber, m_localState, m_deviceState})
        m_statusBar->addPermanentWidget(p);

    if (auto *zarView = qobject_cast<CZARDocumentView *>(view)) {
        connect(zarView, &CZARDocumentView::closeReady, this, &QWidget::close, Qt::QueuedConnection);
        connect(zarView, &CZARDocumentView::statusChanged, this, &CChildFrame::updateStatus);
        connect(zarView, &CZARDocumentView::levelPanelShown, this, [this](bool shown) {
            // A maximised frame stays as the user made it; the size is for
            // the normal frame.
            const QSize size = shown ? kSizeWithLevels : kSize;
            const bool maximized = isMaximized();
            setMinimumSize(size);
            if (maximized) {
                if (!isMaximized()) showMaximized();
                return;
            }
            resize(size);
        });
        buildMenus();
    }
    setMinimumSize(kSize);
    resize(kSize);
    updateStatus();
}

void CChildFrame::buildMenus()
{
    auto *view = qobject_cast<CZARDocumentView *>(this->view());
    auto *file = new QMenu(tr("&Preset"), this);
    m_idleActions << file->addAction(tr("Open Preset"), view, &CZARDocumentView::onOpenPreset);
    file->addAction(tr("Save Preset"), view, &CZARDocumentView::onSavePreset);
    file->addSeparator();
    file->addAction(tr("&Close"), view, &CZARDocumentView::onClosePreset);

    auto *edit = new QMenu(tr("&Edit"), this);
    if (QUndoStack *stack = view->undoStack()) {
        QAction *undo = stack->createUndoAction(edit, tr("&Undo"));
        undo->setShortcut(QKeySequence::Undo);
        QAction *redo = stack->createRedoAction(edit, tr("&Redo"));
        redo->setShortcut(QKeySequence::Redo);
        edit->addAction(undo);
        edit->addAction(redo);
    }

    auto *tools = new QMenu(tr("&Tools"), this);
    m_idleActions << tools->addAction(tr("Copy Channel Setup"), view, &CZARDocumentView::onCopyChannelSetup);
    m_connectedActions << tools->addAction(tr("Devicesettings"), view, &CZARDocumentView::onDeviceSettings);
    tools->addSeparator();
    tools->addAction(tr("Load Measurement..."), view, &CZARDocumentView::onLoadMeasurement)
        ->setObjectName(QStringLiteral("loadMeasurementAction"));
    tools->addAction(tr("Clear Measurement"), view, &CZARDocumentView::onClearMeasurement)
        ->setObjectName(QStringLiteral("clearMeasurementAction"));
    QAction *normalise = tools->addAction(tr("Normalise Measurements"), view, &CZARDocumentView::onNormaliseMeasurements);
    normalise->setObjectName(QStringLiteral("normaliseMeasurementsAction"));
    normalise->setCheckable(true);
    normalise->setChecked(true);
    QAction *fit = tools->addAction(tr("Fit EQ..."), view, &CZARDocumentView::onFitEq);
    fit->setObjectName(QStringLiteral("fitEqAction"));
    m_idleActions << fit;
    tools->addSeparator();
    tools->addAction(tr("Units on the Bus..."), view, &CZARDocumentView::onUnitsWindow)
        ->setObjectName(QStringLiteral("unitsWindowAction"));
    QAction *firmware = tools->addAction(tr("Firmware Update"), view, &CZARDocumentView::onFirmwareUpdate);
    firmware->setObjectName(QStringLiteral("firmwareUpdateAction"));
    m_idleActions << firmware;

    auto *quick = new QMenu(tr("&Quick Setup"), this);
    const auto layouts = zar40::preset::factoryLayouts();
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const int index = static_cast<int>(i);
        m_idleActions << quick->addAction(QString::fromLatin1(zar40::preset::factoryLayoutName(layouts[i])), view,
                                          [view, index] { view->onQuickSetup(index); });
    }
    // Listed so users know they are planned; there is no layout behind them.
    for (const char *name : {"3 Way Stereo", "3 Way Stereo w. mono Bass"})
        quick->addAction(QString::fromLatin1(name))->setEnabled(false);

    auto *help = new QMenu(tr("ZAR40 &Help"), this);
    help->addAction(tr("Help Topics"), view, &CZARDocumentView::onHelpTopics);
    help->addAction(tr("&About ZAR40-Plugin..."), view, &CZARDocumentView::onAbout);

    m_menus = {file, edit, tools, quick, help};
}

QList<QMenu *> CChildFrame::documentMenus()
{
    return m_menus;
}

void CChildFrame::updateStatus()
{
    auto *zarView = qobject_cast<CZARDocumentView *>(view());
    if (!zarView || !m_statusBar) return;
    m_deviceName->setText(zarView->deviceNamePaneText());
    m_deviceNumber->setText(zarView->deviceNumberPaneText());
    m_information->setText(zarView->informationPaneText());
    m_localState->setText(zarView->localStatePaneText());
    m_deviceState->setText(zarView->deviceStatePaneText());
    const bool idle = !zarView->isBusy();
    for (QAction *a : std::as_const(m_idleActions))
        a->setEnabled(idle);
    for (QAction *a : std::as_const(m_connectedActions))
        a->setEnabled(idle && zarView->isConnected());
}

void CChildFrame::closeEvent(QCloseEvent *event)
{
    auto *zarView = qobject_cast<CZARDocumentView *>(view());
    if (zarView && zarView->disconnectForClose()) {
        event->ignore();
        return;
    }
    CMDIChildWnd::closeEvent(event);
}
