// The update exchange against zar40-sim --bootloader on a pseudo-terminal:
// what reaches the unit (the simulator logs every record it receives), and
// how each failure ends.
#include "SimProcess.h"
#include "firmware_files.h"

#include "zar40/comm/event_wait.h"
#include "zar40/comm/firmware/FirmwareUpdate.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zar40::firmware;
using namespace zar40::firmware::test;
using vrntest::SimProcess;

namespace {

// Bounds a test that would otherwise hang; never a measurement.
constexpr int kUpdateLimitMs = 60000;

UpdateTimings quickTimings()
{
    UpdateTimings t;
    t.knockIntervalMs = 20;
    t.announceDelayMs = 10;
    t.startDelayMs = 10;
    t.imageByteSpacingUs = 0;
    return t;
}

class FirmwareUpdate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        auto image = loadFlashLoader(QStringLiteral(STANDIN_LOADER), &error);
        ASSERT_TRUE(image) << error.toStdString();
        m_image = *image;
    }
    void TearDown() override { fs::remove(m_log); }

    // Starts the simulator with the boot loader and ARGS, logging the
    // records it receives.
    void startSim(SimProcess &sim, std::vector<std::string> args = {})
    {
        fs::remove(m_log);
        args.insert(args.begin(), {"--bootloader", "--fw-record-log", m_log.string()});
        ASSERT_TRUE(sim.startOnPty(args));
    }
    std::vector<std::string> received(SimProcess &) { return readLines(m_log); }

    struct Outcome {
        CFirmwareUpdate::Result result = CFirmwareUpdate::Result::Cancelled;
        QString message;
        QString log;
        bool portOpenAtEnd = true;
    };

    // Runs one update on FW (a new one unless given) to its end.
    Outcome update(SimProcess &sim, const std::vector<std::string> &lines, bool reset = false,
                   CFirmwareUpdate *fw = nullptr, UpdateTimings timings = quickTimings())
    {
        const fs::path file = fs::temp_directory_path() / ("zar40-fw-" + std::to_string(getpid()) + ".mhx");
        writeLines(file, lines);
        CFirmwareUpdate own;
        if (!fw) fw = &own;
        fw->setTimings(timings);
        Outcome out;
        bool done = false;
        auto c1 = QObject::connect(fw, &CFirmwareUpdate::logAppended, [&](const QString &t) { out.log += t; });
        auto c2 = QObject::connect(fw, &CFirmwareUpdate::finished,
                                   [&](CFirmwareUpdate::Result r, const QString &m) {
                                       out.result = r;
                                       out.message = m;
                                       out.portOpenAtEnd = fw->channel().isOpen();
                                       done = true;
                                   });
        fw->start(QString::fromStdString(sim.link()), QString::fromStdString(file.string()), m_image, reset);
        zar40::comm::runEventsUntil([&] { return done; }, QDeadlineTimer(kUpdateLimitMs));
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        fs::remove(file);
        EXPECT_TRUE(done) << "the update did not end";
        return out;
    }

    const fs::path m_log = fs::temp_directory_path() / ("zar40-fw-records-" + std::to_string(getpid()));
    FlashLoaderImage m_image;
};

TEST_F(FirmwareUpdate, EveryLineIsOneHandshakeAndOnlyDataRecordsGoThrough)
{
    SimProcess sim;
    startSim(sim);
    const auto lines = firmwareLines(1200);
    CFirmwareUpdate fw;
    const Outcome out = update(sim, lines, false, &fw);
    ASSERT_EQ(out.result, CFirmwareUpdate::Result::Success) << out.message.toStdString();
    EXPECT_FALSE(out.portOpenAtEnd);
    EXPECT_EQ(fw.recordsAcknowledged(), 1200);

    const auto got = received(sim);
    ASSERT_EQ(got.size(), 1200u);
    EXPECT_EQ(got.front(), kPlaceholderRecord); // the header
    EXPECT_EQ(got.back(), kPlaceholderRecord);  // the end record
    for (std::size_t i = 1; i + 1 < got.size(); ++i) ASSERT_EQ(got[i], lines[i]) << "line " << i + 1;
    EXPECT_EQ(fw.erasedSectors(), (std::vector<int>{0, 3, 5, 6}));
    EXPECT_NE(out.log.indexOf(QStringLiteral("\r\nFlashupdate complete!\r\nRestart ZAR40!")), -1);
}

