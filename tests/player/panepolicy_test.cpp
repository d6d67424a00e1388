#include "core/panepolicy.h"

#include <gtest/gtest.h>

#include "../support/fakes.h"
#include "core/panerecovery.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

TEST(CommandOrigin, OnlyTheTopPagesSiteRunsCommands) {
    struct Case {
        QString top;
        QString initiator;
        CommandOrigin expected;
    };
    const Case cases[] = {
        {u"http://127.0.0.1:8080/player_interviews.shtml"_s, u"http://127.0.0.1:8080"_s,
         CommandOrigin::SameSite},
        // Ports do not split a site; hosts and schemes do.
        {u"http://127.0.0.1:8080/p"_s, u"http://127.0.0.1:9090/"_s, CommandOrigin::SameSite},
        {u"http://127.0.0.1:8080/p"_s, u"http://127.0.0.2:8080/"_s, CommandOrigin::OtherSite},
        {u"http://127.0.0.1:8080/p"_s, u"http://localhost:8080/"_s, CommandOrigin::OtherSite},
        {u"http://www.quillmoor.example/p"_s, u"https://www.quillmoor.example"_s,
         CommandOrigin::OtherSite},
        {u"http://www.quillmoor.example/p"_s, u"http://media.Quillmoor.example."_s,
         CommandOrigin::SameSite},
        {u"http://www.quillmoor.example/p"_s, u"http://quillmoor.example.evil.example"_s,
         CommandOrigin::OtherSite},
        {u"http://www.quillmoor.co.uk/p"_s, u"http://ads.quillmoor.co.uk"_s,
         CommandOrigin::SameSite},
        {u"http://www.quillmoor.co.uk/p"_s, u"http://evil.co.uk"_s, CommandOrigin::OtherSite},
        // The Public Suffix List: hosted names under a shared suffix are sites of their own.
        {u"https://portal.github.io/p"_s, u"https://evil.github.io"_s, CommandOrigin::OtherSite},
        {u"https://portal.github.io/p"_s, u"https://ads.portal.GitHub.io"_s,
         CommandOrigin::SameSite},
        {u"https://github.io/p"_s, u"https://evil.github.io"_s, CommandOrigin::OtherSite},
        {u"http://a.pvt.k12.ma.us/p"_s, u"http://b.pvt.k12.ma.us"_s, CommandOrigin::OtherSite},
        {u"http://www.quillmoor.com.au/p"_s, u"http://evil.com.au"_s, CommandOrigin::OtherSite},
        {u"http://b\u00fccher.quillmoor.de/p"_s, u"http://xn--bcher-kva.quillmoor.de"_s,
         CommandOrigin::SameSite},
        {u"http://[::1]:8080/p"_s, u"http://[::1]:9"_s, CommandOrigin::SameSite},
        // Sandboxed frames and documents without an origin of their own.
        {u"http://127.0.0.1:8080/p"_s, u"null"_s, CommandOrigin::Opaque},
        {u"http://127.0.0.1:8080/p"_s, QString(), CommandOrigin::Opaque},
        {u"about:blank"_s, u"http://127.0.0.1:8080"_s, CommandOrigin::OtherSite},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judgeCommandOrigin(QUrl(c.top), QUrl(c.initiator)), c.expected)
            << c.top.toStdString() << " <- " << c.initiator.toStdString();
    }
}

TEST(NewWindowGate, OneWindowPerClickAndNoneWithout) {
    using Verdict = NewWindowGate::Verdict;
    NewWindowGate gate;
    EXPECT_EQ(gate.ask(false), Verdict::NotFromTheUser);
    // The engine says "from the user" but no click or key press reached the pane.
    EXPECT_EQ(gate.ask(true), Verdict::OneAlreadyOpened);
    gate.userInput();
    EXPECT_EQ(gate.ask(false), Verdict::NotFromTheUser);  // does not use up the click
    EXPECT_EQ(gate.ask(true), Verdict::Open);
    EXPECT_EQ(gate.ask(true), Verdict::OneAlreadyOpened);
    // Presses do not pile up: two before a window still open one.
    gate.userInput();
    gate.userInput();
    EXPECT_EQ(gate.ask(true), Verdict::Open);
    EXPECT_EQ(gate.ask(true), Verdict::OneAlreadyOpened);
}

// Panes that failed come back by "Try again" (both reload), by the network's return or by
// retries that slow down; a pane that loads ends its retries.
TEST(PaneRecovery, FailedPanesReloadOnTryAgainTheNetworkOrSlowingRetries) {
    using Pane = PaneRecovery::Pane;
    testing::EventLog log;
    testing::FakePane main(u"main"_s, &log), ad(u"ad"_s, &log);
    QList<qint64> retries;
    PaneRecovery recovery(main, ad,
                          [&](std::chrono::milliseconds ms) { retries.append(ms.count()); });
    recovery.failed(Pane::Main, u"http://portal/start"_s);
    recovery.failed(Pane::Ad, u"http://portal/ad"_s);
    recovery.tryAgain(Pane::Main);  // the main page follows its own link
    EXPECT_EQ(log, QStringList{u"ad.navigate http://portal/ad"_s});
    for (int i = 0; i < 6; ++i) {
        recovery.failed(Pane::Main, u"http://portal/start"_s);
        recovery.retryDue();
    }
    EXPECT_EQ(retries, (QList<qint64>{30000, 60000, 120000, 240000, 480000, 900000}));
    recovery.loaded(Pane::Main);
    recovery.tryAgain(Pane::Main);
    recovery.retryDue();
    EXPECT_EQ(log.size(), 7) << "nothing failed: nothing reloads";
    recovery.failed(Pane::Ad, u"http://broker/x"_s);
    recovery.tryAgain(Pane::Main);  // the main pane shows its page: no Try again there
    recovery.setNetworkWatched(true);
    recovery.failed(Pane::Main, u"http://portal/start"_s);
    EXPECT_EQ(retries.size(), 7) << "the network is watched: no timed retry";
    recovery.networkBack();
    EXPECT_EQ(log.mid(7), (QStringList{u"main.navigate http://portal/start"_s,
                                       u"ad.navigate http://broker/x"_s}));
    recovery.failed(Pane::Main, u"http://portal/start"_s);
    recovery.tryAgain(Pane::Main);  // the ad pane shows its page: it reloads it
    EXPECT_EQ(log.last(), u"ad.refresh"_s);
}

}  // namespace
}  // namespace lyrevane
