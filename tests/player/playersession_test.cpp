#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <sqlite3.h>

#include "../support/commalocale.h"
#include "../support/fakes.h"
#include "../support/tempenv.h"
#include "common/settingsstore.h"
#include "core/deferredpane.h"
#include "core/playersession.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::EventLog;
using testing::FakeMediaEngine;
using testing::FakePane;
using testing::FakePlayBar;
using testing::FakePrompts;
using testing::MemorySettings;
using testing::RecordingTracker;

// The window as start-up and shutdown see it; records what is done to it.
class FakeSurface final : public MainWindowSurface {
public:
    explicit FakeSurface(EventLog* log) : log_(log) {}
    void setOuterSize(QSize value) override {
        size = value;
        log_->append(u"size %1x%2"_s.arg(value.width()).arg(value.height()));
    }
    QSize outerSize() const override { return size; }
    int statusBarHeight() const override { return 21; }
    void restorePlayBar(float value) override {
        bottom = value;
        log_->append(u"playbar "_s + QString::number(value));
    }
    float playBarBottom() const override { return bottom; }
    void setVolumeSlider(int value) override {
        slider = value;
        log_->append(u"slider "_s + QString::number(value));
    }
    int volumeSlider() const override { return slider; }
    void closeWindow() override {
        ++closes;
        log_->append(u"close"_s);
    }
    void reloadOnlineBrokers() override { log_->append(u"brokers"_s); }

    QSize size;
    float bottom = 0;
    int slider = 0;
    int closes = 0;

private:
    EventLog* log_;
};

class PlayerSessionTest : public ::testing::Test {
protected:
    PlayerSessionTest() { prompts.log = &log; }

    // Starts up with the window's size, play bar and volume stored as these texts.
    void startWithStoredWindow(const QString& width, const QString& height,
                               const QString& playBarBottom, const QString& volume) {
        settings.Set(kWindowSection, u"Width", width);
        settings.Set(kWindowSection, u"Height", height);
        settings.Set(kWindowSection, u"PlayBarBottom", playBarBottom);
        settings.Set(kWindowSection, u"Volume", volume);
        session().startUp(QString());
    }

    PlayerSession& session() {
        if (!session_) {
            session_ = std::make_unique<PlayerSession>(
                PlayerSession::Services{*store, prompts, tracker, engine}, surface, playBar,
                mainPane, adPane);
        }
        return *session_;
    }

    EventLog log;
    MemorySettings settings;
    SettingsProvider* store = &settings;
    FakePrompts prompts;
    RecordingTracker tracker{&log};
    FakeMediaEngine engine{&log};
    FakeSurface surface{&log};
    FakePlayBar playBar;
    FakePane mainPane{u"webBrowser"_s, &log};
    FakePane adPane{u"webAd"_s, &log};

private:
    std::unique_ptr<PlayerSession> session_;
};

TEST_F(PlayerSessionTest, FirstRunUsesDefaultsInStartUpOrder) {
    EXPECT_TRUE(session().startUp(QString()));
    EXPECT_EQ(log,
              (QStringList{
                  u"size 640x480"_s,
                  u"playbar 115"_s,
                  u"brokers"_s,
                  u"slider 75"_s,
                  u"engine.setVolume 75"_s,
                  u"webBrowser.navigate http://www.quillmoor.example/player_interviews.shtml"_s,
                  u"webAd.navigate http://www.quillmoor.example/player_creative.shtml"_s,
                  u"TrackUsage"_s,
              }));
    // Nothing is written before shutdown.
    EXPECT_TRUE(settings.writes.isEmpty());
}