TEST_F(FirmwareUpdate, PresetDataIsProgrammedOnlyWhenThePresetsAreReset)
{
    const std::vector<std::string> lines{s2(0x010000), s2(0x0A1000), s2(0x0F1000), s2(0x0EFFF8), "S2damaged",
                                         s2(0x0E0000)};
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "with reset" : "without reset");
        SimProcess sim;
        startSim(sim);
        CFirmwareUpdate fw;
        const Outcome out = update(sim, lines, reset, &fw);
        ASSERT_EQ(out.result, CFirmwareUpdate::Result::Success) << out.message.toStdString();
        const std::string p(kPlaceholderRecord);
        EXPECT_EQ(received(sim), (std::vector<std::string>{lines[0], reset ? lines[1] : p, p, p, p, lines[5]}));
        EXPECT_NE(out.log.indexOf(QStringLiteral("Warning: 1 damaged S2 lines are not programmed !")), -1);
        EXPECT_EQ(fw.erasedSectors(), (reset ? std::vector<int>{0, 1, 2, 3, 5, 6} : std::vector<int>{0, 3, 5, 6}));
    }
}

TEST_F(FirmwareUpdate, TwoKnockAnswersAtOnceAreNoConnection)
{
    SimProcess sim;
    startSim(sim, {"--fw-double-knock"});
    UpdateTimings t = quickTimings();
    t.maxKnocks = 6;
    CFirmwareUpdate fw;
    const Outcome out = update(sim, firmwareLines(10), false, &fw, t);
    EXPECT_EQ(out.result, CFirmwareUpdate::Result::ConnectionFailed);
    EXPECT_EQ(out.message, QLatin1String(kConnectionFailedText));
    EXPECT_EQ(fw.knocks(), 6);
    EXPECT_NE(out.log.indexOf(QStringLiteral("\r\nConnection failed !")), -1);
    EXPECT_FALSE(out.portOpenAtEnd);
}

TEST_F(FirmwareUpdate, ARefusedRecordEndsTheUpdateAndTheNextOneStartsClean)
{
    CFirmwareUpdate fw;
    // The third record, and the last one: a refused last record is no success either.
    for (const char *nak : {"3", "10"}) {
        SCOPED_TRACE(std::string("record ") + nak);
        SimProcess sim;
        startSim(sim, {"--fw-nak-record", nak});
        const Outcome out = update(sim, firmwareLines(10), false, &fw);
        EXPECT_EQ(out.result, CFirmwareUpdate::Result::UpdateError);
        EXPECT_EQ(out.message, QLatin1String(kUpdateErrorText));
        EXPECT_EQ(fw.errorCode(), 7);
        EXPECT_FALSE(out.portOpenAtEnd);
        EXPECT_EQ(received(sim).size(), std::stoul(nak));
    }
    // The same object, a unit that accepts everything (0x02 for the header
    // and end records, 0x00 for the data).
    SimProcess sim;
    startSim(sim);
    const Outcome out = update(sim, firmwareLines(10), false, &fw);
    ASSERT_EQ(out.result, CFirmwareUpdate::Result::Success) << out.message.toStdString();
    EXPECT_EQ(fw.errorCode(), 0);
    EXPECT_EQ(fw.recordsAcknowledged(), 10);
    EXPECT_EQ(received(sim).size(), 10u);
}

TEST_F(FirmwareUpdate, EveryPhaseThatGetsNoAnswerTimesOutAndClosesThePort)
{
    UpdateTimings t = quickTimings();
    t.loaderTimeoutMs = 300;
    t.eraseTimeoutMs = 300;
    t.recordTimeoutMs = 300;
    // Replies before the silence: knock; announcement; checksum; start;
    // erase requests and sectors; the programming request and records.
    struct Case {
        const char *silentAfter;
        CFirmwareUpdate::Phase phase;
    };
    for (const Case &c : {Case{"1", CFirmwareUpdate::Phase::Announced}, Case{"2", CFirmwareUpdate::Phase::LoaderSent},
                          Case{"3", CFirmwareUpdate::Phase::LoaderAccepted}, Case{"4", CFirmwareUpdate::Phase::Erasing},
                          Case{"7", CFirmwareUpdate::Phase::Erasing}, Case{"12", CFirmwareUpdate::Phase::Programming},
                          Case{"15", CFirmwareUpdate::Phase::Programming}}) {
        SCOPED_TRACE(std::string("silent after ") + c.silentAfter);
        SimProcess sim;
        startSim(sim, {"--fw-silent-after", c.silentAfter});
        CFirmwareUpdate fw;
        CFirmwareUpdate::Phase last = CFirmwareUpdate::Phase::Idle;
        QObject::connect(&fw, &CFirmwareUpdate::phaseChanged, [&](CFirmwareUpdate::Phase p) {
            if (p != CFirmwareUpdate::Phase::Idle) last = p;
        });
        const Outcome out = update(sim, firmwareLines(10), false, &fw, t);
        EXPECT_EQ(out.result, CFirmwareUpdate::Result::Timeout);
        EXPECT_EQ(out.message, QLatin1String(kTimeoutErrorText));
        EXPECT_TRUE(out.log.endsWith(QStringLiteral("\r\nA Timeout error occured !")));
        EXPECT_FALSE(out.portOpenAtEnd);
        EXPECT_EQ(last, c.phase);
    }
}

