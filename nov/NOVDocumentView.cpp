#include "NOVDocumentView.h"

#include "About.h"
#include "browser_module.h"
#include "NOVDocument.h"
#include "nov_strings.h"
#include "NovScanner.h"
#include "on_demand_module.h"
#include "user_prompts.h"
#include "window_tree.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QUrl>

namespace {

QFont arial(int weight)
{
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Helvetica"), QStringLiteral("Liberation Sans")});
    f.setPixelSize(14);
    f.setWeight(QFont::Weight(weight));
    return f;
}

template <class W>
W *withId(W *widget, int id, const char *name)
{
    WindowTree::setControlId(widget, id);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The browser engine is loaded with the first NOV window, not with the
// plug-in: most sessions never open one.
QWidget *createBrowser(QWidget *parent, QString *error)
{
    static NovCreateBrowserFunction *create = nullptr;
    if (!create)
        create = OnDemandModule::resolveFunction<NovCreateBrowserFunction>(
            reinterpret_cast<const void *>(&createBrowser), QStringLiteral(NOV_BROWSER_MODULE_FILE),
            NOV_BROWSER_CREATE_SYMBOL, error);
    return create ? create(parent) : nullptr;
}

} // namespace

CNOVDocumentView::CNOVDocumentView()
    : m_scanner(new NovScanner(this))
{
    setObjectName(QStringLiteral("CNOVDocumentView"));
    setAutoFillBackground(true);
    connect(m_scanner, &NovScanner::moduleAdded, this, &CNOVDocumentView::onModuleAdded);
    connect(m_scanner, &NovScanner::serialNumberRead, this, &CNOVDocumentView::onSerialNumberRead);
    connect(m_scanner, &NovScanner::offline, this, &CNOVDocumentView::onOffline);
    connect(m_scanner, &NovScanner::socketClosed, this, &CNOVDocumentView::onSocketClosed);
    connect(m_scanner, &NovScanner::failure, this, [this](const QString &message) {
        UserPrompts::current().information(message, this);
    });
}

CNOVDocumentView::~CNOVDocumentView() = default;

CNOVDocument *CNOVDocumentView::novDocument() const
{
    return qobject_cast<CNOVDocument *>(document());
}

int CNOVDocumentView::moduleCount() const
{
    return m_scanner->moduleCount();
}

int CNOVDocumentView::ownRequestsHeard() const
{
    return m_scanner->ownRequestsHeard();
}

void CNOVDocumentView::onInitialUpdate()
{
    CView::onInitialUpdate();
    if (!m_htmlCtrl)
        createControls();
    showPage(QUrl(QStringLiteral("qrc:/nov/START.HTM")));
    setStatus(novStrings().text(NovString::Offline, QStringLiteral("Offline")), QString());
}

void CNOVDocumentView::createControls()
{
    m_normalFont = arial(400);
    m_boldFont = arial(700);

    m_bar = withId(new QFrame(this), BarId, "bar");
    m_bar->setGeometry(0, 0, width(), kBarHeight);
    m_bar->setAutoFillBackground(true);

    m_scanButton = withId(new QPushButton(novStrings().text(NovString::Scan, QStringLiteral("Scan")), m_bar),
                          ScanButtonId, "scanButton");
    m_scanButton->setGeometry(QRect(QPoint(12, 9), QPoint(82, 31)).adjusted(0, 0, -1, -1));
    m_scanButton->setFont(m_normalFont);
    connect(m_scanButton, &QPushButton::clicked, this, &CNOVDocumentView::onScan);

    m_separator = withId(new QFrame(m_bar), SeparatorId, "separator");
    m_separator->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    m_separator->setGeometry(94, 2, 2, 36);

    m_label = withId(new QLabel(novStrings().text(NovString::Module, QStringLiteral("Modul")), m_bar), SeparatorId,
                     "moduleLabel");
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setGeometry(106, 9, 50, 22);
    m_label->setFont(m_boldFont);

    m_moduleList = withId(new QComboBox(m_bar), ModuleListId, "moduleList");
    m_moduleList->setGeometry(161, 9, kModuleListWidth, 22);
    m_moduleList->setFont(m_normalFont);
    m_moduleList->setMaxVisibleItems(8);
    m_moduleList->setEnabled(false);
    // Sized to the longest name in layoutControls; the whole name of the
    // chosen module is its tool tip, for when the bar is too narrow.
    m_moduleList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_moduleList, &QComboBox::activated, this, &CNOVDocumentView::showModule);
    connect(m_moduleList, &QComboBox::currentTextChanged, m_moduleList, &QWidget::setToolTip);

