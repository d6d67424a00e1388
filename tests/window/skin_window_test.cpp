// The skin on the real main window and the Customise Skin dialog, under a display server
// without a window manager.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

#include "../support/accessibility.h"
#include "../support/mainwindowfixture.h"
#include "../support/skintexts.h"
#include "dialogs/frmcustomiseskin.h"
#include "dialogs/skinframe.h"
#include "skin/skinconfiguration.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::named;

// The dialog's preview, whose drawn picture the tests compare.
const SamplePicture& sample(const frmCustomiseSkin& dialog) {
    return *static_cast<const SamplePicture*>(named<QWidget>(dialog, "picSample"));
}

constexpr int kTimeoutMs = 10000;

QColor face(QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}
QColor buttonFace(QWidget* widget) {
    return widget->palette().color(QPalette::Button);
}

class SkinWindowTest : public testing::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Pages from a port where nothing listens: no traffic leaves this machine.
        setPortal(u"http://127.0.0.1:9"_s);
    }

    void start() {
        makeWindow();
        ASSERT_TRUE(window->startUp({}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Opens Customise Skin from the menu; `inside` runs while it is shown and closes it.
    void customise(const std::function<void(frmCustomiseSkin&)>& inside) {
        ASSERT_TRUE(testing::WhileModal<frmCustomiseSkin>(
            named<QAction>(*window, "mnuFileCustomizeSkin"), [&](frmCustomiseSkin& dialog) {
                inside(dialog);
                if (dialog.isVisible()) {
                    ADD_FAILURE() << "the dialog is still open";
                    dialog.reject();
                }
            }));
    }

    QString skinSetting(QStringView key) { return store->readSetting(kAppName, kSkinSection, key); }
};

TEST_F(SkinWindowTest, FirstRunWearsTheSkinAndShutdownWritesTheSevenKeys) {
    start();
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->frame().isDrawn());
    EXPECT_EQ(window->size(), QSize(640, 480)) << "the outer size includes the drawn frame";
    const QColor faceColour(121, 174, 152);
    EXPECT_EQ(face(window->centralWidget()), faceColour);
    EXPECT_EQ(named<QLabel>(*window, "imgLogo")->pixmap().size(), QSize(196, 59));
    EXPECT_EQ(named<QLabel>(*window, "imgLogo")->pixmap().toImage().pixel(0, 0), faceColour.rgb())
        << "the logo's transparent parts show the face colour";
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join(u'\n').toStdString();
    EXPECT_TRUE(store->readSection(kAppName, kSkinSection).isEmpty());
    // The drawn frame shows in a grab of the window too: border and caption bar.
    const QImage shot = window->grab().toImage();
    const FrameLayout layout = window->frame().frameLayout();
    EXPECT_NE(shot.pixel(1, 200) & 0xffffffU, 0U);
    EXPECT_NE(shot.pixel(layout.caption.center()) & 0xffffffU, 0U);

    window->close();
    testing::expectFirstRunSkinTexts([this](QStringView key) { return skinSetting(key); });
}

// The player reads its skin from its own folder, else from ../share/lyrevane beside it. Run
// here beside the skin files, the test runs itself again from a copy of this program in a
// folder with neither.
int runFromBareFolder(QString* output) {
    QTemporaryDir root;
    const QString copy =
        root.filePath(u"bin/"_s + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!QDir().mkpath(root.filePath(u"bin"_s)) ||
        !QFile::copy(QCoreApplication::applicationFilePath(), copy)) {
        return -1;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(copy, {u"--gtest_filter=%1.%2"_s.arg(QString::fromLatin1(test->test_suite_name()),
                                                     QString::fromLatin1(test->name()))});
    child.waitForFinished(120000);
    *output = QString::fromLocal8Bit(child.readAll());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

TEST_F(SkinWindowTest, MissingSkinFilesAreReportedOnceAndTheDesktopFrameStays) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(QDir(programFolder).filePath(u"captionbar.gif"_s))) {
        QString output;
        EXPECT_EQ(runFromBareFolder(&output), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(u"[  PASSED  ] 1 test"_s)) << output.toStdString();
        return;
    }
    const QDir empty(QDir::cleanPath(programFolder + u"/../share/lyrevane"_s));
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.messages.isEmpty(); }, kTimeoutMs));
    QTest::qWait(100);
    ASSERT_EQ(prompts.messages.size(), 1) << "one message names every missing file";
    const QString& message = prompts.messages[0];
    EXPECT_TRUE(
        message.contains(u"Error loading picture "_s + empty.filePath(u"captionbar.gif"_s)));
    EXPECT_TRUE(message.contains(u"Error loading picture "_s + empty.filePath(u"borders.gif"_s)));
    EXPECT_TRUE(message.contains(u"Error loading picture "_s + empty.filePath(u"Lyrevane.png"_s)));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(face(window->centralWidget()), QColor(121, 174, 152)) << "the colours still apply";

    // Re-skinning after OK does not repeat the logo's message.
    customise([](frmCustomiseSkin& dialog) { named<QPushButton>(dialog, "cmdOK")->click(); });
    QTest::qWait(100);
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(SkinWindowTest, DialogShowsTheFirstRunValuesAndFillingWritesNothing) {
    start();
    const SkinTransform before = window->skinConfiguration().transform;
    customise([&](frmCustomiseSkin& d) {
        EXPECT_EQ(d.windowTitle(), u"Customise Skin"_s);
        // Its captions are given ("&Colorize" and "&Cancel" share their key): names only.
        EXPECT_EQ(testing::NamelessControls(&d), QStringList());
        EXPECT_EQ(testing::LabelProblems(&d, false).join(u'\n').toStdString(), "");
        EXPECT_EQ(named<QScrollBar>(d, "hscHue")->value(), 247);
        EXPECT_EQ(named<QScrollBar>(d, "hscSaturation")->value(), 34);
        EXPECT_EQ(named<QScrollBar>(d, "hscRed")->value(), 87);
        EXPECT_EQ(named<QScrollBar>(d, "hscGreen")->value(), 88);
        EXPECT_EQ(named<QScrollBar>(d, "hscBlue")->value(), 91);
        EXPECT_EQ(named<QScrollBar>(d, "hscHue")->maximum(), 600);
        EXPECT_EQ(named<QScrollBar>(d, "hscRed")->maximum(), 200);
        EXPECT_TRUE(named<QCheckBox>(d, "chkColourise")->isChecked());
        EXPECT_TRUE(named<QCheckBox>(d, "chkAdjustRGB")->isChecked());
        for (QScrollBar* bar :
             {named<QScrollBar>(d, "hscHue"), named<QScrollBar>(d, "hscSaturation"),
              named<QScrollBar>(d, "hscRed"), named<QScrollBar>(d, "hscGreen"),
              named<QScrollBar>(d, "hscBlue")}) {
            EXPECT_TRUE(bar->isEnabled());
        }
        EXPECT_EQ(window->skinConfiguration().transform, before);
        EXPECT_EQ(&d.skinConfiguration(), &window->skinConfiguration());
        // The design's places inside the drawn frame.
        const QMargins frame = d.contentsMargins();
        EXPECT_EQ(d.size(),
                  QSize(389 + frame.left() + frame.right(), 425 + frame.top() + frame.bottom()));
        EXPECT_EQ(named<QWidget>(d, "picSample")->geometry(),
                  QRect(32 + frame.left(), 28 + frame.top(), 309, 141));
        EXPECT_EQ(named<QPushButton>(d, "cmdCancel")->geometry(),
                  QRect(264 + frame.left(), 364 + frame.top(), 77, 29));
        EXPECT_FALSE(sample(d).picture().isNull()) << "the preview is drawn";
        const QImage shot = d.grab().toImage();
        EXPECT_NE(shot.pixel(1, 100) & 0xffffffU, 0U) << "the border";
        EXPECT_EQ(QColor(shot.pixel(20, frame.top() + 4)), QColor(121, 174, 152)) << "the body";
        // Keyboard order: the channel sliders first, the check boxes last.
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        EXPECT_EQ(QApplication::focusWidget(), named<QScrollBar>(d, "hscRed"))
            << QApplication::focusWidget()->objectName().toStdString();
        const QList<QWidget*> order{
            named<QScrollBar>(d, "hscGreen"),    named<QScrollBar>(d, "hscBlue"),
            named<QScrollBar>(d, "hscHue"),      named<QScrollBar>(d, "hscSaturation"),
            named<QPushButton>(d, "cmdOK"),      named<QPushButton>(d, "cmdCancel"),
            named<QWidget>(d, "picSample"),      named<QCheckBox>(d, "chkColourise"),
            named<QCheckBox>(d, "chkAdjustRGB"), named<QScrollBar>(d, "hscRed")};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), next)
                << QApplication::focusWidget()->objectName().toStdString() << " for "
                << next->objectName().toStdString();
        }
        named<QPushButton>(d, "cmdCancel")->click();
    });
}

