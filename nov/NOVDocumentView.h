#pragma once

#include "doc_view.h"

#include <QFont>

class CNOVDocument;
class NovScanner;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// The NOV module browser's view: a bar with the Scan button and the list of
// the modules found, and below it the browser showing the start page or the
// chosen module's main page.
class CNOVDocumentView : public CView
{
    Q_OBJECT
    // Readable through the meta-object, for the frame's status panes and for
    // callers outside the plug-in.
    Q_PROPERTY(QString statusAddress READ statusAddress NOTIFY statusChanged)
    Q_PROPERTY(QString statusSerial READ statusSerial NOTIFY statusChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusChanged)
    Q_PROPERTY(int moduleCount READ moduleCount NOTIFY modulesChanged)
    Q_PROPERTY(int ownRequestsHeard READ ownRequestsHeard)
public:
    enum ControlId { ModuleListId = 2000, BarId = 3000, ScanButtonId = 3001, SeparatorId = 3002, HtmlCtrlId = 3003, LogoIconId = 3005 };
    static constexpr int kBarHeight = 40;
    static constexpr int kModuleListWidth = 120; // at least

    CNOVDocumentView();
    ~CNOVDocumentView() override;

    CNOVDocument *novDocument() const;
    void onInitialUpdate() override;

    QString statusAddress() const { return m_statusAddress; }
    QString statusSerial() const { return m_statusSerial; }
    // A line for the frame's message pane: why a scan found nothing.
    QString statusMessage() const { return m_statusMessage; }
    int moduleCount() const;
    int ownRequestsHeard() const;

public slots:
    void onScan();
    void onAbout();
    // Asks for the broadcast address and port of the scan and saves them.
    void onScanSettings();

signals:
    void statusChanged();
    void modulesChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void createControls();
    void layoutControls();
    void showModule(int index);
    void showPage(const QUrl &url);
    void onModuleAdded(int index);
    void onSerialNumberRead(int index);
    void onOffline();
    void onSocketClosed();
    void setStatus(const QString &address, const QString &serial, const QString &message = {});

    NovScanner *m_scanner;
    QFont m_normalFont;
    QFont m_boldFont;
    QFrame *m_bar = nullptr;
    QPushButton *m_scanButton = nullptr;
    QFrame *m_separator = nullptr;
    QLabel *m_label = nullptr;
    QComboBox *m_moduleList = nullptr;
    QLabel *m_logoIcon = nullptr;
    // The browser from NOV-browser.so, or a note saying why it is missing.
    QWidget *m_htmlCtrl = nullptr;
    bool m_hasBrowser = false;
    QString m_statusAddress;
    QString m_statusSerial;
    QString m_statusMessage;
};
