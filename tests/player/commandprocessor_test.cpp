#include <gtest/gtest.h>

#include "../support/fakes.h"
#include "core/commandprocessor.h"
#include "rules/commandurl.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakeMediaEngine;
using testing::FakePane;
using testing::FakePlayBar;
using testing::FakePrompts;

// A command processor on fakes, counting the unloads it asks for.
struct CommandRig {
    FakeMediaEngine engine;
    FakePlayBar playBar;
    FakePrompts prompts;
    FakePane mainPane;
    PlaybackController playback{engine, playBar, prompts};
    int unloads = 0;
    CommandProcessor commands{prompts, mainPane, playback, [this] { ++unloads; }};
};

class ExecuteCommandTest : public ::testing::Test, protected CommandRig {};

TEST_F(ExecuteCommandTest, PlayDecodesScreensAndStartsTheStream) {
    engine.setAvailable(false, true, true);
    EXPECT_TRUE(
        commands.executeCommand(u"play"_s, u"http%3A%2F%2F127.0.0.1%3A8000%2Flive"_s, false));
    EXPECT_EQ(engine.urls, QStringList{u"http://127.0.0.1:8000/live"_s});
    // The buttons follow the engine at once.
    EXPECT_TRUE(playBar.pauseVisible);
    EXPECT_TRUE(playBar.stopEnabled);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(mainPane.urls.isEmpty());
}

TEST_F(ExecuteCommandTest, PlayWithEmptyParametersSetsTheEmptyUrl) {
    EXPECT_TRUE(commands.executeCommand(u"play"_s, QString(), true));
    EXPECT_EQ(engine.urls, QStringList{QString()});
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ExecuteCommandTest, PlayOfARefusedSourceShowsTheRefusalOnly) {
    EXPECT_TRUE(commands.executeCommand(u"play"_s, u"http://WWW.TICKERTALK.EXAMPLE/live"_s, true));
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_EQ(prompts.messages, QStringList{kRefusedSourceMessage.toString()});
    EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
}

TEST_F(ExecuteCommandTest, PlayRefusesSchemesThatAreNoNetworkStream) {
    EXPECT_TRUE(commands.executeCommand(u"play"_s, u"file%3A%2F%2F%2Fetc%2Fpasswd"_s, false));
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_EQ(prompts.messages, QStringList{kMediaNotAllowedMessage.toString()});
}

TEST_F(ExecuteCommandTest, BrowseNavigatesTheMainPaneWithoutSourceCheck) {
    EXPECT_TRUE(commands.executeCommand(
        u"browse"_s, u"http%3A%2F%2Fwww.tickertalk.example%2Fshow%3Fa%3D1"_s, false));
    EXPECT_EQ(mainPane.urls, QStringList{u"http://www.tickertalk.example/show?a=1"_s});
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(engine.urls.isEmpty());
}

TEST_F(ExecuteCommandTest, BrowseRefusesPagesThatAreNoWebPages) {
    for (const QString& page : {u"javascript%3Aalert(1)"_s, u"file:///etc/passwd"_s, QString()}) {
        EXPECT_TRUE(commands.executeCommand(u"browse"_s, page, false));
    }
    EXPECT_TRUE(mainPane.urls.isEmpty());
    EXPECT_EQ(prompts.messages.size(), 3);
    EXPECT_EQ(prompts.messages.front(), kPageNotAllowedMessage.toString());
}

TEST_F(ExecuteCommandTest, BrowseAndPlayOpensPageThenMedia) {
    EXPECT_TRUE(commands.executeCommand(
        u"browseandplay"_s,
        u"infopage=http%3A%2F%2Fh%2Fp%3Fa%3D1%26b%3D2&media=http%3A%2F%2Fs%2Flive%3Fx%3D1%26y%3D2"_s,
        false));
    // Escaped "&" inside each part survive the split.
    EXPECT_EQ(mainPane.urls, QStringList{u"http://h/p?a=1&b=2"_s});
    EXPECT_EQ(engine.urls, QStringList{u"http://s/live?x=1&y=2"_s});
}