TEST_F(SkinWindowTest, StoredColouriseFalseLeavesHueAndSaturationDisabled) {
    store->writeSetting(kAppName, kSkinSection, u"Colourise", u"False"_s);
    store->writeSetting(kAppName, kSkinSection, u"Hue", u"0"_s);
    start();
    customise([&](frmCustomiseSkin& d) {
        EXPECT_FALSE(named<QCheckBox>(d, "chkColourise")->isChecked());
        EXPECT_FALSE(named<QScrollBar>(d, "hscHue")->isEnabled());
        EXPECT_FALSE(named<QScrollBar>(d, "hscSaturation")->isEnabled());
        EXPECT_EQ(named<QScrollBar>(d, "hscHue")->value(), 100);
        EXPECT_EQ(named<QScrollBar>(d, "hscSaturation")->value(), 34);
        EXPECT_TRUE(named<QScrollBar>(d, "hscRed")->isEnabled());
        named<QPushButton>(d, "cmdCancel")->click();
    });
    window->close();
    EXPECT_EQ(skinSetting(u"Colourise"), u"False"_s);
    EXPECT_EQ(skinSetting(u"Hue"), u"0"_s);
}

TEST_F(SkinWindowTest, OkRepaintsTheBodyAndFiveButtonsButNotTheBrokersButton) {
    start();
    const QColor before = face(window->centralWidget());
    const QColor brokers = buttonFace(named<QToolButton>(*window, "cmdBrokers"));
    QImage previewBefore;
    customise([&](frmCustomiseSkin& d) {
        previewBefore = sample(d).picture();
        const QColor dialogFace = face(&d);
        named<QScrollBar>(d, "hscRed")->setValue(150);
        EXPECT_EQ(window->skinConfiguration().transform.percentRed, 0.5F);
        EXPECT_NE(sample(d).picture(), previewBefore) << "both frames are drawn again";
        EXPECT_EQ(face(&d), dialogFace) << "the dialog's own colours stay";
        EXPECT_EQ(face(window->centralWidget()), before) << "nothing repaints before OK";
        named<QCheckBox>(d, "chkAdjustRGB")->setChecked(false);
        EXPECT_FALSE(named<QScrollBar>(d, "hscRed")->isEnabled());
        EXPECT_FALSE(window->skinConfiguration().transform.adjustRGB);
        EXPECT_EQ(window->skinConfiguration().transform.percentRed, 0.5F) << "kept while off";
        named<QCheckBox>(d, "chkAdjustRGB")->setChecked(true);
        named<QPushButton>(d, "cmdOK")->click();
    });
    const QColor after = toQColor(window->skinConfiguration().faceColour());
    ASSERT_NE(after, before);
    EXPECT_EQ(face(window->centralWidget()), after);
    EXPECT_EQ(face(named<QWidget>(*window, "picPlayBar")), after);
    EXPECT_EQ(face(named<QWidget>(*window, "Picture1")), after);
    for (QToolButton* button :
         {named<QToolButton>(*window, "cmdPlay"), named<QToolButton>(*window, "cmdPause"),
          named<QToolButton>(*window, "cmdStop"), named<QToolButton>(*window, "cmdHome"),
          named<QToolButton>(*window, "cmdMail")}) {
        EXPECT_EQ(buttonFace(button), after) << button->objectName().toStdString();
    }
    EXPECT_EQ(buttonFace(named<QToolButton>(*window, "cmdBrokers")), brokers);
    EXPECT_NE(buttonFace(named<QSlider>(*window, "sldVolume")), after);
    // As drawn: the volume slider and the status bar keep the desktop's colour, edge to edge.
    const QImage shot = window->grab().toImage();
    const QColor desktop = QApplication::palette().color(QPalette::Window);
    for (QWidget* own : {static_cast<QWidget*>(named<QSlider>(*window, "sldVolume")),
                         static_cast<QWidget*>(named<QStatusBar>(*window, "sbStatusBar"))}) {
        for (const QPoint corner : {QPoint(0, 0), QPoint(own->width() - 1, 0)}) {
            EXPECT_EQ(QColor(shot.pixel(own->mapTo(window.get(), corner))), desktop)
                << own->objectName().toStdString() << " at " << corner.x();
        }
    }
    EXPECT_EQ(named<QLabel>(*window, "imgLogo")->pixmap().toImage().pixel(0, 0), after.rgb());
    window->close();
    EXPECT_EQ(skinSetting(u"PercentRed"), u"0.5"_s);
}

