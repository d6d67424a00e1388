// The main window as a screen reader and a keyboard user meet it.
#include <gtest/gtest.h>

#include <QAccessibleValueInterface>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <memory>

#include <sys/inotify.h>
#include <unistd.h>

#include "../support/accessibility.h"
#include "../support/mainwindowfixture.h"
#include "ui/tickingfield.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::named;

// The window as made, shown without starting up.
class AccessibilityTest : public testing::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        makeWindow().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
};

TEST_F(AccessibilityTest, EveryControlOfTheWindowHasANameAndTabReachesIt) {
    // With a stream loaded, every play-bar button shows.
    engine.setAvailable(true, true, true);
    window->setPlayEnabled(true);
    window->setPauseVisible(true);
    window->setStopEnabled(true);
    EXPECT_EQ(testing::NamelessControls(window.get()), QStringList());
    EXPECT_EQ(testing::ControlsOutOfTabReach(window.get()), QStringList());
    EXPECT_EQ(testing::LabelProblems(window.get()).join(u'\n').toStdString(), "");
    for (QToolButton* button :
         {named<QToolButton>(*window, "cmdPlay"), named<QToolButton>(*window, "cmdPause"),
          named<QToolButton>(*window, "cmdStop"), named<QToolButton>(*window, "cmdHome"),
          named<QToolButton>(*window, "cmdMail"), named<QToolButton>(*window, "cmdBrokers")}) {
        EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
    }
}

TEST_F(AccessibilityTest, TheVolumeSliderSaysItsNameAndValue) {
    window->setVolumeSlider(42);
    QAccessibleInterface* slider =
        QAccessible::queryAccessibleInterface(named<QSlider>(*window, "sldVolume"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->text(QAccessible::Name), u"Volume"_s);
    ASSERT_NE(slider->valueInterface(), nullptr);
    EXPECT_EQ(slider->valueInterface()->currentValue().toInt(), 42);
    // Keys move it, as they move any slider.
    named<QSlider>(*window, "sldVolume")->setFocus();
    QTest::keyClick(named<QSlider>(*window, "sldVolume"), Qt::Key_PageUp);
    EXPECT_EQ(slider->valueInterface()->currentValue().toInt(), 52);
    EXPECT_EQ(engine.volume(), 52);
}

// A screen reader hears what the status bar shows, whole, each change announced at most
// once a second; the field's role is its plain description.
TEST_F(AccessibilityTest, NowPlayingShowsInTheStatusBarAndTheWindowTooltip) {
    QLabel* field = named<QLabel>(*window, "lblNowPlaying");
    engine.station = u"Quillmoor Live"_s;
    engine.title = u"Opening bell"_s;
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(field->text(), u"Quillmoor Live - Opening bell"_s);
    EXPECT_TRUE(window->toolTip().contains(u"Opening bell"_s));
    EXPECT_EQ(field->accessibleName(), u"Quillmoor Live - Opening bell"_s);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(field)->text(QAccessible::Description),
              u"Now playing"_s);
    const QString longer = u"Quillmoor Live - "_s + u"The opening bell, "_s.repeated(12);
    engine.title = longer.mid(17);
    Q_EMIT engine.metadataChanged();  // three changes within the second after the last
    engine.reconnectingText = u"Reconnecting since 15:07: Timed out"_s;
    Q_EMIT engine.metadataChanged();
    engine.reconnectingText.clear();
    Q_EMIT engine.metadataChanged();
    EXPECT_NE(field->text(), longer);  // cut short to fit
    // Within the second after a change the name holds; then it says the latest text.
    EXPECT_EQ(field->accessibleName(), u"Quillmoor Live - Opening bell"_s);
    EXPECT_TRUE(testing::waitUntil([&] { return field->accessibleName() == longer; }, 5s));
    EXPECT_EQ(testing::UnspokenTexts(window.get()), QStringList());
    engine.title = u"Opening bell"_s;
    Q_EMIT engine.metadataChanged();
    // The status text keeps its place on the left, and is its bar's name.
    window->setStatusText(u"Playing."_s);
    EXPECT_EQ(named<QStatusBar>(*window, "sbStatusBar")->currentMessage(), u"Playing."_s);
    EXPECT_EQ(named<QStatusBar>(*window, "sbStatusBar")->accessibleName(), u"Playing."_s);
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), u"Quillmoor Live - Opening bell"_s);
    // While the stream is reconnected the field says since when and why, then the station.
    engine.reconnectingText = u"Reconnecting since 15:07: Connection refused"_s;
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), engine.reconnectingText);
    engine.reconnectingText.clear();
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), u"Quillmoor Live - Opening bell"_s);
    // Played late after a pause: how far behind live, and the way back to it.
    EXPECT_FALSE(named<QAction>(*window, "mnuLiveCatchUp")->isEnabled());
    engine.behind = 155s;
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(),
              u"2:35 behind live \u00b7 Quillmoor Live - Opening bell"_s);
    ASSERT_TRUE(named<QAction>(*window, "mnuLiveCatchUp")->isEnabled());
    // The recording's length has a field of its own, named by what it shows; it stays
    // through a reconnection, and the window's tooltip names it first.
    auto* recording = window->findChild<TickingField*>(u"fldRecording"_s);
    ASSERT_NE(recording, nullptr);
    EXPECT_TRUE(recording->isHidden());
    engine.recorded = 754;
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(recording->text(), u"REC 12:34"_s);
    EXPECT_TRUE(recording->isVisible());
    EXPECT_EQ(recording->accessibleName(), u"REC 12:34"_s);
    // Its own window leaves the main window's dialogs working.
    EXPECT_TRUE(testing::WhileModal<QDialog>(named<QAction>(*window, "mnuHelpAbout"),
                                             [](QDialog& shown) { shown.reject(); }));
    const int width = recording->width();
    engine.recorded = 3601;
    engine.reconnectingText = u"Reconnecting since 15:07: Connection refused"_s;
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(recording->text(), u"REC 1:00:01"_s);
    EXPECT_GT(recording->width(), width);
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), engine.reconnectingText);
    engine.reconnectingText.clear();
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(),
              u"2:35 behind live \u00b7 Quillmoor Live - Opening bell"_s);
    EXPECT_TRUE(window->toolTip().contains(u"REC 1:00:01 \u00b7 2:35 behind live"_s));
    EXPECT_TRUE(named<QAction>(*window, "mnuLiveRecord")->isChecked());
    engine.recorded = -1;
    named<QAction>(*window, "mnuLiveCatchUp")->trigger();
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), u"Quillmoor Live - Opening bell"_s);
    EXPECT_TRUE(recording->isHidden());
    EXPECT_FALSE(named<QAction>(*window, "mnuLiveCatchUp")->isEnabled());

    engine.title.clear();
    engine.station.clear();
    Q_EMIT engine.metadataChanged();
    EXPECT_EQ(named<QLabel>(*window, "lblNowPlaying")->text(), QString());
    EXPECT_EQ(window->toolTip(), QString());
}

