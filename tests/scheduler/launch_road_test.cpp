// A scheduled broadcast's whole road: the media URL stored by the dialog, the real
// scheduler launching it through the desktop's opener, and the player's command-line
// processing handing that URL to the media engine unchanged.

#include "../support/fakes.h"
#include "core/playersession.h"
#include "schedulerbinary.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

class NoWindow final : public MainWindowSurface {
public:
    void setOuterSize(QSize) override {}
    QSize outerSize() const override { return {640, 480}; }
    int statusBarHeight() const override { return 21; }
    void restorePlayBar(float) override {}
    float playBarBottom() const override { return 115; }
    void setVolumeSlider(int) override {}
    int volumeSlider() const override { return 75; }
    void closeWindow() override {}
    void reloadOnlineBrokers() override {}
};

// What the player's media engine is given for `commandLine`.
QStringList engineUrlsFor(const QString& commandLine) {
    testing::EventLog log;
    testing::MemorySettings settings;
    testing::FakePrompts prompts;
    testing::RecordingTracker tracker(&log);
    testing::FakeMediaEngine engine;
    NoWindow surface;
    testing::FakePlayBar playBar;
    testing::FakePane mainPane;
    testing::FakePane adPane;
    PlayerSession session({settings, prompts, tracker, engine}, surface, playBar, mainPane, adPane);
    session.startUp(commandLine);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u'|').toStdString();
    return engine.urls;
}

using LaunchRoadTest = testing::SchedulerBinaryTest;

TEST_F(LaunchRoadTest, StoredMediaUrlReachesThePlayersEngineUnchanged) {
    const QStringList urls = {
        u"http://127.0.0.1:9/live stream.mp3?x=%20&y=a%26b&z=1%2B1+2"_s,
        u"http://127.0.0.1:9/caf\u00e9/%E2%82%AC?q=%zz%&r=100%"_s,
        u"https://127.0.0.1:9/a;b,c$d!e'f(g)h*i@j:k/~l?m=#frag"_s,
    };
    Schedule schedule;
    const double due = datevalue::timeOfDay(QDateTime::currentDateTime().addSecs(120));
    for (int i = 0; i < urls.size(); ++i) {
        schedule.Broadcasts.append({u"B%1"_s.arg(i), due, urls[i], 127, datevalue::kNever});
    }
    ASSERT_TRUE(writeSchedule(store, schedule, QDateTime::currentDateTime()));
    start(first);
    ASSERT_TRUE(waitForLines(urls.size()));

    const QStringList lines = openedLines();
    ASSERT_EQ(lines.size(), urls.size());
    for (int i = 0; i < urls.size(); ++i) {
        EXPECT_EQ(engineUrlsFor(lines[i]), QStringList{urls[i]}) << lines[i].toStdString();
    }
}

}  // namespace
}  // namespace lyrevane