TEST_F(SkinWindowTest, EscapeOrEnterOnASliderCancelsAndPutsTheValuesBack) {
    start();
    const SkinTransform before = window->skinConfiguration().transform;
    const QColor body = face(window->centralWidget());
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        customise([&](frmCustomiseSkin& d) {
            named<QScrollBar>(d, "hscHue")->setFocus();
            named<QScrollBar>(d, "hscHue")->setValue(10);
            named<QScrollBar>(d, "hscBlue")->setValue(200);
            EXPECT_EQ(window->skinConfiguration().transform.hue, -0.9F);
            QTest::keyClick(named<QScrollBar>(d, "hscHue"), key);
            EXPECT_FALSE(d.isVisible());
            EXPECT_TRUE(d.cancelled());
        });
        EXPECT_EQ(window->skinConfiguration().transform, before);
        EXPECT_EQ(face(window->centralWidget()), body);
    }
    window->close();
    EXPECT_EQ(skinSetting(u"Hue"), u"1.47"_s);
}

TEST_F(SkinWindowTest, DraggingTheCaptionMovesTheWindowWhereNoWindowManagerDoes) {
    start();
    const FrameLayout layout = window->frame().frameLayout();
    ASSERT_FALSE(layout.caption.isEmpty());
    const QPoint grab = layout.caption.center() - QPoint(100, 0);
    const QPoint before = window->pos();
    QTest::mousePress(window.get(), Qt::LeftButton, {}, grab);
    QMouseEvent move(QEvent::MouseMove, QPointF(grab + QPoint(40, 30)),
                     window->mapToGlobal(QPointF(grab + QPoint(40, 30))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, grab + QPoint(40, 30));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->pos() == before + QPoint(40, 30); }, kTimeoutMs))
        << window->pos().x() << "," << window->pos().y();
}