TEST_F(PlayerSessionTest, StoredValuesAndPortalAreRestored) {
    settings.Set(kWindowSection, u"Width", u"800"_s);
    settings.Set(kWindowSection, u"height", u"600"_s);
    settings.Set(kWindowSection, u"PlayBarBottom", u"200.5"_s);
    settings.Set(kWindowSection, u"Volume", u"0"_s);
    settings.Set(kPortalSection, u"BaseURL", u"http://127.0.0.1:8123/"_s);
    EXPECT_TRUE(session().startUp(QString()));
    EXPECT_EQ(surface.size, QSize(800, 600));
    EXPECT_EQ(surface.bottom, 200.5F);
    EXPECT_EQ(surface.slider, 0);
    EXPECT_EQ(engine.volume(), 0);
    EXPECT_EQ(mainPane.urls, QStringList{u"http://127.0.0.1:8123/player_interviews.shtml"_s});
    EXPECT_EQ(adPane.urls, QStringList{u"http://127.0.0.1:8123/player_creative.shtml"_s});
}

TEST_F(PlayerSessionTest, UnreadableStoredValuesGiveTheDefaults) {
    startWithStoredWindow(u"wide"_s, u"-3"_s, u"low"_s, u"loud"_s);
    EXPECT_EQ(surface.size, QSize(640, 480));
    EXPECT_EQ(surface.bottom, 115.0F);
    EXPECT_EQ(surface.slider, 75);
}

TEST_F(PlayerSessionTest, OutOfRangeVolumeIsClamped) {
    settings.Set(kWindowSection, u"Volume", u"250"_s);
    session().startUp(QString());
    EXPECT_EQ(surface.slider, 100);
}

TEST_F(PlayerSessionTest, CommandLinePlaysAfterThePanesThenTracks) {
    EXPECT_TRUE(session().startUp(u"LYREV:play?http%3A%2F%2F127.0.0.1%3A8000%2Flive"_s));
    ASSERT_GE(log.size(), 3);
    EXPECT_EQ(log.mid(log.size() - 3),
              (QStringList{u"webAd.navigate http://www.quillmoor.example/player_creative.shtml"_s,
                           u"engine.setUrl http://127.0.0.1:8000/live"_s, u"TrackUsage"_s}));
}

TEST_F(PlayerSessionTest, BrowseFromTheCommandLineSupersedesTheStartPage) {
    session().startUp(u"lyrev:browse?http%3A%2F%2Fh%2Fnews"_s);
    EXPECT_EQ(mainPane.urls.last(), u"http://h/news"_s);
    EXPECT_EQ(tracker.calls, 1);
}

