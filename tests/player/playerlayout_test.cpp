#include <gtest/gtest.h>

#include "core/playerlayout.h"

namespace lyrevane {
namespace {

// The designed stack: a 196 by 59 logo, a 21-pixel status bar and a 36-pixel play bar.
class PlayerLayoutTest : public ::testing::Test {
protected:
    PlayerLayout layout{QSize(196, 59), 21, 36};

    void firstRun(QSize client) {
        layout.resize(client);
        layout.restorePlayBar(layout.defaultPlayBarBottom());
    }
    int centre() const { return layout.playBar().top() + 18; }
    void dragCentreTo(int y) { layout.drag(1, y - layout.playBar().top()); }
};

TEST_F(PlayerLayoutTest, FirstRunGivesTheAdPaneItsLeastHeight) {
    firstRun(QSize(624, 438));
    EXPECT_EQ(layout.ad().height(), 94);
    EXPECT_EQ(layout.statusBar().top() - layout.playBar().bottom() - 1, 94);
    EXPECT_EQ(layout.ad().top(), layout.playBar().top() + 36);
    EXPECT_EQ(layout.content().top(), 59);
    EXPECT_EQ(layout.content().height(), 438 - 21 - 94 - 36 - 59);
    EXPECT_EQ(layout.playBarBottom(), 115.0F);
    EXPECT_EQ(layout.statusBar(), QRect(0, 417, 624, 21));
}

TEST_F(PlayerLayoutTest, SplitterCentreStaysBetweenItsLimits) {
    firstRun(QSize(512, 600));
    dragCentreTo(300);
    EXPECT_EQ(centre(), 300);
    EXPECT_EQ(layout.content().height(), 300 - 18 - 59);
    EXPECT_EQ(layout.ad().height(), 600 - 18 - 300 - 21);

    dragCentreTo(202);
    EXPECT_EQ(centre(), 202);
    EXPECT_EQ(layout.content().height(), 125);
    dragCentreTo(201);
    EXPECT_EQ(centre(), 202);
    dragCentreTo(-5000);  // far above the window
    EXPECT_EQ(centre(), 202);
    EXPECT_EQ(layout.content().height(), 125);

    dragCentreTo(467);
    EXPECT_EQ(centre(), 467);
    EXPECT_EQ(layout.ad().height(), 94);
    dragCentreTo(468);
    EXPECT_EQ(centre(), 467);
    dragCentreTo(5000);  // far below
    EXPECT_EQ(centre(), 467);
    EXPECT_EQ(layout.ad().height(), 94);
    EXPECT_EQ(layout.ad().top(), 467 + 18);
}

TEST_F(PlayerLayoutTest, OnlyTheLeftButtonAloneDrags) {
    firstRun(QSize(512, 600));
    const QRect before = layout.playBar();
    for (int buttons : {0, 2, 3, 4, 5}) {
        layout.drag(buttons, -100);
        EXPECT_EQ(layout.playBar(), before) << buttons;
    }
}

TEST_F(PlayerLayoutTest, HeightChangesGoToTheContentPaneOnly) {
    firstRun(QSize(512, 600));
    dragCentreTo(300);
    const int adHeight = layout.ad().height();
    layout.resize(QSize(700, 650));
    EXPECT_EQ(layout.ad().height(), adHeight);
    EXPECT_EQ(layout.content().height(), 650 - 21 - adHeight - 36 - 59);
    EXPECT_EQ(layout.playBar().top(), 59 + layout.content().height());
    EXPECT_EQ(layout.ad().top(), layout.playBar().top() + 36);
    EXPECT_EQ(layout.ad().width(), 700);
    EXPECT_EQ(layout.playBar().width(), 700);
}

TEST_F(PlayerLayoutTest, MinimisingLeavesTheLayoutAsItWas) {
    firstRun(QSize(512, 600));
    const QRect content = layout.content();
    layout.resize(QSize(160, 0), true);
    EXPECT_EQ(layout.content(), content);
    EXPECT_EQ(layout.client(), QSize(512, 600));
}

TEST_F(PlayerLayoutTest, LogoIsCentredWithTruncatingHalves) {
    PlayerLayout wide(QSize(300, 59), 21, 36);
    wide.resize(QSize(512, 400));
    EXPECT_EQ(wide.logo().left(), 106);
    EXPECT_EQ(wide.minimumOuterWidth(), 330);
    wide.resize(QSize(513, 400));
    EXPECT_EQ(wide.logo().left(), 106);
    PlayerLayout odd(QSize(195, 59), 21, 36);
    odd.resize(QSize(512, 400));
    EXPECT_EQ(odd.logo().left(), 256 - 97);
}

TEST_F(PlayerLayoutTest, StoredPositionTooHighIsPulledBackByTheUpperLimit) {
    layout.resize(QSize(512, 600));
    layout.restorePlayBar(5000);
    EXPECT_EQ(layout.content().height(), 125);
    EXPECT_EQ(layout.playBarBottom(), 600.0F - (59 + 125 + 36));
}

TEST_F(PlayerLayoutTest, StoredPositionRoundTrips) {
    layout.resize(QSize(512, 600));
    layout.restorePlayBar(200);
    EXPECT_EQ(layout.playBarBottom(), 200.0F);
    EXPECT_EQ(layout.ad().height(), 200 - 21);
}

TEST_F(PlayerLayoutTest, ClientTooLowForBothLimitsFavoursTheAdPane) {
    // Lower than 59 + 125 + 36 + 94 + 21 = 335.
    layout.resize(QSize(512, 300));
    layout.restorePlayBar(layout.defaultPlayBarBottom());
    EXPECT_EQ(layout.ad().height(), 94);
    EXPECT_EQ(layout.content().height(), 300 - 21 - 94 - 36 - 59);
    EXPECT_LT(layout.content().height(), 125);
}

TEST_F(PlayerLayoutTest, MinimumSizeFollowsTheAdPane) {
    firstRun(QSize(512, 600));
    EXPECT_EQ(layout.minimumOuterWidth(), 226);
    EXPECT_EQ(layout.minimumClientHeight(), 21 + 94 + 59 + 36 + 125);
    dragCentreTo(300);
    EXPECT_EQ(layout.minimumClientHeight(), 21 + (600 - 18 - 300 - 21) + 59 + 36 + 125);
}

TEST(PlayerLayoutOddBar, HalvesOfAnOddBarRoundToEven) {
    PlayerLayout layout(QSize(196, 59), 21, 35);
    layout.resize(QSize(512, 600));
    layout.restorePlayBar(layout.defaultPlayBarBottom());
    // c = 600 - 115 - 17.5 = 467.5 -> 468 (even); top = 468 - 17.5 = 450.5 -> 450.
    EXPECT_EQ(layout.playBar().top(), 450);
    // Ad top = 468 + 17.5 -> 486; height = 600 - 485.5 - 21 = 93.5 -> 94.
    EXPECT_EQ(layout.ad().top(), 486);
    EXPECT_EQ(layout.ad().height(), 94);
}

}  // namespace
}  // namespace lyrevane