TEST_F(ExecuteCommandTest, BrowseAndPlayWithMalformedParametersOpensNothing) {
    for (const QString& parameters :
         {u"media=http://s/&infopage=http://h/"_s, u"infopage=&media=http://s/"_s,
          u"infopage=http://h/&media="_s, u"http://h/"_s}) {
        EXPECT_TRUE(commands.executeCommand(u"browseandplay"_s, parameters, false));
    }
    EXPECT_TRUE(mainPane.urls.isEmpty());
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_EQ(prompts.messages, QStringList(4, kInvalidParametersMessage.toString()));
}

TEST_F(ExecuteCommandTest, BrowseAndPlayWithARefusedOrForbiddenPartOpensNothing) {
    EXPECT_TRUE(commands.executeCommand(
        u"browseandplay"_s, u"infopage=http://h/&media=http://198.51.100.42:8010/x"_s, false));
    EXPECT_TRUE(commands.executeCommand(u"browseandplay"_s,
                                        u"infopage=javascript:x&media=http://s/live"_s, false));
    EXPECT_TRUE(commands.executeCommand(u"browseandplay"_s,
                                        u"infopage=http://h/&media=file:///tmp/a.mp3"_s, false));
    EXPECT_TRUE(mainPane.urls.isEmpty());
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_EQ(prompts.messages,
              (QStringList{kRefusedSourceMessage.toString(), kPageNotAllowedMessage.toString(),
                           kMediaNotAllowedMessage.toString()}));
}

TEST_F(ExecuteCommandTest, ScheduleIsDisabledAndEndsTheProgramOnlyFromTheCommandLine) {
    EXPECT_FALSE(commands.executeCommand(u"schedule"_s, u"anything"_s, false));
    EXPECT_EQ(unloads, 0);
    EXPECT_FALSE(commands.executeCommand(u"schedule"_s, QString(), true));
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(prompts.messages, QStringList(2, u"Feature disabled."_s));
}

TEST_F(ExecuteCommandTest, CommandWordsAreCaseSensitive) {
    EXPECT_TRUE(commands.executeCommand(u"Play"_s, u"http://s/live"_s, true));
    EXPECT_TRUE(commands.executeCommand(QString(), QString(), true));
    EXPECT_TRUE(commands.executeCommand(u"SCHEDULE"_s, QString(), true));
    EXPECT_EQ(prompts.messages, QStringList(3, u"Unknown command."_s));
    EXPECT_EQ(unloads, 0);
    EXPECT_TRUE(engine.urls.isEmpty());
}

// Start-up plans, each checked against what the command processor then really does.
class PlanStartTest : public ::testing::Test {
protected:
    struct Run {
        bool quiet = false;  // no message and no unload
        QString media;       // what reached the engine
    };

    // Runs `commandLine` as start-up would, on fakes.
    Run run(const QString& commandLine) {
        CommandRig rig;
        if (const std::optional<CommandUrl> command = matchCommandUrl(commandLine)) {
            rig.commands.executeCommand(command->command, command->parameters, true);
        }
        return {rig.prompts.messages.isEmpty() && rig.unloads == 0,
                rig.engine.urls.isEmpty() ? QString() : rig.engine.urls.last()};
    }

    // The plan for `commandLine`, after checking that it foretells the real run.
    StartPlan plan(const QString& commandLine) {
        const StartPlan planned = planStart(commandLine);
        const Run real = run(commandLine);
        EXPECT_EQ(planned.quiet, real.quiet) << commandLine.toStdString();
        EXPECT_EQ(planned.media, real.media) << commandLine.toStdString();
        return planned;
    }
};

TEST_F(PlanStartTest, NoCommandIsQuietAndPlaysNothing) {
    for (const QString& commandLine :
         {QString(), u" "_s, u"\"lyrev:play?http://s/live\""_s, u"lyrev:play"_s, u"http://s/live"_s,
          u"lyrevplay?x"_s, u"lyrev:play?http://s/\nlive"_s}) {
        const StartPlan planned = plan(commandLine);
        EXPECT_TRUE(planned.quiet) << commandLine.toStdString();
        EXPECT_TRUE(planned.media.isEmpty()) << commandLine.toStdString();
    }
}

