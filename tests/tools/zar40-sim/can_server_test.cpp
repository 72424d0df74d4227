// Runs zar40-sim programs as units on a virtual CAN bus and talks to them
// through a QtSerialBus client, as the editor does. Every test gets its own
// bus (a virtualcan hub on a free local port), so runs never meet.
#include "SimProcess.h"
#include "virtual_bus.h"

#include "canbus/netid.h"
#include "zar40/comm/codec/address_map.h"
#include "zar40/comm/codec/message.h"
#include "zar40/preset/fields.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include <gtest/gtest.h>

#include <QCanBus>
#include <QCanBusDevice>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTest>

#include <csignal>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

using namespace zar40::codec;
// Bounds only; no test measures them.
constexpr int kReplyTimeoutMs = 5000;
using vrntest::SimProcess;

namespace {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "zar40-sim-tests";
    static char *argv[] = {name, nullptr};
    // The plug-in's notes on who hosts the bus would drown the test output.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

QCanBusFrame requestFrame(std::uint32_t id, const Message &m)
{
    const auto bytes = buildMessage(m);
    return QCanBusFrame(id, QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

std::optional<Message> messageOf(const QCanBusFrame &frame)
{
    const QByteArray p = frame.payload();
    if (p.size() != static_cast<int>(kMessageSize)) return std::nullopt;
    return parseMessage(std::span<const std::uint8_t, kMessageSize>(reinterpret_cast<const std::uint8_t *>(p.constData()),
                                                                    kMessageSize));
}

// One client on the bus, collecting everything it hears.
class Client {
public:
    // Addresses of no parameter: the unit answers them with RepError.
    static constexpr std::uint16_t kFirstProbe = 60000;

    explicit Client(const QString &interface, int timeoutMs = kReplyTimeoutMs)
    {
        m_device.reset(QCanBus::instance()->createDevice(QStringLiteral("virtualcan"), interface));
        if (!m_device) return;
        QObject::connect(m_device.get(), &QCanBusDevice::framesReceived, [this] {
            while (m_device->framesAvailable()) m_frames.push_back(m_device->readFrame());
        });
        m_device->connectDevice();
        (void)QTest::qWaitFor([this] { return connected(); }, timeoutMs);
    }
    bool connected() const { return m_device && m_device->state() == QCanBusDevice::ConnectedState; }
    bool send(const QCanBusFrame &frame) { return m_device->writeFrame(frame); }
    bool send(int netId, const Message &m) { return send(requestFrame(canbus::identifierForNetId(netId), m)); }

    // Waits until PRED holds for the frames heard so far.
    template <typename Pred> bool waitFor(Pred pred, int timeoutMs = kReplyTimeoutMs)
    {
        return QTest::qWaitFor([&] { return pred(m_frames); }, timeoutMs);
    }
    // The reply to a request for NETID with ADDRESS, once it arrives.
    std::optional<QCanBusFrame> replyFrom(int netId, std::uint16_t address, int timeoutMs = kReplyTimeoutMs)
    {
        std::optional<QCanBusFrame> found;
        (void)waitFor(
            [&](const std::vector<QCanBusFrame> &frames) {
                for (const auto &f : frames) {
                    const auto m = messageOf(f);
                    if (canbus::netIdForIdentifier(f.frameId()) == netId && m && m->address == address) found = f;
                }
                return found.has_value();
            },
            timeoutMs);
        return found;
    }
    // A unit joins a virtual bus by a line it sends after it is connected,
    // so its first moments on the bus may pass unheard: ask NETID until it
    // answers. Every probe from the first answered one on reaches the unit,
    // so once those are answered no stray reply can follow; the frames
    // heard are cleared then.
    bool sync(int netId)
    {
        std::uint16_t sent = 0;
        for (std::uint16_t probe = kFirstProbe; probe < kFirstProbe + 25; ++probe) {
            send(netId, {ReqReadPara, probe, 0});
            sent = probe;
            std::optional<std::uint16_t> first;
            (void)waitFor(
                [&](const std::vector<QCanBusFrame> &frames) {
                    for (const auto &f : frames)
                        if (canbus::netIdForIdentifier(f.frameId()) == netId && messageOf(f)) {
                            const auto a = messageOf(f)->address;
                            if (!first || a < *first) first = a;
                        }
                    return first.has_value();
                },
                200);
            if (!first) continue;
            const bool all = waitFor([&](const std::vector<QCanBusFrame> &frames) {
                std::size_t answered = 0;
                for (const auto &f : frames)
                    if (canbus::netIdForIdentifier(f.frameId()) == netId && messageOf(f) && messageOf(f)->address >= *first)
                        ++answered;
                return answered >= static_cast<std::size_t>(sent - *first + 1);
            });
            m_frames.clear();
            return all;
        }
        return false;
    }
    std::vector<QCanBusFrame> &frames() { return m_frames; }
    QCanBusDevice *device() { return m_device.get(); }

private:
    std::unique_ptr<QCanBusDevice> m_device;
    std::vector<QCanBusFrame> m_frames;
};

class CanServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        // A port nobody listens on now: the first simulator hosts this
        // test's bus there.
        m_interface = vrntest::freeVirtualBus();
        ASSERT_TRUE(m_interface.startsWith("tcp:"));
        m_target = "virtualcan:" + m_interface.toStdString();
    }

    std::unique_ptr<SimProcess> start(int netId, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--can", m_target, "--net-id", std::to_string(netId)});
        auto sim = std::make_unique<SimProcess>(extra);
        EXPECT_EQ(sim->readyLine(), m_target + " net-id " + std::to_string(netId));
        return sim;
    }

    QString m_interface;
    std::string m_target;
};

} // namespace

