#pragma once

#include <QCoreApplication>
#include <QWidget>

#include <functional>

class QLabel;
class QSlider;
class QToolButton;

namespace lyrevane {

class PlaybackController;

// The play bar: a splitter strip that reports mouse moves while a button is held.
class PlayBarStrip final : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    // Called with the button state (1 = left alone) and y relative to the bar's top.
    std::function<void(int buttons, double y)> onDrag;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// The play bar's widgets: the strip the mouse drags, and on its panel the play, pause and
// stop buttons, the volume slider and the portal's buttons. Built in tab order.
class PlayBar final {
    Q_DECLARE_TR_FUNCTIONS(PlayBar)

public:
    explicit PlayBar(QWidget* parent);

    // The play, pause and stop buttons follow the controller; the slider tells it the
    // volume the listener sets.
    void connectTo(PlaybackController& playback);
    void setPlayEnabled(bool enabled);
    void setPauseVisible(bool visible);
    void setStopEnabled(bool enabled);
    // Moves the slider without telling the controller.
    void setVolume(int value);
    int volume() const;
    // The strip, its panel and the buttons that wear the skin's face colour.
    QList<QWidget*> faceWidgets() const;

    PlayBarStrip* picPlayBar = nullptr;
    QWidget* Picture1 = nullptr;  // the button panel
    QToolButton* cmdPlay = nullptr;
    QToolButton* cmdPause = nullptr;
    QToolButton* cmdStop = nullptr;
    QLabel* lblVolume = nullptr;
    QSlider* sldVolume = nullptr;
    QToolButton* cmdHome = nullptr;
    QToolButton* cmdMail = nullptr;
    QToolButton* cmdBrokers = nullptr;

private:
    // The volume slider and its label, between the play buttons and the portal's.
    void buildVolume();
};

}  // namespace lyrevane
