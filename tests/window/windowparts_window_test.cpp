// The main window's parts on their own: the menus against an engine, the play bar.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "../support/fakes.h"
#include "../support/named.h"
#include "../support/windowtests.h"
#include "core/brokerlist.h"
#include "dialogs/frmrundown.h"
#include "ui/mainmenus.h"
#include "ui/playbar.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::named;

class MainMenusTest : public ::testing::Test {
protected:
    testing::EventLog log;
    testing::FakeMediaEngine engine{&log};
    QMainWindow window;
    MainMenus menus{window, engine};
};

TEST_F(MainMenusTest, LiveItemsFollowTheEngineWithoutActingOnIt) {
    QSignalSpy toggled(menus.mnuLiveRecord, &QAction::toggled);
    EXPECT_FALSE(menus.mnuLiveCatchUp->isEnabled());
    EXPECT_FALSE(menus.mnuLiveBack->isEnabled()) << "nothing kept";
    EXPECT_FALSE(menus.mnuLiveForward->isEnabled()) << "live";
    EXPECT_FALSE(menus.mnuLiveRecord->isEnabled()) << "the engine refuses to record";
    EXPECT_EQ(menus.mnuLiveRecord->toolTip(), engine.recordRefusal());

    engine.behind = 1ms;
    engine.keptBefore = 1ms;
    engine.recorded = 0;  // a recording under way stays stoppable whatever the refusal
    menus.updateLive();
    EXPECT_TRUE(menus.mnuLiveCatchUp->isEnabled());
    EXPECT_TRUE(menus.mnuLiveRecord->isEnabled());
    EXPECT_TRUE(menus.mnuLiveRecord->isChecked());
    EXPECT_EQ(menus.mnuLiveRecord->toolTip(), u"Record the stream to the Music folder"_s);
    EXPECT_EQ(toggled.count(), 0) << "showing the state starts or stops nothing";

    EXPECT_TRUE(menus.mnuLiveBack->isEnabled());
    EXPECT_TRUE(menus.mnuLiveForward->isEnabled());
    EXPECT_TRUE(menus.mnuLiveCatchUpFaster->isEnabled());

    for (QAction* item : {menus.mnuLiveCatchUp, menus.mnuLiveBack, menus.mnuLiveForward,
                          menus.mnuLiveCatchUpFaster}) {
        item->trigger();
    }
    EXPECT_EQ(log, (QStringList{u"engine.catchUpToLive"_s, u"engine.moveInProgramme -15000"_s,
                                u"engine.moveInProgramme 15000"_s, u"engine.catchUpFaster"_s}));
}

