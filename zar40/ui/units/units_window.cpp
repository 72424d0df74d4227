#include "units_window.h"

#include "UnitsView.h"

#include "../ZARDocumentView.h"

#include "MyMultiDocTemplate.h"
#include "window_tree.h"
#include "can/CanWnd.h"
#include "can/can_messages.h"

#include "canbus/netid.h"
#include "zar40/comm/BusScheduler.h"
#include "zar40/comm/can/CanWndTransport.h"
#include "zar40/comm/can/can_window_claims.h"

#include <QPointer>

namespace {

// Holds the Net-IDs the units window works with at the host's CAN window,
// which hands each Net-ID's frames to one owner, and passes their frames to
// the bus scheduler, whence the window's links take them.
class CanWindowClaims : public QObject
{
public:
    explicit CanWindowClaims(CCanWnd *window) : m_window(window) {}
    ~CanWindowClaims() override
    {
        for (int id : std::as_const(m_claimed)) unregisterId(id);
    }

    zar40::editor::RigSession::ClaimResult claim(int netId)
    {
        using Result = zar40::editor::RigSession::ClaimResult;
        // A Net-ID held elsewhere is refused without a word while the link
        // runs; a link that could not start (no adapter) refuses every one.
        if (!zar40::comm::claimFreeNetId(m_window, netId, this))
            return m_window && m_window->linkStarted() ? Result::InUse : Result::Unreachable;
        if (!m_claimed.contains(netId)) m_claimed << netId;
        return Result::Claimed;
    }
    void release(int netId)
    {
        if (m_claimed.removeAll(netId)) unregisterId(netId);
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != CanNoticeEvent::eventType()) return QObject::event(event);
        const auto *notice = static_cast<const CanNoticeEvent *>(event);
        if (notice->code() == CAN_FRAME_RECEIVED && m_claimed.contains(notice->netId()) && m_window)
            zar40::comm::windowScheduler(m_window)->frameReceived(canbus::identifierForNetId(notice->netId()),
                                                                  notice->data());
        return true;
    }

private:
    void unregisterId(int netId) { zar40::comm::releaseNetId(m_window, netId, this); }

    QPointer<CCanWnd> m_window;
    QList<int> m_claimed;
};

} // namespace

CUnitsDocument::CUnitsDocument() = default;

bool CUnitsDocument::onNewDocument()
{
    setTitle(tr("ZAR40 Units"));
    return true;
}

void CUnitsFrame::onCreateClient(CView *view)
{
    CMDIChildWnd::onCreateClient(view);
    setWindowTitle(tr("ZAR40 Units"));
    resize(kSize);
    auto *units = qobject_cast<CUnitsView *>(view);
    if (!units) return;
    CCanWnd *window = CCanWnd::find(WindowTree::mainWindow());
    if (window) {
        auto *claims = new CanWindowClaims(window);
        auto session = std::make_unique<zar40::editor::RigSession>(
            zar40::comm::windowScheduler(window), QStringLiteral("CAN"),
            [claims](int id) { return claims->claim(id); }, [claims](int id) { claims->release(id); });
        // The claims go with the session, after it has given them all back.
        claims->setParent(session.get());
        units->setSession(std::move(session));
    } else {
        units->setSession(nullptr);
    }
    CMyMultiDocTemplate *docTemplate = document() ? document()->docTemplate() : nullptr;
    QPointer<CUnitsView> self(units);
    units->setOpenEditor([self, docTemplate](int netId) {
        if (!self || !self->session()) return;
        // The editor takes the Net-ID over: the window lets go of it first.
        self->session()->handOver(netId);
        zar40ui::openEditorOnNetId(docTemplate, netId);
    });
}

namespace zar40ui {

DocumentKind &nextDocumentKind()
{
    static DocumentKind kind = DocumentKind::Editor;
    return kind;
}

CDocument *openUnitsWindow(CMyMultiDocTemplate *docTemplate)
{
    if (!docTemplate) return nullptr;
    nextDocumentKind() = DocumentKind::Units;
    CDocument *document = docTemplate->OpenDocumentFile(QString());
    nextDocumentKind() = DocumentKind::Editor;
    return document;
}

void openEditorOnNetId(CMyMultiDocTemplate *docTemplate, int netId)
{
    if (!docTemplate) return;
    nextDocumentKind() = DocumentKind::Editor;
    CDocument *document = docTemplate->OpenDocumentFile(QString());
    if (!document) return;
    for (CView *view : document->views())
        if (auto *editor = qobject_cast<CZARDocumentView *>(view)) editor->connectOverCan(netId);
}

} // namespace zar40ui