// A title is a server's text, shown as it stands: markup in it neither renders nor loads
// anything, in the field or in either tooltip. The image it names records being opened.
TEST_F(AccessibilityTest, MarkupInATitleIsShownAsTextAndLoadsNothing) {
    QTemporaryDir dir;
    QImage(4, 4, QImage::Format_RGB32).save(dir.filePath(u"witness.png"_s));
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(opens, 0);
    ASSERT_GE(inotify_add_watch(opens, QFile::encodeName(dir.path()).constData(), IN_OPEN), 0);
    engine.station = u"<b>Quillmoor</b>"_s;
    engine.title = u"Now <img src=\"file://"_s + dir.filePath(u"witness.png"_s) + u"\"> end"_s;
    Q_EMIT engine.metadataChanged();
    EXPECT_TRUE(named<QLabel>(*window, "lblNowPlaying")
                    ->text()
                    .startsWith(u"<b>Quillmoor</b> - Now <img"_s));
    for (QWidget* widget : {static_cast<QWidget*>(named<QLabel>(*window, "lblNowPlaying")),
                            static_cast<QWidget*>(window.get())}) {
        QToolTip::showText(widget->mapToGlobal(QPoint(2, 2)), widget->toolTip(), widget);
        ASSERT_TRUE(QToolTip::isVisible());
        EXPECT_TRUE(QToolTip::text().contains(u"&lt;img"_s)) << QToolTip::text().toStdString();
        QToolTip::hideText();
    }
    char event[256];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "the title's image was opened";
    close(opens);
}

}  // namespace
}  // namespace lyrevane
