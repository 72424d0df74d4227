#include "ScriptedUserPrompts.h"
#include "StringTable.h"

#include <gtest/gtest.h>

namespace {

using Icon = UserPrompts::Icon;
using Buttons = UserPrompts::Buttons;
using Answer = UserPrompts::Answer;

// A scripted answerer whose failures are test failures instead of an abort.
struct CollectingPrompts : ScriptedUserPrompts
{
    QStringList why;
    CollectingPrompts()
    {
        setFailureHandler([this](const QString &w) { why << w; });
    }
};

TEST(ScriptedUserPrompts, AnswersInOrderAndRecordsEveryPrompt)
{
    CollectingPrompts p;
    ScopedUserPrompts scope(p);
    p.answerYes().answerNo().answerCancel().answerOk();

    UserPrompts &up = UserPrompts::current();
    EXPECT_TRUE(up.questionYesNo("first?"));
    EXPECT_FALSE(up.questionYesNo("second?"));
    EXPECT_EQ(up.questionYesNoCancel("third?"), Answer::Cancel);
    up.exclamation("careful");

    const auto shown = p.shown();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0].icon, Icon::Question);
    EXPECT_EQ(shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(shown[2].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(shown[3].icon, Icon::Exclamation);
    EXPECT_EQ(shown[3].buttons, Buttons::Ok);
    EXPECT_EQ(p.texts(), (QStringList{"first?", "second?", "third?", "careful"}));
    EXPECT_EQ(p.pendingAnswers(), 0);
    EXPECT_TRUE(p.why.isEmpty());
}

TEST(ScriptedUserPrompts, UnscriptedOrUnfittingPromptFailsWithCautiousAnswer)
{
    CollectingPrompts p;
    ScopedUserPrompts scope(p);

    // Nothing queued.
    EXPECT_EQ(UserPrompts::current().questionYesNoCancel("Store Preset?"), Answer::Cancel);
    EXPECT_FALSE(UserPrompts::current().questionYesNo("Close VRN-Control?"));
    UserPrompts::current().error("broken");
    ASSERT_EQ(p.why.size(), 3);
    EXPECT_TRUE(p.why[0].contains("Store Preset?"));

    // Ok does not answer a Yes/No question, and a message answer is no file.
    p.answerOk();
    EXPECT_FALSE(UserPrompts::current().questionYesNo("Really?"));
    EXPECT_TRUE(UserPrompts::current().openFileName({"Open", {}, {}, {}}, nullptr).isEmpty());
    EXPECT_EQ(p.failures(), 5);
    EXPECT_EQ(p.shown().size(), 5);
}

TEST(ScriptedUserPrompts, NoticesCanBeAcknowledgedAutomaticallyButQuestionsCannot)
{
    CollectingPrompts p;
    p.setAcknowledgeNotices(true);
    ScopedUserPrompts scope(p);
    UserPrompts::current().information("Module was connected!");
    EXPECT_TRUE(p.why.isEmpty());
    EXPECT_FALSE(UserPrompts::current().questionYesNo("Close VRN-Control?"));
    EXPECT_EQ(p.why.size(), 1);
    EXPECT_EQ(p.shown().size(), 2);
}

TEST(ScriptedUserPrompts, FilesTextsAndChoices)
{
    CollectingPrompts p;
    ScopedUserPrompts scope(p);
    p.answerFile("/tmp/a.vpx").answerFile({}).answerText("secret").cancelText().answerChoice(1).answerChoice(5);

    UserPrompts &up = UserPrompts::current();
    EXPECT_EQ(up.openFileName({"Open Preset", {}, "Preset (*.vpx)", {}}, nullptr), "/tmp/a.vpx");
    EXPECT_TRUE(up.saveFileName({"Save Preset", {}, {}, "vpx"}, nullptr).isEmpty());
    EXPECT_EQ(up.textInput({"Enter Password", "Password:", {}, true}, nullptr), std::optional<QString>("secret"));
    EXPECT_EQ(up.textInput({"Enter Password", "Password:", {}, true}, nullptr), std::nullopt);
    EXPECT_EQ(up.chooseItem("New", "Type", {"ZAR40", "NOV"}, nullptr), std::optional<int>(1));
    // A scripted index beyond the list is a fault of the test, not an answer.
    EXPECT_EQ(up.chooseItem("New", "Type", {"ZAR40", "NOV"}, nullptr), std::nullopt);
    EXPECT_EQ(p.why.size(), 1);

    const auto shown = p.shown();
    ASSERT_EQ(shown.size(), 6);
    EXPECT_EQ(shown[0].kind, ScriptedUserPrompts::Kind::OpenFile);
    EXPECT_EQ(shown[0].filter, "Preset (*.vpx)");
    EXPECT_EQ(shown[1].kind, ScriptedUserPrompts::Kind::SaveFile);
    EXPECT_TRUE(shown[2].password);
    EXPECT_EQ(shown[4].items.size(), 2);
}

TEST(ScriptedUserPrompts, InstallRestoresPrevious)
{
    ScriptedUserPrompts outer, inner;
    UserPrompts *before = &UserPrompts::current();
    {
        ScopedUserPrompts a(outer);
        EXPECT_EQ(&UserPrompts::current(), &outer);
        {
            ScopedUserPrompts b(inner);
            EXPECT_EQ(&UserPrompts::current(), &inner);
        }
        EXPECT_EQ(&UserPrompts::current(), &outer);
    }
    EXPECT_EQ(&UserPrompts::current(), before);
}

TEST(ScriptedUserPromptsDeathTest, DefaultHandlerAbortsLoudly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            ScriptedUserPrompts p;
            ScopedUserPrompts scope(p);
            UserPrompts::current().questionYesNo("Close VRN-Control?");
        },
        "no scripted answer.*Close VRN-Control\\?");
}

TEST(StringTable, EntryFallbackAndRemoval)
{
    StringTable t{{4002, "Build"}, {4011, "Close VRN-Control?"}, {4004, "Wrong operating system!\nCurrent OS: ######"}};
    EXPECT_EQ(t.text(4011, "fallback"), "Close VRN-Control?");
    EXPECT_EQ(t.load(4004), "Wrong operating system!\nCurrent OS: ######");
    EXPECT_TRUE(t.load(4999).isEmpty());
    EXPECT_EQ(t.text(4999, "Start VRN-Control"), "Start VRN-Control");

    t.remove(4002);
    EXPECT_FALSE(t.contains(4002));
    EXPECT_EQ(t.text(4002, "Build"), "Build");
    EXPECT_EQ(t.text(4002, "other"), "other");
    t.set(4002, QString::fromUtf8("Baustand äöü"));
    EXPECT_EQ(t.text(4002, "Build"), QString::fromUtf8("Baustand äöü"));
}

} // namespace