TEST_F(CanServer, TwoUnitsShareOneBusAndAnswerUnderTheirOwnIdentifiers)
{
    auto one = start(1, {"--device-number", "1111"});
    auto two = start(2, {"--device-number", "2222"});
    Client bus(m_interface);
    ASSERT_TRUE(bus.connected());
    ASSERT_TRUE(bus.sync(1));
    ASSERT_TRUE(bus.sync(2));

    ASSERT_TRUE(bus.send(1, {ReqReadPara, 120, 0}));
    ASSERT_TRUE(bus.send(2, {ReqReadPara, 120, 0}));
    const auto r1 = bus.replyFrom(1, 120);
    const auto r2 = bus.replyFrom(2, 120);
    ASSERT_TRUE(r1 && r2);
    EXPECT_EQ(r1->frameId(), 0x020u);
    EXPECT_EQ(r2->frameId(), 0x040u);
    for (const auto *f : {&*r1, &*r2}) {
        EXPECT_FALSE(f->hasExtendedFrameFormat());
        EXPECT_EQ(f->frameType(), QCanBusFrame::DataFrame);
    }
    EXPECT_EQ(messageOf(*r1), (Message{RepReadPara, 120, 1111}));
    EXPECT_EQ(messageOf(*r2), (Message{RepReadPara, 120, 2222}));

    // Two devices, not one: a write to Net-ID 2 leaves Net-ID 1 as it was.
    bus.frames().clear();
    ASSERT_TRUE(bus.send(2, {ReqWritePara, 4300, floatToWord(-6.0f)}));
    ASSERT_TRUE(bus.replyFrom(2, 4300));
    bus.frames().clear();
    ASSERT_TRUE(bus.send(1, {ReqReadPara, 4300, 0}));
    ASSERT_TRUE(bus.send(2, {ReqReadPara, 4300, 0}));
    const auto g1 = bus.replyFrom(1, 4300);
    const auto g2 = bus.replyFrom(2, 4300);
    ASSERT_TRUE(g1 && g2);
    EXPECT_NE(messageOf(*g1)->value, floatToWord(-6.0f));
    EXPECT_EQ(messageOf(*g2), (Message{RepReadPara, 4300, floatToWord(-6.0f)}));
}