    m_logoIcon = withId(new QLabel(m_bar), LogoIconId, "logoIcon");
    m_logoIcon->setAlignment(Qt::AlignCenter);
    m_logoIcon->setPixmap(QIcon(QStringLiteral(":/nov/vrnlogo.svg")).pixmap(30, 30));

    QString error;
    QWidget *browser = createBrowser(this, &error);
    m_hasBrowser = browser != nullptr;
    if (!browser) {
        auto *note = new QLabel(tr("The browser cannot be shown.\n%1").arg(error), this);
        note->setWordWrap(true);
        note->setAlignment(Qt::AlignCenter);
        browser = note;
    }
    m_htmlCtrl = withId(browser, HtmlCtrlId, "htmlCtrl");
    layoutControls();
}

void CNOVDocumentView::resizeEvent(QResizeEvent *event)
{
    CView::resizeEvent(event);
    layoutControls();
}

void CNOVDocumentView::layoutControls()
{
    if (!m_htmlCtrl)
        return;
    const int cx = width();
    const int cy = height();
    m_bar->setGeometry(0, 0, cx, kBarHeight);
    m_logoIcon->setGeometry(cx - 35, 5, 30, 30);
    const int listRoom = qMax(kModuleListWidth, cx - 45 - m_moduleList->x());
    m_moduleList->resize(qBound(kModuleListWidth, m_moduleList->sizeHint().width(), listRoom), m_moduleList->height());
    // 50 below the top, 10 from the left and the bottom, 20 from the right.
    m_htmlCtrl->setGeometry(10, 50, qMax(0, cx - 30), qMax(0, cy - 60));
}

void CNOVDocumentView::onScan()
{
    m_moduleList->clear();
    layoutControls();
    m_scanner->setTarget(NovScanTarget::load());
    if (m_scanner->scan())
        setStatus(novStrings().text(NovString::Scanning, QStringLiteral("Scanne")), QString());
    emit modulesChanged();
}

void CNOVDocumentView::onModuleAdded(int index)
{
    const QString name = m_scanner->modules().at(index).displayName();
    m_moduleList->addItem(name);
    m_moduleList->setItemData(m_moduleList->count() - 1, name, Qt::ToolTipRole);
    layoutControls();
    if (m_moduleList->count() == 1) {
        m_moduleList->setEnabled(true);
        m_moduleList->setCurrentIndex(0);
        showModule(0);
    }
    emit modulesChanged();
}

void CNOVDocumentView::onSocketClosed()
{
    if (m_scanner->ignoredReplies() > 0)
        setStatus(m_statusAddress, m_statusSerial,
                  tr("%1 modules are listed; %2 further replies were ignored.")
                      .arg(NovScanner::kMaxModules)
                      .arg(m_scanner->ignoredReplies()));
}

void CNOVDocumentView::onSerialNumberRead(int index)
{
    // The read ends after the module was shown; the pane follows it.
    if (index == m_moduleList->currentIndex())
        setStatus(m_statusAddress, m_scanner->modules().at(index).serialNumber, m_statusMessage);
}

void CNOVDocumentView::onOffline()
{
    m_moduleList->setEnabled(false);
    setStatus(novStrings().text(NovString::Offline, QStringLiteral("Offline")), QString(),
              m_scanner->nothingFoundText());
}

void CNOVDocumentView::showModule(int index)
{
    if (index < 0 || index >= m_scanner->moduleCount())
        return;
    const NovModule &module = m_scanner->modules().at(index);
    setStatus(module.address, module.serialNumber);
    // The address names no scheme: the pages are plain HTTP.
    showPage(QUrl(QStringLiteral("http://") + module.address + QStringLiteral("/novmain.htm")));
}

void CNOVDocumentView::showPage(const QUrl &url)
{
    if (m_hasBrowser)
        m_htmlCtrl->setProperty("url", url);
}

void CNOVDocumentView::setStatus(const QString &address, const QString &serial, const QString &message)
{
    m_statusAddress = address;
    m_statusSerial = serial;
    m_statusMessage = message;
    emit statusChanged();
}

void CNOVDocumentView::onAbout()
{
    auto *about = new CAbout(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

void CNOVDocumentView::onScanSettings()
{
    UserPrompts::TextRequest request;
    request.title = tr("Scan Address");
    request.label = tr("Broadcast address and UDP port of the scan (ADDRESS:PORT):");
    request.initialText = NovScanTarget::load().toString();
    while (const auto text = UserPrompts::current().textInput(request, this)) {
        if (const auto target = NovScanTarget::parse(*text)) {
            NovScanTarget::save(*target);
            return;
        }
        UserPrompts::current().exclamation(tr("\"%1\" is no IPv4 address with a port, such as 255.255.255.255:8001.").arg(*text), this);
        request.initialText = *text;
    }
}