TEST_F(PlanStartTest, PlayOfAnAcceptedStreamIsQuietAndNamesTheDecodedStream) {
    const StartPlan planned =
        plan(u"LYREV:play?http%3A%2F%2F127.0.0.1%3A8000%2Flive%3Fa%3D1%26b"_s);
    EXPECT_TRUE(planned.quiet);
    EXPECT_EQ(planned.media, u"http://127.0.0.1:8000/live?a=1&b"_s);
    // Unescaped, as the scheduler hands it over; a second "?" belongs to the stream.
    EXPECT_EQ(plan(u"lyrev:play?mms://s/live?x=1"_s).media, u"mms://s/live?x=1"_s);
    // Empty parameters: the engine gets the empty URL, and nothing is shown.
    EXPECT_TRUE(plan(u"lyrev:play?"_s).quiet);
}

TEST_F(PlanStartTest, RefusedOrForbiddenStreamsAreNotQuiet) {
    for (const QString& commandLine :
         {u"lyrev:play?http://WWW.TICKERTALK.EXAMPLE/live"_s,
          u"lyrev:play?http%3A%2F%2F198.51.100.42%3A8010%2Fx"_s,
          u"lyrev:play?http://s/live?ref=www.tickertalk.example"_s,
          u"lyrev:play?file%3A%2F%2F%2Fetc%2Fpasswd"_s, u"lyrev:play?javascript:x"_s}) {
        const StartPlan planned = plan(commandLine);
        EXPECT_FALSE(planned.quiet) << commandLine.toStdString();
        EXPECT_TRUE(planned.media.isEmpty()) << commandLine.toStdString();
    }
}

TEST_F(PlanStartTest, BrowseIsQuietOnlyForWebPages) {
    const StartPlan page = plan(u"lyrev:browse?http%3A%2F%2Fwww.tickertalk.example%2Fshow"_s);
    EXPECT_TRUE(page.quiet);
    EXPECT_TRUE(page.media.isEmpty());
    EXPECT_TRUE(plan(u"lyrev:browse?about:blank"_s).quiet);
    for (const QString& commandLine : {u"lyrev:browse?"_s, u"lyrev:browse?javascript%3Aalert(1)"_s,
                                       u"lyrev:browse?file:///etc/passwd"_s}) {
        EXPECT_FALSE(plan(commandLine).quiet) << commandLine.toStdString();
    }
}

TEST_F(PlanStartTest, BrowseAndPlayDecodesEachPartByItself) {
    const StartPlan planned = plan(
        u"lyrev:browseandplay?infopage=http%3A%2F%2Fh%2Fp%3Fa%3D1%26media%3D2"
        u"&media=http%3A%2F%2Fs%2Flive%3Fx%3D1%26y%3D2"_s);
    EXPECT_TRUE(planned.quiet);
    EXPECT_EQ(planned.media, u"http://s/live?x=1&y=2"_s);
    // The first "&media=" splits: the rest, with its own "&media=", is the stream.
    EXPECT_EQ(plan(u"lyrev:browseandplay?infopage=http://h/&media=http://s/a&media=b"_s).media,
              u"http://s/a&media=b"_s);
}

TEST_F(PlanStartTest, BrowseAndPlayWithAnyBadPartIsNotQuiet) {
    for (const QString& parameters :
         {u"media=http://s/&infopage=http://h/"_s, u"infopage=&media=http://s/"_s,
          u"infopage=http://h/&media="_s, u"http://h/"_s,
          u"infopage=http://h/&media=http://198.51.100.42:8010/x"_s,
          u"infopage=javascript:x&media=http://s/live"_s,
          u"infopage=http://h/&media=file:///tmp/a.mp3"_s}) {
        const StartPlan planned = plan(u"lyrev:browseandplay?"_s + parameters);
        EXPECT_FALSE(planned.quiet) << parameters.toStdString();
        EXPECT_TRUE(planned.media.isEmpty()) << parameters.toStdString();
    }
}

TEST_F(PlanStartTest, ScheduleAndUnknownCommandsAreNotQuiet) {
    for (const QString& commandLine :
         {u"lyrev:schedule?anything"_s, u"lyrev:schedule?"_s, u"lyrev:Play?http://s/live"_s,
          u"lyrev:?http://s/live"_s, u"lyrev:stop?"_s}) {
        EXPECT_FALSE(plan(commandLine).quiet) << commandLine.toStdString();
    }
}

}  // namespace
}  // namespace lyrevane