TEST_F(CanServer, OneProcessSimulatesAWholeRigOfUnits)
{
    auto rig = std::make_unique<SimProcess>(std::vector<std::string>{"--can", m_target, "--net-ids", "1-63"});
    ASSERT_EQ(rig->readyLine(), m_target + " net-ids 1-63");
    Client bus(m_interface);
    ASSERT_TRUE(bus.connected());
    ASSERT_TRUE(bus.sync(63));

    const std::uint16_t numberAddress = *deviceSettingsAddress(kDeviceNumberWord);
    const std::uint16_t nameAddress = *deviceSettingsAddress(kDeviceNameFirstWord);
    const std::uint16_t presetNumber =
        *addressOf(zar40::preset::FieldKey{zar40::preset::kPresetWide, zar40::preset::Group::Preset, 0,
                                           zar40::preset::Field::Number});
    // Every unit answers under its own identifier with its own number and name.
    for (int id = 1; id <= 63; ++id) {
        bus.send(id, {ReqReadPara, numberAddress, 0});
        bus.send(id, {ReqReadPara, nameAddress, 0});
    }
    ASSERT_TRUE(bus.waitFor([](const auto &frames) { return frames.size() >= 126; }));
    std::map<int, std::pair<std::uint32_t, std::uint32_t>> seen; // number, first name word
    for (const auto &f : bus.frames()) {
        const auto m = messageOf(f);
        ASSERT_TRUE(m);
        const int id = canbus::netIdForIdentifier(f.frameId());
        EXPECT_EQ(f.frameId(), canbus::identifierForNetId(id));
        (m->address == numberAddress ? seen[id].first : seen[id].second) = m->value;
    }
    ASSERT_EQ(seen.size(), 63u);
    for (const auto &[id, what] : seen) {
        EXPECT_EQ(what.first, static_cast<std::uint32_t>(id));
        EXPECT_EQ(what.second, 0x5A415234u) << "ZAR4"; // "ZAR40 Sim N"
    }

    // Each unit keeps its own settings: a slot switch on 40 moves no other.
    bus.frames().clear();
    ASSERT_TRUE(bus.send(40, {ReqLoadPreset, 9, 0}));
    ASSERT_TRUE(bus.replyFrom(40, 9));
    for (int id : {39, 40, 41}) {
        bus.frames().clear();
        ASSERT_TRUE(bus.send(id, {ReqReadPara, presetNumber, 0}));
        const auto r = bus.replyFrom(id, presetNumber);
        ASSERT_TRUE(r);
        EXPECT_EQ(messageOf(*r)->value, id == 40 ? 8u : 0u) << "Net-ID " << id;
    }
}

TEST_F(CanServer, FaultsCanBeLimitedToSomeUnitsOfARig)
{
    auto rig = std::make_unique<SimProcess>(
        std::vector<std::string>{"--can", m_target, "--net-ids", "4,6-7", "--drop-every", "1", "--fault-net-ids", "6"});
    ASSERT_EQ(rig->readyLine(), m_target + " net-ids 4,6-7");
    Client bus(m_interface);
    ASSERT_TRUE(bus.connected());
    ASSERT_TRUE(bus.sync(7));
    for (int id : {4, 6, 7}) bus.send(id, {ReqReadPara, 120, 0});
    ASSERT_TRUE(bus.replyFrom(4, 120));
    ASSERT_TRUE(bus.replyFrom(7, 120));
    EXPECT_FALSE(bus.replyFrom(6, 120, 300));
}