TEST_F(SkinWindowTest, DraggingACornerResizesAndTheCaptionMaximisesOnDoubleClick) {
    start();
    const QSize before = window->size();
    const QPoint corner(before.width() - 2, before.height() - 2);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, corner);
    QMouseEvent move(QEvent::MouseMove, QPointF(corner + QPoint(50, 40)),
                     window->mapToGlobal(QPointF(corner + QPoint(50, 40))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, corner + QPoint(50, 40));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->size() == before + QSize(50, 40); }, kTimeoutMs))
        << window->width() << "x" << window->height();

    // Not below the least size: a drag far up and left stops there.
    const QPoint edge(window->width() - 2, window->height() - 2);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, edge);
    QMouseEvent shrink(QEvent::MouseMove, QPointF(edge - QPoint(2000, 2000)),
                       window->mapToGlobal(QPointF(edge - QPoint(2000, 2000))), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &shrink);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, edge);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->size() == window->minimumSize(); }, kTimeoutMs));

    const FrameLayout layout = window->frame().frameLayout();
    QTest::mouseDClick(window.get(), Qt::LeftButton, {}, layout.caption.center());
    EXPECT_TRUE(window->isMaximized());
}

TEST_F(SkinWindowTest, TheOtherDialogsWearTheSkinAroundTheirLayouts) {
    start();
    prompts.yesNo = {true, true};  // both empty lists get a first entry, so the dialogs show
    for (QAction* entry : {named<QAction>(*window, "mnuHelpAbout"),
                           named<QAction>(*window, "mnuFileConfigureOnlineBrokers"),
                           named<QAction>(*window, "mnuFileBroadcastScheduler")}) {
        EXPECT_TRUE(testing::WhileModal<QDialog>(entry, [&](QDialog& shown) {
            QDialog* dialog = &shown;
            QTest::qWait(50);
            const std::string name = dialog->objectName().toStdString();
            EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint)) << name;
            EXPECT_EQ(dialog->contentsMargins().top(), window->contentsMargins().top()) << name;
            // Every control lies inside the body, below the caption bar.
            for (QWidget* child : dialog->findChildren<QWidget*>()) {
                if (child->isVisible() && child->parentWidget() == dialog) {
                    EXPECT_GE(child->y(), dialog->contentsMargins().top())
                        << name << " " << child->objectName().toStdString();
                }
            }
            const QImage shot = dialog->grab().toImage();
            EXPECT_EQ(QColor(shot.pixel(1, shot.height() / 2)), QColor(shot.pixel(1, 50)))
                << "the border runs down the side";
            EXPECT_NE(shot.pixel(1, shot.height() / 2) & 0xffffffU, 0U);
            dialog->reject();
        }));
    }
}

TEST_F(SkinWindowTest, TheCloseButtonClosesTheWindowAndSaves) {
    start();
    const FrameLayout layout = window->frame().frameLayout();
    QTest::mouseClick(window.get(), Qt::LeftButton, {},
                      layout.buttons[size_t(CaptionButton::Close)].center());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(skinSetting(u"Colourise"), u"True"_s) << "closing saved the skin";
}

}  // namespace
}  // namespace lyrevane
