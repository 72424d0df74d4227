// Qt keywords off, as in the link library: plain names stay plain.
#include "cmd_device_session.h"

#include "canbus/address.h"
#include "zar40/comm/can_transport.h"

#include <QLoggingCategory>

#include <iostream>
#include <unistd.h>

namespace zar40tool {

int &toolArgc()
{
    static int argc = 1;
    return argc;
}

char **toolArgv()
{
    static char programName[] = "zar40";
    static char *argv[] = {programName, nullptr};
    return argv;
}

using namespace zar40::comm;

namespace {

// Progress of a preset transfer on stderr: one updating line on a terminal,
// the finished count otherwise.
class ToolTransferUi : public TransferUi
{
public:
    explicit ToolTransferUi(bool quiet) : m_quiet(quiet), m_tty(isatty(STDERR_FILENO) != 0) {}

    class Window : public WaitWindow
    {
    public:
        Window(ToolTransferUi &ui, QString title) : m_ui(ui), m_title(std::move(title)) {}
        void setProgress(int done, int total) override
        {
            m_done = done;
            m_total = total;
            if (!m_ui.m_quiet && m_ui.m_tty)
                std::cerr << "\r" << m_title.toStdString() << " " << done << "/" << total << std::flush;
        }
        void close(int) override
        {
            if (m_ui.m_quiet) return;
            if (m_ui.m_tty) std::cerr << "\n";
            else std::cerr << m_title.toStdString() << " " << m_done << "/" << m_total << "\n";
        }

    private:
        ToolTransferUi &m_ui;
        QString m_title;
        int m_done = 0;
        int m_total = 0;
    };

    std::unique_ptr<WaitWindow> openWaitWindow(const QString &title, int) override
    {
        return std::make_unique<Window>(*this, title);
    }
    void setEditorEnabled(bool) override {}

private:
    bool m_quiet;
    bool m_tty;
};

} // namespace

ToolSession::ToolSession(const DeviceOptions &options)
    : m_options(options), m_progress(std::make_unique<ToolTransferUi>(options.quiet))
{
    setTimeout(options.timeoutMs);
    setPassword(options.password);
    setSwitchWait(options.switchWaitMs);
    setStoreWait(options.storeWaitMs);
    setTransferUi(m_progress.get());
}

ToolSession::~ToolSession()
{
    // The connection must not outlive its progress window.
    close();
    setTransferUi(nullptr);
}

bool ToolSession::connect()
{
    if (m_options.can.empty()) return openSerial(QString::fromStdString(m_options.port));
    // No host and no CAN window here: the tool is the only user of its own
    // CAN device.
    const auto address = canbus::parseAddress(QString::fromStdString(m_options.can));
    if (!address) {
        fail(Failure::CannotOpen, QStringLiteral("--can takes BACKEND:INTERFACE, such as virtualcan:can0"));
        return false;
    }
    // The virtual bus reports who hosts it at info level: noise here.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
    auto can = std::make_unique<CanBusTransport>(*address, m_options.netId);
    if (!can->open()) {
        fail(Failure::CannotOpen, can->errorString());
        return false;
    }
    connection().setNetId(m_options.netId);
    return open(std::move(can), CCommunicationmodul::ConnectionType::CanBus);
}

} // namespace zar40tool