TEST_F(PlayerSessionTest, CommandLineThatIsNoCommandIsIgnoredWithoutTracking) {
    EXPECT_TRUE(session().startUp(u"\"lyrev:play?http://h/live\""_s));
    EXPECT_EQ(tracker.calls, 0);
    EXPECT_TRUE(engine.urls.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(PlayerSessionTest, UnknownCommandStillTracks) {
    EXPECT_TRUE(session().startUp(u"lyrev:Play?http://h/live"_s));
    EXPECT_EQ(prompts.messages, QStringList{u"Unknown command."_s});
    EXPECT_EQ(tracker.calls, 1);
}

TEST_F(PlayerSessionTest, ScheduleOnTheCommandLineSavesAndEndsWithoutShowing) {
    surface.slider = 0;
    EXPECT_FALSE(session().startUp(u"lyrev:schedule?anything"_s));
    EXPECT_TRUE(session().isUnloaded());
    EXPECT_EQ(tracker.calls, 0);
    EXPECT_EQ(surface.closes, 1);
    const qsizetype message = log.indexOf(u"message Feature disabled."_s);
    ASSERT_GE(message, 0);
    EXPECT_EQ(log.mid(message + 1), QStringList{u"close"_s});
    EXPECT_EQ(settings.writes,
              (QStringList{u"Width"_s, u"Height"_s, u"PlayBarBottom"_s, u"Volume"_s}));
    EXPECT_EQ(settings.get(kWindowSection, u"Width"), u"640"_s);
    EXPECT_EQ(settings.get(kWindowSection, u"Volume"), u"75"_s);
    // A later close of the window saves nothing twice.
    session().shutDown();
    EXPECT_EQ(settings.writes.size(), 4);
}

TEST_F(PlayerSessionTest, ScheduleFromAPageKeepsThePlayerRunning) {
    session().startUp(QString());
    EXPECT_FALSE(session().commands().executeCommand(u"schedule"_s, QString(), false));
    EXPECT_FALSE(session().isUnloaded());
    EXPECT_EQ(surface.closes, 0);
    EXPECT_TRUE(settings.writes.isEmpty());
}

TEST_F(PlayerSessionTest, WindowClosedWhileAStartUpMessageIsOpenIsNotShown) {
    // A stop request (SIGTERM) closes the window while "Unknown command." is shown.
    prompts.whileShown = [this] { session().shutDown(); };
    EXPECT_FALSE(session().startUp(u"lyrev:Play?x"_s));
    EXPECT_EQ(prompts.messages, QStringList{u"Unknown command."_s});
    EXPECT_TRUE(settings.get(kWindowSection, u"Width").has_value());
}

TEST_F(PlayerSessionTest, ShutdownSavesTheWindowAsItIs) {
    settings.Set(kWindowSection, u"Width", u"800"_s);
    settings.Set(kWindowSection, u"Height", u"600"_s);
    session().startUp(QString());
    surface.bottom = 163.25F;
    surface.slider = 0;
    session().shutDown();
    EXPECT_EQ(settings.get(kWindowSection, u"Width"), u"800"_s);
    EXPECT_EQ(settings.get(kWindowSection, u"Height"), u"600"_s);
    EXPECT_EQ(settings.get(kWindowSection, u"PlayBarBottom"), u"163.25"_s);
    EXPECT_EQ(settings.get(kWindowSection, u"Volume"), u"0"_s);
    // Whole pixel counts are written as plain digits.
    surface.bottom = 1000.0F;
    PlayerSession(PlayerSession::Services{settings, prompts, tracker, engine}, surface, playBar,
                  mainPane, adPane)
        .shutDown();
    EXPECT_EQ(settings.get(kWindowSection, u"PlayBarBottom"), u"1000"_s);
}

// Qt programs adopt the user's locale: under a comma-decimal one the stored numbers
// read and write exactly as elsewhere.
TEST_F(PlayerSessionTest, CommaDecimalLocaleChangesNothingReadOrStored) {
    testing::ScopedCommaLocale locale;
    if (!locale.active()) {
        GTEST_SKIP() << "the locale " << locale.kName << " is not installed on this machine "
                     << "(scripts/install-deps generates it)";
    }
    startWithStoredWindow(u"700.6"_s, u"500,4"_s, u"120.5"_s, u"70.5"_s);
    EXPECT_EQ(surface.size, QSize(701, 500));
    EXPECT_EQ(surface.bottom, 120.5F);
    EXPECT_EQ(surface.slider, 70);  // a half goes to the even neighbour
    surface.bottom = 163.25F;
    session().shutDown();
    EXPECT_EQ(settings.get(kWindowSection, u"Width"), u"701"_s);
    EXPECT_EQ(settings.get(kWindowSection, u"PlayBarBottom"), u"163.25"_s);
}

// Another program holds the settings file locked for the whole session: one short
// wait in all, the defaults, and nothing written at shutdown.
class LockedStoreSessionTest : public PlayerSessionTest {
protected:
    void SetUp() override {
        {
            SqliteSettingsStore writer;
            ASSERT_TRUE(writer.writeSettings(
                kAppName, kWindowSection,
                {{u"Width"_s, u"800"_s}, {u"Height"_s, u"600"_s}, {u"Volume"_s, u"33"_s}}));
        }
        ASSERT_EQ(sqlite3_open(QFile::encodeName(xdg.storePath()).constData(), &holder_),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder_,
                               "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                               "CREATE TABLE lock_holder (x); INSERT INTO lock_holder VALUES (1);",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        real_ = std::make_unique<SqliteSettingsStore>();
        real_->setBusyTimeouts(SqliteSettingsStore::kInteractiveTimeouts);
        store = real_.get();
    }
    void TearDown() override { release(); }
    void release() {
        if (holder_ != nullptr) {
            sqlite3_exec(holder_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder_);
            holder_ = nullptr;
        }
    }
    QString stored(QStringView key) {
        SqliteSettingsStore reader;
        return reader.readSetting(kAppName, kWindowSection, key, u"(absent)"_s);
    }

    testing::TempXdg xdg;
    std::unique_ptr<SqliteSettingsStore> real_;

private:
    sqlite3* holder_ = nullptr;
};

TEST_F(LockedStoreSessionTest, StartsOnDefaultsAfterOneShortWaitAndClosesWithoutWaiting) {
    // A read that waits takes the whole short timeout; two would take it twice.
    constexpr qint64 kWaitMs = SqliteSettingsStore::kInteractiveTimeouts.readMs;
    ::testing::internal::CaptureStderr();
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(session().startUp(QString()));
    EXPECT_GE(clock.elapsed(), kWaitMs / 2);
    EXPECT_LT(clock.elapsed(), 2 * kWaitMs);
    EXPECT_EQ(surface.size, QSize(640, 480));
    EXPECT_EQ(surface.slider, 75);
    EXPECT_TRUE(real_->problem().contains(u"busy"_s)) << real_->problem().toStdString();
    surface.size = QSize(900, 700);
    clock.restart();
    session().shutDown();
    EXPECT_LT(clock.elapsed(), kWaitMs);
    ::testing::internal::GetCapturedStderr();
    release();
    EXPECT_EQ(stored(u"Width"), u"800"_s);
}

TEST_F(LockedStoreSessionTest, DefaultsAreNotSavedOverTheStoreFreedMeanwhile) {
    ::testing::internal::CaptureStderr();
    session().startUp(QString());
    release();
    session().shutDown();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(stored(u"Width"), u"800"_s);
    EXPECT_EQ(stored(u"Height"), u"600"_s);
    EXPECT_EQ(stored(u"Volume"), u"33"_s);
}

// Start-up sends the first report; the egg timer then reports every 2 minutes and
// refreshes the main pane every 5, the refresh first when both fall due.
TEST_F(PlayerSessionTest, TrackingAndRefreshScheduleOverTwentyMinutes) {
    session().startUp(QString());
    log.clear();
    QStringList expected;
    for (int minute = 1; minute <= 20; ++minute) {
        session().eggTimerTick();
        if (minute % 5 == 0) {
            expected.append(u"webBrowser.refresh"_s);
        }
        if (minute % 2 == 0) {
            expected.append(u"TrackUsage"_s);
        }
        ASSERT_EQ(log, expected) << "minute " << minute;
    }
    EXPECT_EQ(tracker.calls, 1 + 10);
    EXPECT_EQ(adPane.refreshes, 0);  // the advertisement pane is never refreshed
}

TEST_F(PlayerSessionTest, NoStartUpReportForACommandLineThatIsNoCommand) {
    session().startUp(u"\"lyrev:play?x\""_s);
    EXPECT_EQ(tracker.calls, 0);
    session().eggTimerTick();
    EXPECT_EQ(tracker.calls, 0);
    session().eggTimerTick();
    EXPECT_EQ(tracker.calls, 1);  // the first report after two minutes
}

TEST_F(PlayerSessionTest, BrowseToOpensTheAnswerAsTyped) {
    settings.Set(kPortalSection, u"BaseURL", u"http://127.0.0.1:8123"_s);
    session().startUp(QString());
    mainPane.urls.clear();

    prompts.answers.push_back(u"http://127.0.0.1:8123/"_s);  // the default, confirmed
    session().browseTo();
    EXPECT_EQ(prompts.prompts.last(), u"Type in the URL you would like to browse to."_s);
    EXPECT_EQ(prompts.defaults.last(), u"http://127.0.0.1:8123/"_s);
    EXPECT_EQ(mainPane.urls, QStringList{u"http://127.0.0.1:8123/"_s});

    prompts.answers.push_back(std::nullopt);  // Cancel
    session().browseTo();
    prompts.answers.push_back(QString());  // empty answer
    session().browseTo();
    EXPECT_EQ(mainPane.urls.size(), 1);

    // Not decoded, not checked: a command URL goes to the pane, which runs it.
    prompts.answers.push_back(u"lyrev:play?http%3A%2F%2F127.0.0.1%2Fa"_s);
    session().browseTo();
    EXPECT_EQ(mainPane.urls.last(), u"lyrev:play?http%3A%2F%2F127.0.0.1%2Fa"_s);
    EXPECT_TRUE(engine.urls.isEmpty());
}

TEST(PortalConfig, BuildsAddressesFromTheStore) {
    MemorySettings settings;
    PortalConfig defaults = PortalConfig::load(settings);
    EXPECT_EQ(defaults.homePageUrl(), u"http://www.quillmoor.example/"_s);
    EXPECT_EQ(defaults.mailUrl(), u"mailto:info@quillmoor.example"_s);
    EXPECT_EQ(defaults.domainName(), u"www.quillmoor.example"_s);
    settings.Set(kPortalSection, u"BaseURL", u"http://127.0.0.1:8080//"_s);
    settings.Set(kPortalSection, u"ContactEmail", u"desk@example.org"_s);
    PortalConfig custom = PortalConfig::load(settings);
    EXPECT_EQ(custom.startPageUrl(), u"http://127.0.0.1:8080/player_interviews.shtml"_s);
    EXPECT_EQ(custom.mailUrl(), u"mailto:desk@example.org"_s);
}

// A window shown before its panes exist: the restoring part runs first, once, and the
// panes still navigate before the command and the first report.
TEST_F(PlayerSessionTest, RestoringFirstKeepsTheStartUpOrder) {
    session().restoreWindow();
    EXPECT_EQ(log, (QStringList{u"size 640x480"_s, u"playbar 115"_s, u"brokers"_s, u"slider 75"_s,
                                u"engine.setVolume 75"_s}));
    log.clear();
    EXPECT_TRUE(session().startUp(u"lyrev:play?http://127.0.0.1:8000/live"_s));
    EXPECT_EQ(log,
              (QStringList{
                  u"webBrowser.navigate http://www.quillmoor.example/player_interviews.shtml"_s,
                  u"webAd.navigate http://www.quillmoor.example/player_creative.shtml"_s,
                  u"engine.setUrl http://127.0.0.1:8000/live"_s,
                  u"TrackUsage"_s,
              }));
}

TEST(DeferredPane, CallsWaitInOrderUntilTheViewIsAttached) {
    EventLog log;
    DeferredPane pane;
    pane.navigate(u"http://h/start"_s);
    pane.refresh();
    pane.navigate(u"http://h/command"_s);
    EXPECT_FALSE(pane.isAttached());

    auto view = std::make_unique<FakePane>(u"view"_s, &log);
    FakePane* seen = view.get();
    pane.attach(std::move(view));
    EXPECT_TRUE(pane.isAttached());
    EXPECT_EQ(log, (QStringList{u"view.navigate http://h/start"_s, u"view.refresh"_s,
                                u"view.navigate http://h/command"_s}));

    // Later calls go straight through, once each.
    pane.refresh();
    pane.navigate(u"http://h/later"_s);
    EXPECT_EQ(seen->refreshes, 2);
    EXPECT_EQ(seen->urls.size(), 3);
    EXPECT_EQ(log.size(), 5);
}

TEST(DeferredPane, AttachingNothingKeepsTheCallsWaiting) {
    EventLog log;
    DeferredPane pane;
    pane.navigate(u"http://h/start"_s);
    pane.attach(nullptr);
    EXPECT_FALSE(pane.isAttached());
    pane.attach(std::make_unique<FakePane>(u"view"_s, &log));
    EXPECT_EQ(log, QStringList{u"view.navigate http://h/start"_s});
}

}  // namespace
}  // namespace lyrevane
