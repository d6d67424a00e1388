#include "ui/playbar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include "core/playbackcontroller.h"
#include "skin/artwork.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Mouse buttons as the splitter logic counts them.
int buttonState(Qt::MouseButtons buttons) {
    int state = 0;
    if (buttons & Qt::LeftButton) {
        state |= 1;
    }
    if (buttons & Qt::RightButton) {
        state |= 2;
    }
    if (buttons & Qt::MiddleButton) {
        state |= 4;
    }
    return state;
}

// A play-bar button: drawn glyph, a name a screen reader says, reachable with Tab.
QToolButton* pictureButton(QWidget* parent, Glyph glyph, const QRect& geometry, int iconSide,
                           const QString& name, const QString& spokenName) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAccessibleName(spokenName);
    button->setToolTip(spokenName);
    button->setIcon(glyphIcon(glyph, iconSide));
    button->setIconSize(QSize(iconSide, iconSide));
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

void PlayBarStrip::mouseMoveEvent(QMouseEvent* event) {
    if (onDrag) {
        onDrag(buttonState(event->buttons()), event->position().y());
    }
    event->accept();
}

PlayBar::PlayBar(QWidget* parent) {
    picPlayBar = new PlayBarStrip(parent);
    picPlayBar->setObjectName(u"picPlayBar"_s);
    picPlayBar->setCursor(Qt::SizeVerCursor);

    // The button panel keeps its own arrow pointer and never starts a drag.
    Picture1 = new QWidget(picPlayBar);
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setAccessibleName(tr("Play bar"));
    Picture1->setGeometry(-2, -2, 461, 40);
    Picture1->setCursor(Qt::ArrowCursor);
    Picture1->setAttribute(Qt::WA_NoMousePropagation);

    cmdPlay =
        pictureButton(Picture1, Glyph::Play, QRect(12, 8, 21, 21), 18, u"cmdPlay"_s, tr("Play"));
    cmdPause =
        pictureButton(Picture1, Glyph::Pause, QRect(12, 8, 21, 21), 18, u"cmdPause"_s, tr("Pause"));
    cmdStop =
        pictureButton(Picture1, Glyph::Stop, QRect(40, 8, 21, 21), 18, u"cmdStop"_s, tr("Stop"));
    cmdPlay->setEnabled(false);
    cmdPause->setVisible(false);
    cmdStop->setEnabled(false);

    buildVolume();
    cmdHome =
        pictureButton(Picture1, Glyph::Home, QRect(312, 3, 38, 33), 24, u"cmdHome"_s, tr("Home"));
    cmdMail =
        pictureButton(Picture1, Glyph::Mail, QRect(364, 3, 39, 33), 24, u"cmdMail"_s, tr("Mail"));
    cmdBrokers = pictureButton(Picture1, Glyph::Brokers, QRect(416, 3, 38, 33), 24, u"cmdBrokers"_s,
                               tr("Online Brokers"));
}

void PlayBar::buildVolume() {
    lblVolume = new QLabel(tr("&Volume:"), Picture1);
    lblVolume->setGeometry(68, 11, 44, 15);
    QFont small = lblVolume->font();
    small.setPixelSize(11);
    lblVolume->setFont(small);

    sldVolume = new QSlider(Qt::Horizontal, Picture1);
    sldVolume->setObjectName(u"sldVolume"_s);
    sldVolume->setRange(0, 100);
    sldVolume->setGeometry(112, 8, 173, 21);
    // A screen reader says "Volume" and the slider's value; the label names it too.
    sldVolume->setAccessibleName(tr("Volume"));
    sldVolume->setPageStep(10);
    lblVolume->setBuddy(sldVolume);
}

void PlayBar::connectTo(PlaybackController& playback) {
    QObject::connect(cmdPlay, &QToolButton::clicked, cmdPlay,
                     [&playback] { playback.playClicked(); });
    QObject::connect(cmdPause, &QToolButton::clicked, cmdPause,
                     [&playback] { playback.pauseClicked(); });
    QObject::connect(cmdStop, &QToolButton::clicked, cmdStop,
                     [&playback] { playback.stopClicked(); });
    QObject::connect(sldVolume, &QSlider::valueChanged, sldVolume,
                     [&playback](int value) { playback.volumeChanged(value); });
}

void PlayBar::setPlayEnabled(bool enabled) {
    cmdPlay->setEnabled(enabled);
}

void PlayBar::setPauseVisible(bool visible) {
    cmdPause->setVisible(visible);
}

void PlayBar::setStopEnabled(bool enabled) {
    cmdStop->setEnabled(enabled);
}

int PlayBar::volume() const {
    return sldVolume->value();
}

void PlayBar::setVolume(int value) {
    const QSignalBlocker blocker(sldVolume);
    sldVolume->setValue(value);
}

QList<QWidget*> PlayBar::faceWidgets() const {
    return {picPlayBar, Picture1, cmdPlay, cmdPause, cmdStop, cmdHome, cmdMail};
}

}  // namespace lyrevane
