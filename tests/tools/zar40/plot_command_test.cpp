// "zar40 plot" run as a user runs it, without a display of any kind.
#include "ChildProcess.h"
#include "zar40/preset/preset_files.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(PlotCommand, DrawsPngAndSvgWithoutADisplay)
{
    const fs::path tool = vrntest::binProgram("zar40");
    ASSERT_TRUE(fs::exists(tool)) << tool << " is not built";
    std::string templ = (fs::temp_directory_path() / "zar40-plot-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    const std::string dir = templ;
    zar40::preset::PresetRecord record{};
    zar40::preset::fillDefaultPreset(record);
    record.outputs[0].highCut = {2, 1000, 4};
    ASSERT_TRUE(zar40::preset::writeXmlPresetFile(record, dir + "/p.vpx"));
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"plot", dir + "/p.vpx"});
        return vrntest::runProgram(tool, std::move(args)).status;
    };
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ASSERT_EQ(run({"--diagram", "xover-magnitude", "--output", "1", "--size", "640x320", "-o", dir + "/x.png"}), 0);
    const QImage image(QString::fromStdString(dir + "/x.png"));
    ASSERT_EQ(image.size(), QSize(640, 320));
    EXPECT_EQ(image.pixel(38, 29), qRgb(0, 37, 76));
    EXPECT_EQ(run({"--diagram", "eq-phase", "--channel", "3", "--limits", "-90,90", "-o", dir + "/e.svg"}), 0);
    EXPECT_GT(fs::file_size(dir + "/e.svg"), 1000u);
    EXPECT_EQ(run({"--diagram", "eq-phase", "--output", "1", "-o", dir + "/e.png"}), 2);
    EXPECT_EQ(run({"--diagram", "dynamics", "--output", "1", "--limits", "5,5", "-o", dir + "/d.png"}), 2);
    fs::remove_all(dir);
}
