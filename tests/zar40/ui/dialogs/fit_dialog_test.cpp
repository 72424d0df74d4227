// "Fit EQ...": what the user sees and what Apply hands over.
#include "FitEqDlg.h"

#include "fit_cases.h"
#include "ScriptedUserPrompts.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace ms = zar40::measurement;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char name[] = "fit-dialog-test";
    static char *argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

} // namespace

TEST(FitEqDialog, FitsShowsTheResidualAndAppliesOnlyAFreshBetterFit)
{
    app();
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scoped(prompts);
    const fitcases::Case c = fitcases::deviceBands(3, 0.0);
    ms::FitOptions defaults;
    defaults.usable.fill(true);
    std::optional<ms::Bands> applied;
    CFitEqDlg dialog(nullptr, QStringLiteral("Input A"), c.measurement, ms::Bands{}, defaults,
                     [&](const ms::Bands &b) { applied = b; });

    // Every control says what it is.
    for (QWidget *w : dialog.findChildren<QWidget *>()) {
        if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className() << " " << w->objectName().toStdString();
        }
    }

    auto *apply = dialog.findChild<QPushButton *>("fitApply");
    auto *report = dialog.findChild<QLabel *>("fitReport");
    ASSERT_TRUE(apply && report);
    EXPECT_FALSE(apply->isEnabled());
    dialog.accept();
    EXPECT_FALSE(applied.has_value());

    ASSERT_TRUE(dialog.fit());
    EXPECT_TRUE(report->text().contains("Residual before")) << report->text().toStdString();
    ASSERT_TRUE(dialog.result().has_value());
    EXPECT_LT(dialog.result()->after.rmsDb, 0.5);
    EXPECT_TRUE(apply->isEnabled());

    // Another option makes the shown result stale.
    dialog.findChild<QDoubleSpinBox *>("fitMaxBoost")->setValue(3.0);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_FALSE(dialog.result().has_value());
    ASSERT_TRUE(dialog.fit());
    EXPECT_EQ(dialog.options().maxBoostDb, 3.0);
    dialog.accept();
    ASSERT_TRUE(applied.has_value());
    for (std::size_t b = 0; b < applied->size(); ++b) {
        EXPECT_EQ((*applied)[b].type, dialog.result()->bands[b].type);
        EXPECT_EQ((*applied)[b].frequencyHz, dialog.result()->bands[b].frequencyHz);
        EXPECT_EQ((*applied)[b].gainDb, dialog.result()->bands[b].gainDb);
    }
}

TEST(FitEqDialog, TargetFilesAreReadAndRefusedWithTheirLine)
{
    app();
    ScriptedUserPrompts prompts;
    prompts.setAcknowledgeNotices(true);
    ScopedUserPrompts scoped(prompts);
    const fitcases::Case c = fitcases::deviceBands(1, 0.0);
    CFitEqDlg dialog(nullptr, QStringLiteral("Output 1"), c.measurement, ms::Bands{}, ms::FitOptions{}, {});
    auto *target = dialog.findChild<QComboBox *>("fitTarget");
    target->setCurrentIndex(2);
    EXPECT_FALSE(dialog.findChild<QPushButton *>("fitRun")->isEnabled()); // no file yet

    QTemporaryDir dir;
    std::ofstream(dir.filePath("bad.txt").toStdString()) << "20 1\n30 x\n";
    EXPECT_FALSE(dialog.setTargetFile(dir.filePath("bad.txt")));
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts().first().contains("line 2")) << prompts.texts().first().toStdString();

    std::ofstream(dir.filePath("target.txt").toStdString()) << "10 0\n30000 -6\n";
    ASSERT_TRUE(dialog.setTargetFile(dir.filePath("target.txt")));
    EXPECT_TRUE(dialog.findChild<QPushButton *>("fitRun")->isEnabled());
    EXPECT_EQ(dialog.options().target.kind, ms::TargetKind::File);
    EXPECT_EQ(dialog.options().target.file.size(), 2u);
}
