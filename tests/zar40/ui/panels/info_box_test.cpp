// The preset information box: the name rules of the record's texts, edits
// reported once when finished, and a lock that can always be released.
#include "panels_test_support.h"
#include "zar40/ui/panels/PresetInfoBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>

using namespace zar40::panels;
namespace preset = zar40::preset;
using panels_test::typeInto;

class PresetInfoBox : public panels_test::PanelTest {};

TEST_F(PresetInfoBox, NameFieldsDropRefusedCharactersAndKeepTheirWidth)
{
    CPresetInfoBox box;
    QSignalSpy names(&box, &CPresetInfoBox::channelNameEdited);
    QSignalSpy presetNames(&box, &CPresetInfoBox::nameEdited);
    QSignalSpy authors(&box, &CPresetInfoBox::authorEdited);

    typeInto(box.channelNameField(5), QStringLiteral("%a'b*c\"d+e?f>g<h:i\\jk"));
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(names[0][0].toInt(), 5);
    EXPECT_EQ(names[0][1].toString(), QStringLiteral("abcdefgh"));
    // A pasted text too: refused characters go before the width is counted.
    box.nameField()->selectAll();
    box.nameField()->insert(QStringLiteral("Stage:Left*Main**Hall"));
    QTest::keyClick(box.nameField(), Qt::Key_Return);
    ASSERT_EQ(presetNames.size(), 1);
    EXPECT_EQ(presetNames[0][0].toString(), QStringLiteral("StageLeftMainHal"));
    // Windows-1252 holds "é" and "€"; it has no "中", which the record would
    // keep as a refused "?".
    box.authorField()->selectAll();
    box.authorField()->insert(QStringLiteral("é€中xyzuvwq"));
    QTest::keyClick(box.authorField(), Qt::Key_Return);
    ASSERT_EQ(authors.size(), 1);
    EXPECT_EQ(authors[0][0].toString(), QStringLiteral("é€xyzuvw"));
    // Finishing again with the same text reports nothing.
    QTest::keyClick(box.authorField(), Qt::Key_Return);
    EXPECT_EQ(authors.size(), 1);
}

TEST_F(PresetInfoBox, LockBoxStaysUsableWhileTheEditorsAreDisabled)
{
    CPresetInfoBox box;
    QSignalSpy lock(&box, &CPresetInfoBox::lockToggled);
    preset::PresetRecord record = preset::startupPreset(3);
    record.PRESET_FLAGS = 0x00010003;
    box.setRecord(record);
    EXPECT_TRUE(box.lockBox()->isChecked());
    EXPECT_TRUE(box.lockBox()->isEnabled());
    EXPECT_FALSE(box.nameField()->isEnabled());
    EXPECT_FALSE(box.channelNameField(8)->isEnabled());
    EXPECT_EQ(box.nameField()->text(), QStringLiteral("Preset 4"));
    EXPECT_EQ(lock.size(), 0);

    QTest::mouseClick(box.lockBox(), Qt::LeftButton);
    ASSERT_EQ(lock.size(), 1);
    EXPECT_FALSE(lock[0][0].toBool());
    EXPECT_TRUE(box.nameField()->isEnabled());

    box.setEditorsEnabled(false);
    EXPECT_FALSE(box.authorField()->isEnabled());
    EXPECT_TRUE(box.lockBox()->isEnabled());
}