// The rundown against an engine: a row per title and per lost connection, the title that
// plays said so (over a gap within it), Enter plays from a title and Record from Here records
// from it, the timeline reads as words; a station without titles gets one line instead.
TEST(RundownWindowTest, RowsFollowTheProgrammeAndActOnTheEngine) {
    testing::EventLog log;
    testing::FakeMediaEngine engine{&log};
    const QDateTime now = QDateTime::currentDateTime();
    engine.items = {{0ms, now.addSecs(-720), u"Opening bell"_s, false, {}, 2},
                    {60s, now.addSecs(-600), u"Opening bell"_s, true, now.addSecs(-540)},
                    {90s, now.addSecs(-30), u"<b>Small</b> caps"_s, false, {}}};
    engine.keptBefore = 70s;
    engine.behind = 750s;
    frmRundown rundown(nullptr, engine);
    QListWidget& list = *named<QListWidget>(rundown, "lstRundown");
    ASSERT_EQ(list.count(), 3);
    const auto spoken = [&](int row) {
        return list.item(row)->data(Qt::AccessibleTextRole).toString();
    };
    EXPECT_EQ(spoken(0), u"Playing: "_s + list.item(0)->text());
    EXPECT_TRUE(list.item(0)->text().endsWith(u"  Opening bell (and 2 more)  12 min ago"_s))
        << list.item(0)->text().toStdString();
    EXPECT_TRUE(list.item(1)->text().startsWith(u"connection lost "_s));
    EXPECT_EQ(spoken(2), list.item(2)->text());
    EXPECT_TRUE(list.item(2)->text().endsWith(u"<b>Small</b> caps  just now"_s));
    EXPECT_EQ(named<QSlider>(rundown, "sldTimeline")->maximum(), 820);
    EXPECT_EQ(named<QSlider>(rundown, "sldTimeline")->value(), 70);
    QAccessibleInterface* timeline =
        QAccessible::queryAccessibleInterface(named<QSlider>(rundown, "sldTimeline"));
    ASSERT_NE(timeline, nullptr);
    EXPECT_EQ(timeline->text(QAccessible::Value), u"12:30 behind live"_s);
    EXPECT_EQ(timeline->text(QAccessible::Name), u"Timeline"_s);

    list.setCurrentRow(2);
    QTest::keyClick(&list, Qt::Key_Return);
    rundown.recordFrom(2);
    rundown.recordFrom(1);  // a lost connection records nothing
    QTest::keyClick(named<QSlider>(rundown, "sldTimeline"), Qt::Key_Right);
    EXPECT_EQ(log, (QStringList{u"engine.moveInProgramme 20000"_s, u"engine.recordFrom 90000"_s,
                                u"engine.moveInProgramme 15000"_s}));

    engine.items = {{0ms, now, {}, true, now}};
    rundown.refresh();
    ASSERT_EQ(list.count(), 1);
    EXPECT_TRUE(list.item(0)->text().contains(u"sends no titles"_s));
    log.clear();
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_TRUE(log.isEmpty()) << "the line plays nothing";
}

TEST_F(MainMenusTest, BrokerEntriesAreReplacedInListOrderAboveTheFixedItems) {
    QStringList opened;
    const auto open = [&](const QString& url) { opened.append(url); };
    menus.reloadBrokers({{u"Beta & Co"_s, u"http://127.0.0.1:9/b"_s}, {u"Alpha"_s, QString()}},
                        open);
    const QPointer<QAction> first = menus.mnuOnlineBrokersEntry.value(0);
    ASSERT_EQ(menus.mnuOnlineBrokersEntry.size(), 2);
    EXPECT_EQ(first->text(), u"Beta && Co"_s) << "an ampersand shows as typed";
    EXPECT_EQ(menus.mnuOnlineBrokers->actions(),
              (QList<QAction*>{first, menus.mnuOnlineBrokersEntry[1], menus.mnuOnlineBrokersSep2,
                               menus.mnuOnlineBrokersConfigure, menus.mnuOnlineBrokersInfo1}));
    first->trigger();
    menus.mnuOnlineBrokersEntry[1]->trigger();
    EXPECT_EQ(opened, (QStringList{u"http://127.0.0.1:9/b"_s, QString()}));

    menus.reloadBrokers({}, open);
    EXPECT_TRUE(first.isNull()) << "old entries are deleted, not hidden";
    EXPECT_EQ(menus.mnuOnlineBrokers->actions().size(), 3);
}

TEST(PlayBarTest, VolumeIsSetQuietlyAndTheStripReportsHeldButtons) {
    QWidget parent;
    PlayBar bar(&parent);
    QSignalSpy changed(bar.sldVolume, &QSlider::valueChanged);
    bar.setVolume(37);
    EXPECT_EQ(bar.sldVolume->value(), 37);
    EXPECT_EQ(changed.count(), 0);

    QList<std::pair<int, double>> drags;
    bar.picPlayBar->onDrag = [&](int buttons, double y) { drags.append({buttons, y}); };
    for (const Qt::MouseButtons held :
         {Qt::MouseButtons(Qt::LeftButton), Qt::LeftButton | Qt::RightButton | Qt::MiddleButton}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, -7), QPointF(5, -7), Qt::NoButton, held,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(bar.picPlayBar, &move);
    }
    EXPECT_EQ(drags, (QList<std::pair<int, double>>{{1, -7.0}, {7, -7.0}}));
}

}  // namespace
}  // namespace lyrevane