TEST_F(CanServer, AnswersOnlyRequestsForItsNetId)
{
    auto one = start(1);
    auto two = start(2);
    Client bus(m_interface);
    ASSERT_TRUE(bus.connected());
    ASSERT_TRUE(bus.sync(1));
    ASSERT_TRUE(bus.sync(2));

    // None of these is a request for a unit on the bus: Net-ID 3 has no
    // unit, and for Net-ID 1 an extended frame, a short frame, a remote
    // frame and another unit's reply.
    bus.send(3, {ReqConnect, 0, 0});
    auto extended = requestFrame(0x020, {ReqReadPara, 110, 0});
    extended.setExtendedFrameFormat(true);
    bus.send(extended);
    bus.send(QCanBusFrame(0x020, QByteArray::fromHex("00780070000000")));
    QCanBusFrame remote(QCanBusFrame::RemoteRequestFrame);
    remote.setFrameId(0x020);
    bus.send(remote);
    bus.send(1, {RepConnect, 0, 1});
    // Identifier 0x03F still belongs to Net-ID 1.
    bus.send(requestFrame(0x03F, {ReqReadPara, 1100, 0}));
    // Each unit handles its frames in order, so once both of these are
    // answered every earlier answer would have arrived too.
    bus.send(1, {ReqReadPara, 4300, 0});
    bus.send(2, {ReqReadPara, 4300, 0});
    ASSERT_TRUE(bus.replyFrom(1, 4300));
    ASSERT_TRUE(bus.replyFrom(2, 4300));

    // The two units answer independently; each one's replies keep their order.
    std::vector<std::uint16_t> fromOne, fromTwo, fromOthers;
    for (const auto &f : bus.frames()) {
        const std::uint16_t address = messageOf(f).value_or(Message{}).address;
        (f.frameId() == 0x020 ? fromOne : f.frameId() == 0x040 ? fromTwo : fromOthers).push_back(address);
    }
    EXPECT_EQ(fromOne, (std::vector<std::uint16_t>{1100, 4300}));
    EXPECT_EQ(fromTwo, (std::vector<std::uint16_t>{4300}));
    EXPECT_TRUE(fromOthers.empty());
    EXPECT_NE(one->stderrText().find("another unit answers on Net-ID 1"), std::string::npos) << one->stderrText();
}

TEST_F(CanServer, FaultAndDeviceOptionsWorkOnCan)
{
    // Options whose effect does not depend on how many probes it took to
    // find the unit on the bus.
    auto guarded = start(5, {"--password", "77", "--connect-busy", "2", "--verbose"});
    auto garbling = start(6, {"--garble-every", "1"});
    auto silent = start(7, {"--drop-every", "1", "--verbose"});
    Client bus(m_interface);
    ASSERT_TRUE(bus.connected());
    ASSERT_TRUE(bus.sync(5));

    for (const Message &m : {Message{ReqConnect, 0, 0}, Message{ReqConnect, 0, 0}, Message{ReqConnect, 0, 0},
                             Message{ReqCompPwd, 0, 12}, Message{ReqCompPwd, 0, 77}})
        bus.send(5, m);
    ASSERT_TRUE(bus.waitFor([](const auto &frames) { return frames.size() >= 5; }));
    std::vector<Message> replies;
    for (const auto &f : bus.frames()) {
        EXPECT_EQ(f.frameId(), 0x0A0u);
        replies.push_back(messageOf(f).value_or(Message{}));
    }
    EXPECT_EQ(replies, (std::vector<Message>{{RepConnect, 0, 0},
                                             {RepConnect, 0, 0},
                                             {RepConnect, 0, 1},
                                             {RepCompPwd, 0, 0},
                                             {RepCompPwd, 0, 1}}));
    const std::string log = guarded->stderrText();
    EXPECT_NE(log.find("0x0A0  ReqCompPwd"), std::string::npos) << log;

    // Every reply of Net-ID 6 names the wrong address.
    bus.frames().clear();
    std::optional<QCanBusFrame> garbled;
    for (int attempt = 0; attempt < 25 && !garbled; ++attempt) {
        bus.send(6, {ReqReadPara, 4300, 0});
        garbled = bus.replyFrom(6, 4301, 200);
    }
    ASSERT_TRUE(garbled);
    EXPECT_FALSE(acceptReply(4300, *messageOf(*garbled)));

    // Net-ID 7 hears its requests (its log says so) and never answers.
    bool heard = false;
    for (int attempt = 0; attempt < 25 && !heard; ++attempt) {
        bus.send(7, {ReqReadPara, 4300, 0});
        heard = QTest::qWaitFor([&] { return silent->stderrText(0).find("(no reply)") != std::string::npos; }, 200);
    }
    EXPECT_TRUE(heard) << silent->stderrText();
    for (const auto &f : bus.frames()) EXPECT_NE(canbus::netIdForIdentifier(f.frameId()), 7);
}