TEST_F(FirmwareUpdate, NothingIsSentWithoutAFileAnImageOrSoundRecordsToProgram)
{
    SimProcess sim;
    startSim(sim);
    CFirmwareUpdate fw;
    QSignalSpy finished(&fw, &CFirmwareUpdate::finished);
    const QString port = QString::fromStdString(sim.link());
    EXPECT_FALSE(fw.start(port, QStringLiteral("/nonexistent/zar40.mhx"), m_image, false));
    const fs::path file = fs::temp_directory_path() / ("zar40-fw-nodata-" + std::to_string(getpid()) + ".mhx");
    writeLines(file, {kHeader, s2(0x0F0000), "S804010000FA"});
    EXPECT_FALSE(fw.start(port, QString::fromStdString(file.string()), m_image, true));
    std::string damaged = s2(0x010010);
    damaged.back() = damaged.back() == '0' ? '1' : '0';
    writeLines(file, {s2(0x010000), damaged});
    EXPECT_FALSE(fw.start(port, QString::fromStdString(file.string()), m_image, false));
    fs::remove(file);
    ASSERT_EQ(finished.size(), 3);
    EXPECT_EQ(finished[0][1].toString(), QLatin1String(kFileOpenErrorText));
    EXPECT_EQ(finished[1][0].value<CFirmwareUpdate::Result>(), CFirmwareUpdate::Result::NothingToProgram);
    EXPECT_EQ(finished[2][0].value<CFirmwareUpdate::Result>(), CFirmwareUpdate::Result::DamagedFile);
    EXPECT_FALSE(fw.channel().isOpen());
    EXPECT_TRUE(received(sim).empty());
}

// The boot loader's checksum reply is compared with the image sent, so only
// the byte sum of the maker's loader tells a wrong image before the
// processor runs it.
TEST_F(FirmwareUpdate, OnlyALoaderWithTheMakersByteSumReachesThePort)
{
    EXPECT_EQ(imageChecksum(QByteArray("\xFF\xFF\x02", 3)), 0x0200);
    EXPECT_EQ(m_image.checksum(), kFlashLoaderChecksum);

    QString error;
    EXPECT_FALSE(loadFlashLoader(QStringLiteral("/nonexistent/ZAR40-flashloader.bin"), &error));
    EXPECT_TRUE(error.contains(QLatin1String("missing")));
    EXPECT_FALSE(loadFlashLoader(QStringLiteral(PLACEHOLDER_LOADER), &error));
    EXPECT_TRUE(error.contains(QLatin1String("byte sum 0x86BB, not 0x4BA4"))) << error.toStdString();

    QFile placeholderFile(QStringLiteral(PLACEHOLDER_LOADER));
    ASSERT_TRUE(placeholderFile.open(QIODevice::ReadOnly));
    QByteArray oneBitOff = m_image.bytes;
    oneBitOff[4000] = char(oneBitOff[4000] ^ 0x01);
    const std::pair<const char *, QByteArray> wrong[] = {
        {"one bit off", oneBitOff}, {"placeholder", placeholderFile.readAll()}, {"short", m_image.bytes.left(100)}};

    SimProcess sim;
    startSim(sim);
    const fs::path file = fs::temp_directory_path() / ("zar40-fw-loader-" + std::to_string(getpid()) + ".mhx");
    writeLines(file, firmwareLines(5));
    for (const auto &[what, bytes] : wrong) {
        CFirmwareUpdate fw;
        QSignalSpy finished(&fw, &CFirmwareUpdate::finished);
        QSignalSpy phases(&fw, &CFirmwareUpdate::phaseChanged);
        EXPECT_FALSE(fw.start(QString::fromStdString(sim.link()), QString::fromStdString(file.string()),
                              FlashLoaderImage{bytes, {}}, false))
            << what;
        ASSERT_EQ(finished.size(), 1) << what;
        EXPECT_EQ(finished[0][0].value<CFirmwareUpdate::Result>(), CFirmwareUpdate::Result::LoaderError) << what;
        EXPECT_TRUE(phases.isEmpty()) << what; // never knocked: the port was not opened
        EXPECT_FALSE(fw.channel().isOpen()) << what;
        if (bytes.size() == kFlashLoaderSize) {
            EXPECT_TRUE(finished[0][1].toString().contains(
                QStringLiteral("0x%1, not 0x4BA4").arg(QString::number(imageChecksum(bytes), 16).toUpper())))
                << finished[0][1].toString().toStdString();
        }
    }
    fs::remove(file);
    EXPECT_TRUE(received(sim).empty());
}

} // namespace
