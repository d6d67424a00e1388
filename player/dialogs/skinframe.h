#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>

#include "skin/framepainter.h"
#include "skin/skinconfiguration.h"

class QWidget;

namespace lyrevane {

// The per-window frame object: makes a top-level window frameless and draws its caption
// bar and borders from a skin configuration, with active and inactive looks. Dragging
// the caption moves the window and dragging the edges resizes it through the window
// system (X11 window managers and Wayland compositors alike); where the window system
// refuses, the frame moves and resizes the window itself.
class SkinFrame final : public QObject {
public:
    struct Style {
        bool minimiseButton = false;
        bool maximiseButton = false;
        bool icon = false;
        bool resizable = false;
        bool doubleClickMaximises = false;
    };

    explicit SkinFrame(QWidget& window, Style style);

    // Skins the window from `skin` (kept by reference) and repaints it. Returns whether
    // the frame is drawn: a skin without its images leaves the desktop's frame, while
    // the face and text colours still follow the skin.
    bool attach(SkinConfiguration& skin);

    // Body colours with the current transforms; valid after Attach.
    ColourValue faceColour() const;
    ColourValue textColour() const;
    bool isDrawn() const { return drawn_; }
    // Where the caption bar and its buttons lie, in window coordinates.
    FrameLayout frameLayout() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Drag { None, Move, Resize };

    void addMargins();
    void paint(QEvent* event);
    const QImage& frame();
    FrameDecorations decorations() const;
    Qt::Edges edgesAt(QPoint point) const;
    bool mousePress(QPoint point, QPointF global);
    void mouseMove(QPoint point, QPointF global, Qt::MouseButtons buttons);
    void mouseRelease(QPoint point);
    void setHot(int button);
    void toggleMaximised();

    QWidget& window_;
    Style style_;
    SkinConfiguration* skin_ = nullptr;
    bool drawn_ = false;
    QMargins added_;
    FrameLooks looks_;
    QImage frame_;
    QString frameTitle_;
    QSize frameSize_;
    bool frameActive_ = false;
    int hot_ = -1;
    int pressed_ = -1;
    // Moving or resizing by hand, where the window system declined.
    Drag drag_ = Drag::None;
    Qt::Edges dragEdges_;
    QPointF dragStart_;
    QRect dragGeometry_;
};

}  // namespace lyrevane
