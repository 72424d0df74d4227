#include "HtmlCtrl.h"

#include "EventLog.h"
#include "user_prompts.h"
#include "window_tree.h"

#include <QApplication>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

constexpr int kMaxLoggedUnexpected = 20;

// A page's text as one line of the log: no line breaks or other control
// characters of its own, and not without end.
QString loggable(const QString &command)
{
    QString text = command.left(200);
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return text;
}

bool isPageCommand(const QString &address)
{
    return address.left(4).compare(QLatin1String("app:"), Qt::CaseInsensitive) == 0;
}

// Page commands are navigations, which the page below cancels; anything a
// page loads from an app: address (a picture, a frame) is refused here.
class AppSchemeHandler : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob *job) override { job->fail(QWebEngineUrlRequestJob::RequestDenied); }
};

class HtmlPage : public QWebEnginePage
{
public:
    HtmlPage(QWebEngineProfile *profile, CHtmlCtrl *ctrl)
        : QWebEnginePage(profile, ctrl)
        , m_ctrl(ctrl)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        // The engine lowers the scheme's case; the command keeps its own.
        const QString address = url.toString();
        if (!isPageCommand(address))
            return true;
        // Carried out once the engine is done with this navigation: a
        // command may open a message box.
        // With the control as context the call is dropped if it goes first.
        CHtmlCtrl *ctrl = m_ctrl;
        const QString command = address.mid(4);
        QMetaObject::invokeMethod(ctrl, [ctrl, command] { ctrl->OnAppCmd(command); }, Qt::QueuedConnection);
        return false;
    }

private:
    CHtmlCtrl *m_ctrl;
};

} // namespace

void CHtmlCtrl::registerAppScheme()
{
    if (!QWebEngineUrlScheme::schemeByName(kScheme).name().isEmpty())
        return;
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

CHtmlCtrl::CHtmlCtrl(QWidget *parent)
    : QWebEngineView(parent)
    // Off the record: module pages are not kept on disk between sessions.
    , m_profile(new QWebEngineProfile(this))
{
    m_profile->installUrlSchemeHandler(kScheme, new AppSchemeHandler(m_profile));
    setPage(new HtmlPage(m_profile, this));
}

CHtmlCtrl::~CHtmlCtrl()
{
    // The page must go before the profile it lives in.
    delete page();
}

void CHtmlCtrl::OnAppCmd(const QString &command)
{
    emit appCommand(command);
    if (command == QLatin1String("Minimise")) {
        QWidget *main = WindowTree::mainWindow();
        (main ? main : window())->showMinimized();
    } else if (command == QLatin1String("Beep")) {
        QApplication::beep();
        emit beeped();
    } else if (m_unexpectedShown) {
        // A page that asks in a loop would otherwise stack box upon box;
        // the log takes the first ones, and a count of the rest.
        if (++m_unexpectedHeld <= kMaxLoggedUnexpected)
            VRN_LOG_ERROR("Unexpected Command not shown while one is open: %s", qPrintable(loggable(command)));
    } else {
        m_unexpectedShown = true;
        m_unexpectedHeld = 0;
        QPointer<CHtmlCtrl> self(this);
        UserPrompts::current().message(UserPrompts::Icon::Question, UserPrompts::Buttons::Ok, command,
                                       QStringLiteral("Unexpected Command"), this);
        if (!self)
            return; // the window was closed while the box was open
        m_unexpectedShown = false;
        if (m_unexpectedHeld > kMaxLoggedUnexpected)
            VRN_LOG_ERROR("%d further Unexpected Commands were not shown", m_unexpectedHeld - kMaxLoggedUnexpected);
    }
}
