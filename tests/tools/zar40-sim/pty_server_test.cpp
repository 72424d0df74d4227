// Runs the zar40-sim program and talks to it through its pseudo-terminal,
// as the editor does.
#include "zar40/comm/codec/message.h"
#include "zar40/comm/codec/request_codes.h"
#include "zar40/comm/codec/values.h"

#include "SimProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace zar40::codec;
// Bounds only; no test measures them.
constexpr int kReplyTimeoutMs = 5000;
using vrntest::SimProcess;
namespace fs = std::filesystem;

namespace {

class Port {
public:
    explicit Port(const fs::path &link)
    {
        m_fd = open(link.c_str(), O_RDWR | O_NOCTTY);
        if (m_fd < 0) throw std::runtime_error("cannot open " + link.string());
        termios t{};
        tcgetattr(m_fd, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(m_fd, TCSANOW, &t);
    }
    ~Port() { close(m_fd); }

    void send(std::span<const std::uint8_t> bytes) { ASSERT_EQ(write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    void send(const Message &m) { send(buildFrame(m)); }

    // Exactly N bytes, or fewer if none arrive within TIMEOUTMS.
    std::vector<std::uint8_t> receive(std::size_t n, int timeoutMs = kReplyTimeoutMs)
    {
        std::vector<std::uint8_t> got;
        pollfd p{m_fd, POLLIN, 0};
        while (got.size() < n && poll(&p, 1, timeoutMs) > 0) {
            std::uint8_t buf[64];
            const ssize_t r = read(m_fd, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    std::optional<Message> reply(int timeoutMs = kReplyTimeoutMs)
    {
        const auto bytes = receive(kFrameSize, timeoutMs);
        return messageFromSerialRead(bytes);
    }

private:
    int m_fd = -1;
};

class PtyServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("zar40-sim-test-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        m_link = m_dir / "device.pty";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::unique_ptr<SimProcess> start(std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--pty", m_link.string()});
        auto sim = std::make_unique<SimProcess>(extra);
        EXPECT_EQ(sim->readyLine(), m_link.string());
        return sim;
    }

    fs::path m_dir, m_link;
};

} // namespace

TEST_F(PtyServer, AnswersFramesOnTheLink)
{
    auto sim = start();
    ASSERT_TRUE(fs::is_symlink(m_link));
    Port port(m_link);
    port.send(Message{ReqConnect, 0, 0});
    EXPECT_EQ(port.receive(kFrameSize),
              (std::vector<std::uint8_t>{0x68, 0x0A, 0x0A, 0x68, 0x00, 0x10, 0, 0, 0, 0, 0, 1, 0x00, 0x16}));
    port.send(Message{ReqWritePara, 4300, floatToWord(-3.0f)});
    EXPECT_EQ(port.reply(), (Message{RepWritePara, 4300, 1}));
    port.send(Message{ReqReadPara, 4300, 0});
    EXPECT_EQ(port.reply(), (Message{RepReadPara, 4300, floatToWord(-3.0f)}));
    port.send(Message{ReqReadPara, 4611, 0});
    EXPECT_EQ(port.reply()->code, RepError);
}

TEST_F(PtyServer, ReassemblesSplitJoinedAndMisalignedFrames)
{
    auto sim = start();
    Port port(m_link);
    std::vector<std::uint8_t> stream{0x00, 0x16, 0x68, 0x0A};
    for (std::uint16_t a : {1100, 2200, 3400}) {
        const auto f = buildFrame({ReqReadPara, a, 0});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    // Sent in odd pieces, so frames straddle the writes.
    for (std::size_t at = 0; at < stream.size(); at += 5) {
        port.send(std::span(stream).subspan(at, std::min<std::size_t>(5, stream.size() - at)));
        usleep(1000);
    }
    for (std::uint16_t a : {1100, 2200, 3400}) {
        const auto r = port.reply();
        ASSERT_TRUE(r) << a;
        EXPECT_EQ(r->address, a);
        EXPECT_EQ(r->code, RepReadPara);
    }
}

TEST_F(PtyServer, PacedLineStillAnswersEveryRequest)
{
    auto sim = start({"--baud", "115200", "--password", "77"});
    Port port(m_link);
    port.send(Message{ReqCompPwd, 0, 0});
    EXPECT_EQ(port.reply(), (Message{RepCompPwd, 0, 0}));
    port.send(Message{ReqCompPwd, 0, 77});
    EXPECT_EQ(port.reply(), (Message{RepCompPwd, 0, 1}));
    // Two requests back to back: two replies, in order, whole.
    auto two = buildFrame({ReqReadPegelVal, 0, 0});
    std::vector<std::uint8_t> both(two.begin(), two.end());
    const auto pot = buildFrame({ReqReadPotiVal, 2, 0});
    both.insert(both.end(), pot.begin(), pot.end());
    port.send(both);
    EXPECT_EQ(port.reply()->code, RepReadPegelVal);
    EXPECT_EQ(port.reply()->code, RepReadPotiVal);

    // The line counts a request from when it was written, not from when
    // the terminal handed it over, but that allowance is at most a byte
    // time: an exchange never beats the wire by more. (A lower bound only;
    // a busy machine makes exchanges longer, never shorter.)
    constexpr auto kByte = std::chrono::nanoseconds(10 * 1000000000LL / 115200);
    for (int i = 0; i < 20; ++i) {
        const auto sent = std::chrono::steady_clock::now();
        port.send(Message{ReqReadPara, 120, 0});
        ASSERT_TRUE(port.reply());
        EXPECT_GE(std::chrono::steady_clock::now() - sent, (2 * kFrameSize - 1) * kByte) << "exchange " << i;
    }
}

TEST_F(PtyServer, FaultOptionsAndVerboseLog)
{
    auto sim = start({"--hang-after", "2", "--garble-every", "2", "--device-number", "31337", "--verbose"});
    Port port(m_link);
    port.send(Message{ReqReadPara, 120, 0});
    EXPECT_EQ(port.reply(), (Message{RepReadPara, 120, 31337}));
    port.send(Message{ReqReadPara, 120, 0});
    const auto garbled = port.reply();
    ASSERT_TRUE(garbled);
    EXPECT_FALSE(acceptReply(120, *garbled));
    port.send(Message{ReqReadPara, 120, 0});
    EXPECT_FALSE(port.reply(300)); // hung
    const std::string log = sim->stderrText();
    EXPECT_NE(log.find("ReqReadPara"), std::string::npos) << log;
    EXPECT_NE(log.find("(no reply)"), std::string::npos) << log;
}

TEST_F(PtyServer, StopsOnSignalAndRemovesItsLink)
{
    for (int sig : {SIGTERM, SIGINT}) {
        auto sim = start();
        ASSERT_TRUE(fs::is_symlink(m_link));
        EXPECT_EQ(sim->stop(sig), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(m_link)));
    }
}

TEST_F(PtyServer, ReplacesAStaleLinkButNeverAFile)
{
    fs::create_symlink("/nonexistent/pts", m_link);
    {
        auto sim = start();
        EXPECT_NE(fs::read_symlink(m_link), "/nonexistent/pts");
        sim->stop(SIGTERM);
    }
    std::ofstream(m_link) << "keep me";
    SimProcess refused({"--pty", m_link.string()});
    EXPECT_EQ(refused.stop(0), 1);
    EXPECT_NE(refused.stderrText().find("not a symbolic link"), std::string::npos);
    std::ifstream in(m_link);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
}

TEST_F(PtyServer, RefusesBadOptions)
{
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {},
             {"--pty", m_link.string(), "--revision", "1"},
             {"--pty", m_link.string(), "--baud", "0"},
             {"--pty", m_link.string(), "--password", "12x"},
             {"--pty", m_link.string(), "--bogus", "1"},
             {"--pty"}}) {
        SimProcess sim(args);
        EXPECT_EQ(sim.stop(0), 2);
        EXPECT_FALSE(fs::exists(fs::symlink_status(m_link)));
    }
}
