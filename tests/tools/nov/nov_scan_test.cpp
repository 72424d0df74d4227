#include "nov_test_support.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using novtest::SimProgram;

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun nov(const QStringList &arguments)
{
    QProcess p;
    p.start(NOV_TOOL, arguments);
    ToolRun r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList scanArgs(int portOffset)
{
    return {"scan", "--broadcast", novtest::loopbackBroadcast(), "--port", QString::number(novtest::testPort(portOffset)),
            "--wait-ms", "600"};
}

QStringList simArgs(const char *http, const char *reply, const char *serial)
{
    return {"--port", QString::number(novtest::testPort()), "--udp-bind", novtest::loopbackBroadcast(), "--http", http,
            "--reply", reply, "--serial", serial, "--quiet"};
}

class NovScanTool : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "nov-tool-tests";
        static char *argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
};

TEST_F(NovScanTool, ListsTwoSimulatedModules)
{
    SimProgram stage(NOV_SIM, simArgs("127.0.0.2:0", "AB123 7 {http} x y Stage left", "SN-0001"));
    SimProgram plain(NOV_SIM, simArgs("127.0.0.3:0", "CD456 1 {http} x y ", "SN-0002"));
    ASSERT_TRUE(stage.ready() && plain.ready());

    const ToolRun text = nov(scanArgs(0));
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << text.out.toStdString();
    const QString stageLine = lines.filter("Stage left").value(0);
    EXPECT_TRUE(stageLine.contains("127.0.0.2:") && stageLine.contains("SN-0001")) << text.out.toStdString();
    const QString plainLine = lines.filter("127.0.0.3:").value(0);
    EXPECT_TRUE(plainLine.contains("SN-0002")) << text.out.toStdString();

    const ToolRun json = nov(scanArgs(0) << "--json");
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray modules = doc.value("modules").toArray();
    ASSERT_EQ(modules.size(), 2) << json.out.toStdString();
    QStringList serials;
    for (const QJsonValue &m : modules)
        serials << m.toObject().value("serialNumber").toString();
    serials.sort();
    EXPECT_EQ(serials, (QStringList{"SN-0001", "SN-0002"}));
}

TEST_F(NovScanTool, NobodyAnsweringExitsWithOneAndNamesTheInterfaces)
{
    const ToolRun r = nov(scanArgs(1));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("No module answered")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("127.255.255.255") && r.out.contains("lo (127.0.0.1")) << r.out.toStdString();
}

TEST_F(NovScanTool, UsageErrorsExitWithTwo)
{
    for (const QStringList &args : {QStringList{}, QStringList{"find"}, QStringList{"scan", "--port", "0"},
                                    QStringList{"scan", "--broadcast", "10.0.0"}, QStringList{"scan", "--wait-ms"},
                                    QStringList{"scan", "--verbose"}}) {
        const ToolRun r = nov(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Usage: nov scan")) << args.join(' ').toStdString();
    }
}

} // namespace
