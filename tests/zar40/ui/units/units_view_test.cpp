// The units window on a rig of three simulated units: what a scan lists, a
// command on the selected unit only, the confirmation that names the units,
// and an accessible name on every control.
#include "ScriptedUserPrompts.h"
#include "SimProcess.h"
#include "UnitsView.h"
#include "virtual_bus.h"

#include "zar40/comm/BusScheduler.h"
#include "zar40/comm/shared_can_bus.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using zar40::editor::RigSession;

namespace {

// Bounds only; nothing here is timed.
constexpr int kLimitMs = 20000;

QApplication &app()
{
    static int argc = 1;
    static char name[] = "zar40-ui-units-tests";
    static char *argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

class UnitsView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { app(); }
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus.*.info=false"));
        m_interface = vrntest::freeVirtualBus();
        m_sim = std::make_unique<vrntest::SimProcess>(std::vector<std::string>{
            "--can", "virtualcan:" + m_interface.toStdString(), "--net-ids", "3,17,20"});
        ASSERT_NE(m_sim->readyLine().find("net-ids 3,17,20"), std::string::npos);
        m_bus = std::make_unique<zar40::comm::SharedCanBus>(canbus::BusAddress{QStringLiteral("virtualcan"), m_interface});
        QString why;
        ASSERT_TRUE(m_bus->open(&why)) << why.toStdString();
        m_view.setSession(std::make_unique<RigSession>(&m_bus->scheduler(), QStringLiteral("virtualcan")));
        // The units join the virtual bus a moment after the simulator says
        // it is ready: scan until all three answer.
        for (int attempt = 0; attempt < 5 && m_view.table()->rowCount() < 3; ++attempt) {
            QSignalSpy done(m_view.session(), &RigSession::scanFinished);
            m_view.scan();
            ASSERT_TRUE(done.wait(kLimitMs));
        }
        ASSERT_EQ(m_view.table()->rowCount(), 3);
    }

    std::unique_ptr<vrntest::SimProcess> m_sim;
    QString m_interface;
    std::unique_ptr<zar40::comm::SharedCanBus> m_bus;
    CUnitsView m_view{};
    ScriptedUserPrompts m_prompts;
    ScopedUserPrompts m_scoped{m_prompts};
};

} // namespace

TEST(UnitsScan, ABusThatCannotBeReachedIsAskedForOnceNotForEveryNetId)
{
    app();
    zar40::comm::BusScheduler scheduler([](std::uint32_t, const zar40::codec::MessageBytes &) { return false; });
    int asked = 0;
    RigSession session(&scheduler, QStringLiteral("CAN"), [&](int) {
        ++asked;
        return RigSession::ClaimResult::Unreachable;
    });
    QSignalSpy done(&session, &RigSession::scanFinished);
    session.scan();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(done.count(), 1);
    EXPECT_FALSE(session.isScanning());
    EXPECT_TRUE(session.netIds().isEmpty());
}

TEST_F(UnitsView, ListsEachUnitWithItsIdentity)
{
    QTableWidget *t = m_view.table();
    EXPECT_EQ(t->item(1, CUnitsView::NetId)->text(), "17");
    EXPECT_EQ(t->item(1, CUnitsView::Name)->text(), "ZAR40 Sim 17");
    EXPECT_EQ(t->item(1, CUnitsView::Number)->text(), "K000017");
    EXPECT_EQ(t->item(1, CUnitsView::Slot)->text(), "1");
    EXPECT_EQ(t->item(1, CUnitsView::Firmware)->text(), "1.5");
    // Meters come in for every unit.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (int id : {3, 17, 20})
            if (!m_view.session()->unit(id)->hasMuteState) return false;
        return true;
    }, kLimitMs));
}

TEST_F(UnitsView, MuteGoesOnlyToTheSelectedUnitsAfterAConfirmationNamingThem)
{
    auto *scope = m_view.findChild<QComboBox *>(QStringLiteral("scopeCombo"));
    scope->setCurrentIndex(1);
    m_view.table()->selectRow(1);
    ASSERT_EQ(m_view.targetUnits(), QList<int>{17});

    // Declined: nothing is sent.
    m_prompts.answerNo();
    m_view.mute(true);
    EXPECT_FALSE(m_view.session()->isRunning());

    m_prompts.answerYes();
    QSignalSpy finished(m_view.session(), &RigSession::commandFinished);
    m_view.mute(true);
    ASSERT_TRUE(finished.wait(kLimitMs));
    EXPECT_EQ(finished.front().at(0).toInt(), 1);
    EXPECT_EQ(finished.front().at(1).toInt(), 0);
    const auto shown = m_prompts.shown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.back().text, "Mute all outputs of Net-ID 17 \"ZAR40 Sim 17\"?");
    EXPECT_EQ(m_view.table()->item(1, CUnitsView::Status)->text(), "Done");

    // Outputs 1 to 6 are channel indices 3 to 8.
    const std::uint32_t outputs = 0x1F8;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (m_view.session()->unit(17)->muteState & outputs) == outputs; }, kLimitMs));
    EXPECT_EQ(m_view.session()->unit(3)->muteState & outputs, 0u);
    EXPECT_EQ(m_view.session()->unit(20)->muteState & outputs, 0u);
}

TEST_F(UnitsView, AFailingUnitIsReportedOnItsOwnRow)
{
    // Restore from a folder that holds nothing for any unit: each fails
    // alone, with its reason on its row.
    QTemporaryDir empty;
    m_prompts.answerText(empty.path()).answerYes();
    QSignalSpy finished(m_view.session(), &RigSession::commandFinished);
    m_view.restore();
    ASSERT_TRUE(finished.wait(kLimitMs));
    EXPECT_EQ(finished.front().at(1).toInt(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(m_view.table()->item(row, CUnitsView::Status)->text().contains("holds no slot-NN.vpx"))
            << m_view.table()->item(row, CUnitsView::Status)->text().toStdString();
}

TEST_F(UnitsView, EveryControlHasAnAccessibleName)
{
    QList<QWidget *> controls;
    for (QWidget *w : m_view.findChildren<QWidget *>())
        if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QSpinBox *>(w) ||
            qobject_cast<QTableWidget *>(w) || w->inherits("CUnitMeters") || w->inherits("QProgressBar"))
            controls << w;
    EXPECT_GT(controls.size(), 10);
    for (QWidget *w : controls)
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
}