TEST_F(CanServer, BusOutlivesTheProcessThatHostsIt)
{
    auto host = start(1);
    auto two = start(2, {"--reconnect", "50"});
    auto three = start(3, {"--reconnect", "0"});
    {
        Client bus(m_interface);
        ASSERT_TRUE(bus.connected());
        ASSERT_EQ(host->stop(SIGTERM), 0);
        // Everybody on the bus loses it with its host.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !bus.connected(); }, kReplyTimeoutMs));
    }
    // Told not to reconnect: ends with status 1 and says why.
    EXPECT_EQ(three->stop(0), 1);
    EXPECT_NE(three->stderrText().find("lost the CAN bus"), std::string::npos) << three->stderrText();

    // The others connect again; one of them hosts the bus from now on.
    // Until one of them hosts it again a client's connection is refused,
    // and virtualcan then waits for ever instead of saying so.
    std::unique_ptr<Client> again;
    for (int attempt = 0; attempt < 25 && !(again && again->connected()); ++attempt)
        again = std::make_unique<Client>(m_interface, 200);
    ASSERT_TRUE(again->connected());
    std::optional<QCanBusFrame> reply;
    for (int attempt = 0; attempt < 25 && !reply; ++attempt) {
        again->send(2, {ReqReadPara, 120, 0});
        reply = again->replyFrom(2, 120, 200);
    }
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->frameId(), 0x040u);
    EXPECT_NE(two->stderrText().find("back on the CAN bus"), std::string::npos) << two->stderrText();
}

TEST_F(CanServer, StopsOnSignal)
{
    for (int sig : {SIGTERM, SIGINT}) {
        auto sim = start(7);
        EXPECT_EQ(sim->stop(sig), 0);
    }
}

TEST_F(CanServer, RefusesBadOptions)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Case> cases{
        {{"--can", m_target, "--net-id", "64"}, 2, "0x800"},
        {{"--can", m_target, "--net-id", "0"}, 2, "1 to 63"},
        {{"--can", m_target}, 2, "--net-id"},
        {{"--can", "virtualcan", "--net-id", "1"}, 2, "bad value"},
        {{"--can", m_target, "--net-id", "1", "--pty", "/tmp/zar40-sim-never"}, 2, "together"},
        {{"--can", m_target, "--net-id", "1", "--baud", "9600"}, 2, "--pty only"},
        {{"--pty", "/tmp/zar40-sim-never", "--net-id", "1"}, 2, "need --can"},
        {{"--can", "virtualcan:vcan", "--net-id", "1"}, 1, "Invalid interface"},
        {{"--can", "no-such-plugin:can0", "--net-id", "1"}, 1, "no-such-plugin"},
        // Nobody listens on 127.0.0.2 (a unit hosts its bus on 127.0.0.1).
        {{"--can", "virtualcan:tcp://127.0.0.2:" + m_interface.section(u':', 2, 2).section(u'/', 0, 0).toStdString() + "/can0",
          "--net-id", "1", "--connect-timeout", "300"},
         1,
         "within 300 ms"},
        {{"--can", m_target, "--net-id", "1", "--connect-timeout", "0"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "0-3"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "5-2"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "1,1"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "1,"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "60-64"}, 2, "bad value"},
        {{"--can", m_target, "--net-ids", "1-3", "--net-id", "2"}, 2, "together"},
        {{"--can", m_target, "--net-id", "2", "--fault-net-ids", "2"}, 2, "needs --net-ids"},
    };
    for (const auto &c : cases) {
        SimProcess sim(c.args);
        EXPECT_EQ(sim.stop(0), c.status) << c.args[1];
        EXPECT_NE(sim.stderrText().find(c.says), std::string::npos) << sim.stderrText();
    }
}
