#include <gtest/gtest.h>

#include "core/playerlayout.h"

namespace lyrevane {
namespace {

// The designed stack: a 196 by 59 logo, a 21-pixel status bar and a 36-pixel play bar.
class PlayerLayoutTest : public ::testing::Test {
protected:
    PlayerLayout layout{QSize(196, 59), 21, 36};

    void firstRun(QSize client) {
        layout.Resize(client);
        layout.RestorePlayBar(layout.DefaultPlayBarBottom());
    }
    int centre() const { return layout.PlayBar().top() + 18; }
    void dragCentreTo(int y) { layout.Drag(1, y - layout.PlayBar().top()); }
};

TEST_F(PlayerLayoutTest, FirstRunGivesTheAdPaneItsLeastHeight) {
    firstRun(QSize(624, 438));
    EXPECT_EQ(layout.Ad().height(), 94);
    EXPECT_EQ(layout.StatusBar().top() - layout.PlayBar().bottom() - 1, 94);
    EXPECT_EQ(layout.Ad().top(), layout.PlayBar().top() + 36);
    EXPECT_EQ(layout.Content().top(), 59);
    EXPECT_EQ(layout.Content().height(), 438 - 21 - 94 - 36 - 59);
    EXPECT_EQ(layout.PlayBarBottom(), 115.0F);
    EXPECT_EQ(layout.StatusBar(), QRect(0, 417, 624, 21));
}

TEST_F(PlayerLayoutTest, SplitterCentreStaysBetweenItsLimits) {
    firstRun(QSize(512, 600));
    dragCentreTo(300);
    EXPECT_EQ(centre(), 300);
    EXPECT_EQ(layout.Content().height(), 300 - 18 - 59);
    EXPECT_EQ(layout.Ad().height(), 600 - 18 - 300 - 21);

    dragCentreTo(202);
    EXPECT_EQ(centre(), 202);
    EXPECT_EQ(layout.Content().height(), 125);
    dragCentreTo(201);
    EXPECT_EQ(centre(), 202);
    dragCentreTo(-5000);  // far above the window
    EXPECT_EQ(centre(), 202);
    EXPECT_EQ(layout.Content().height(), 125);

    dragCentreTo(467);
    EXPECT_EQ(centre(), 467);
    EXPECT_EQ(layout.Ad().height(), 94);
    dragCentreTo(468);
    EXPECT_EQ(centre(), 467);
    dragCentreTo(5000);  // far below
    EXPECT_EQ(centre(), 467);
    EXPECT_EQ(layout.Ad().height(), 94);
    EXPECT_EQ(layout.Ad().top(), 467 + 18);
}

TEST_F(PlayerLayoutTest, OnlyTheLeftButtonAloneDrags) {
    firstRun(QSize(512, 600));
    const QRect before = layout.PlayBar();
    for (int buttons : {0, 2, 3, 4, 5}) {
        layout.Drag(buttons, -100);
        EXPECT_EQ(layout.PlayBar(), before) << buttons;
    }
}

TEST_F(PlayerLayoutTest, HeightChangesGoToTheContentPaneOnly) {
    firstRun(QSize(512, 600));
    dragCentreTo(300);
    const int adHeight = layout.Ad().height();
    layout.Resize(QSize(700, 650));
    EXPECT_EQ(layout.Ad().height(), adHeight);
    EXPECT_EQ(layout.Content().height(), 650 - 21 - adHeight - 36 - 59);
    EXPECT_EQ(layout.PlayBar().top(), 59 + layout.Content().height());
    EXPECT_EQ(layout.Ad().top(), layout.PlayBar().top() + 36);
    EXPECT_EQ(layout.Ad().width(), 700);
    EXPECT_EQ(layout.PlayBar().width(), 700);
}

TEST_F(PlayerLayoutTest, MinimisingLeavesTheLayoutAsItWas) {
    firstRun(QSize(512, 600));
    const QRect content = layout.Content();
    layout.Resize(QSize(160, 0), true);
    EXPECT_EQ(layout.Content(), content);
    EXPECT_EQ(layout.Client(), QSize(512, 600));
}

TEST_F(PlayerLayoutTest, LogoIsCentredWithTruncatingHalves) {
    PlayerLayout wide(QSize(300, 59), 21, 36);
    wide.Resize(QSize(512, 400));
    EXPECT_EQ(wide.Logo().left(), 106);
    EXPECT_EQ(wide.MinimumOuterWidth(), 330);
    wide.Resize(QSize(513, 400));
    EXPECT_EQ(wide.Logo().left(), 106);
    PlayerLayout odd(QSize(195, 59), 21, 36);
    odd.Resize(QSize(512, 400));
    EXPECT_EQ(odd.Logo().left(), 256 - 97);
}

TEST_F(PlayerLayoutTest, StoredPositionTooHighIsPulledBackByTheUpperLimit) {
    layout.Resize(QSize(512, 600));
    layout.RestorePlayBar(5000);
    EXPECT_EQ(layout.Content().height(), 125);
    EXPECT_EQ(layout.PlayBarBottom(), 600.0F - (59 + 125 + 36));
}

TEST_F(PlayerLayoutTest, StoredPositionRoundTrips) {
    layout.Resize(QSize(512, 600));
    layout.RestorePlayBar(200);
    EXPECT_EQ(layout.PlayBarBottom(), 200.0F);
    EXPECT_EQ(layout.Ad().height(), 200 - 21);
}

TEST_F(PlayerLayoutTest, ClientTooLowForBothLimitsFavoursTheAdPane) {
    // Lower than 59 + 125 + 36 + 94 + 21 = 335.
    layout.Resize(QSize(512, 300));
    layout.RestorePlayBar(layout.DefaultPlayBarBottom());
    EXPECT_EQ(layout.Ad().height(), 94);
    EXPECT_EQ(layout.Content().height(), 300 - 21 - 94 - 36 - 59);
    EXPECT_LT(layout.Content().height(), 125);
}

TEST_F(PlayerLayoutTest, MinimumSizeFollowsTheAdPane) {
    firstRun(QSize(512, 600));
    EXPECT_EQ(layout.MinimumOuterWidth(), 226);
    EXPECT_EQ(layout.MinimumClientHeight(), 21 + 94 + 59 + 36 + 125);
    dragCentreTo(300);
    EXPECT_EQ(layout.MinimumClientHeight(), 21 + (600 - 18 - 300 - 21) + 59 + 36 + 125);
}

TEST(PlayerLayoutOddBar, HalvesOfAnOddBarRoundToEven) {
    PlayerLayout layout(QSize(196, 59), 21, 35);
    layout.Resize(QSize(512, 600));
    layout.RestorePlayBar(layout.DefaultPlayBarBottom());
    // c = 600 - 115 - 17.5 = 467.5 -> 468 (even); top = 468 - 17.5 = 450.5 -> 450.
    EXPECT_EQ(layout.PlayBar().top(), 450);
    // Ad top = 468 + 17.5 -> 486; height = 600 - 485.5 - 21 = 93.5 -> 94.
    EXPECT_EQ(layout.Ad().top(), 486);
    EXPECT_EQ(layout.Ad().height(), 94);
}

}  // namespace
}  // namespace lyrevane
