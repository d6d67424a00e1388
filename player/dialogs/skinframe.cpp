#include "dialogs/skinframe.h"

#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace lyrevane {

namespace {

// The edge strip that resizes is at least this wide, even with thinner borders.
constexpr int kMinimumGrip = 5;

Qt::CursorShape cursorFor(Qt::Edges edges) {
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool main =
            edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        return main ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

}  // namespace

SkinFrame::SkinFrame(QWidget& window, Style style)
    : QObject(&window), window_(window), style_(style) {}

bool SkinFrame::attach(SkinConfiguration& skin) {
    skin_ = &skin;
    if (!drawn_ && skin.hasImages()) {
        const bool visible = window_.isVisible();
        // Only the window's type and the frameless hint: with title or button hints beside
        // it, X11 window managers are still asked for their decorations (_MOTIF_WM_HINTS).
        window_.setWindowFlags((window_.windowFlags() & Qt::WindowType_Mask) |
                               Qt::FramelessWindowHint);
        window_.setMouseTracking(true);
        window_.installEventFilter(this);
        addMargins();
        drawn_ = true;
        if (visible) {
            window_.show();
        }
    }
    frame_ = {};
    window_.update();
    return drawn_;
}

ColourValue SkinFrame::faceColour() const {
    return skin_ ? skin_->faceColour() : makeColourValue(240, 240, 240);
}

ColourValue SkinFrame::textColour() const {
    return skin_ ? skin_->textColour() : 0;
}

FrameLayout SkinFrame::frameLayout() const {
    if (!drawn_) {
        return {};
    }
    return FrameLayout::compute(*skin_, window_.rect(), decorations());
}

// The caption and borders take room inside the window: the contents move in by them.
void SkinFrame::addMargins() {
    const int b = skin_->borderWidth();
    added_ = QMargins(b, b + skin_->captionHeight(), b, b);
    window_.setContentsMargins(window_.contentsMargins() + added_);
    if (qobject_cast<QMainWindow*>(&window_) != nullptr) {
        return;  // the main window sizes itself by its outer size
    }
    if (window_.layout() == nullptr) {
        // Controls placed by position keep their places inside the body.
        for (QObject* child : window_.children()) {
            if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) {
                widget->move(widget->pos() + QPoint(added_.left(), added_.top()));
            }
        }
    }
    const QSize grow(added_.left() + added_.right(), added_.top() + added_.bottom());
    const bool fixed = window_.minimumSize() == window_.maximumSize();
    if (fixed) {
        window_.setFixedSize(window_.maximumSize() + grow);
    } else {
        if (!window_.minimumSize().isEmpty()) {
            window_.setMinimumSize(window_.minimumSize() + grow);
        }
        window_.resize(window_.size() + grow);
    }
}

FrameDecorations SkinFrame::decorations() const {
    FrameDecorations d;
    d.title = window_.windowTitle();
    d.minimiseButton = style_.minimiseButton;
    d.maximiseButton = style_.maximiseButton;
    d.closeButton = true;
    if (style_.icon && !window_.windowIcon().isNull()) {
        const int side = skin_->captionHeight();
        d.icon =
            window_.windowIcon().pixmap(QSize(side, side), window_.devicePixelRatioF()).toImage();
    }
    return d;
}

// The drawn frame at the window's size and pixel ratio, drawn again only when those,
// the title, the activation or the skin have changed.
const QImage& SkinFrame::frame() {
    const qreal dpr = window_.devicePixelRatioF();
    const bool active = window_.isActiveWindow();
    if (!looks_.matches(*skin_, dpr)) {
        looks_ = FrameLooks::prepare(*skin_, dpr);
        frame_ = {};
    }
    if (frame_.isNull() || frameSize_ != window_.size() || frameActive_ != active ||
        frameTitle_ != window_.windowTitle() || frame_.devicePixelRatio() != dpr) {
        frameSize_ = window_.size();
        frameActive_ = active;
        frameTitle_ = window_.windowTitle();
        frame_ = QImage(frameSize_ * dpr, QImage::Format_ARGB32_Premultiplied);
        frame_.setDevicePixelRatio(dpr);
        frame_.fill(Qt::transparent);
        QPainter painter(&frame_);
        paintFrame(painter, *skin_, looks_, window_.rect(), active, decorations(), false);
    }
    return frame_;
}

void SkinFrame::paint(QEvent* event) {
    QPainter painter(&window_);
    painter.setClipRegion(static_cast<QPaintEvent*>(event)->region());
    painter.drawImage(QPoint(0, 0), frame());
    const FrameLayout layout = frameLayout();
    const int shown = pressed_ >= 0 ? pressed_ : hot_;
    if (shown >= 0 && !layout.buttons[size_t(shown)].isNull()) {
        paintCaptionButton(
            painter, *skin_, layout.buttons[size_t(shown)], CaptionButton(shown),
            window_.isActiveWindow(),
            pressed_ == shown && hot_ == shown ? ButtonState::Pressed : ButtonState::Hot,
            window_.isMaximized());
    } else if (window_.isMaximized() && !layout.buttons[1].isNull()) {
        paintCaptionButton(painter, *skin_, layout.buttons[1], CaptionButton::Maximise,
                           window_.isActiveWindow(), ButtonState::Normal, true);
    }
}

Qt::Edges SkinFrame::edgesAt(QPoint p) const {
    Qt::Edges edges;
    if (!style_.resizable || window_.isMaximized() ||
        window_.minimumSize() == window_.maximumSize()) {
        return edges;
    }
    const int grip = std::max(skin_->borderWidth(), kMinimumGrip);
    const QRect r = window_.rect();
    if (p.x() < grip) {
        edges |= Qt::LeftEdge;
    } else if (p.x() > r.right() - grip) {
        edges |= Qt::RightEdge;
    }
    if (p.y() < grip) {
        edges |= Qt::TopEdge;
    } else if (p.y() > r.bottom() - grip) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

bool SkinFrame::mousePress(QPoint point, QPointF global) {
    const FrameLayout layout = frameLayout();
    if (const int button = layout.buttonAt(point); button >= 0) {
        pressed_ = button;
        hot_ = button;
        window_.update(layout.buttons[size_t(button)]);
        return true;
    }
    QWindow* handle = window_.windowHandle();
    if (const Qt::Edges edges = edgesAt(point)) {
        if (handle == nullptr || !handle->startSystemResize(edges)) {
            drag_ = Drag::Resize;
            dragEdges_ = edges;
            dragStart_ = global;
            dragGeometry_ = window_.geometry();
        }
        return true;
    }
    if (layout.caption.contains(point)) {
        if (handle == nullptr || !handle->startSystemMove()) {
            drag_ = Drag::Move;
            dragStart_ = global;
            dragGeometry_ = window_.geometry();
        }
        return true;
    }
    return false;
}

void SkinFrame::mouseMove(QPoint point, QPointF global, Qt::MouseButtons buttons) {
    if (drag_ != Drag::None && (buttons & Qt::LeftButton)) {
        const QPoint delta = (global - dragStart_).toPoint();
        if (drag_ == Drag::Move) {
            window_.move(dragGeometry_.topLeft() + delta);
            return;
        }
        QRect g = dragGeometry_;
        const QSize least = window_.minimumSize().expandedTo(QSize(1, 1));
        if (dragEdges_ & Qt::LeftEdge) {
            g.setLeft(std::min(g.left() + delta.x(), g.right() + 1 - least.width()));
        }
        if (dragEdges_ & Qt::RightEdge) {
            g.setRight(g.right() + delta.x());
        }
        if (dragEdges_ & Qt::TopEdge) {
            g.setTop(std::min(g.top() + delta.y(), g.bottom() + 1 - least.height()));
        }
        if (dragEdges_ & Qt::BottomEdge) {
            g.setBottom(g.bottom() + delta.y());
        }
        window_.setGeometry(g);
        return;
    }
    drag_ = Drag::None;
    const Qt::Edges edges = buttons == Qt::NoButton ? edgesAt(point) : Qt::Edges();
    if (edges) {
        window_.setCursor(cursorFor(edges));
    } else if (buttons == Qt::NoButton) {
        window_.unsetCursor();
    }
    setHot(frameLayout().buttonAt(point));
}

void SkinFrame::mouseRelease(QPoint point) {
    drag_ = Drag::None;
    const int pressed = pressed_;
    pressed_ = -1;
    window_.update();
    if (pressed < 0 || frameLayout().buttonAt(point) != pressed) {
        return;
    }
    switch (CaptionButton(pressed)) {
        case CaptionButton::Minimise:
            window_.showMinimized();
            break;
        case CaptionButton::Maximise:
            toggleMaximised();
            break;
        case CaptionButton::Close:
            window_.close();
            break;
    }
}

void SkinFrame::setHot(int button) {
    if (button != hot_) {
        hot_ = button;
        window_.update(frameLayout().caption);
    }
}

void SkinFrame::toggleMaximised() {
    if (window_.isMaximized()) {
        window_.showNormal();
    } else {
        window_.showMaximized();
    }
}

bool SkinFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_ || !drawn_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Paint:
            paint(event);
            return false;
        case QEvent::WindowActivate:
        case QEvent::WindowDeactivate:
        case QEvent::WindowTitleChange:
        case QEvent::WindowIconChange:
        case QEvent::WindowStateChange:
            frame_ = {};
            window_.update();
            return false;
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            return mouse->button() == Qt::LeftButton &&
                   mousePress(mouse->position().toPoint(), mouse->globalPosition());
        }
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint point = mouse->position().toPoint();
            const FrameLayout layout = frameLayout();
            if (style_.doubleClickMaximises && mouse->button() == Qt::LeftButton &&
                layout.caption.contains(point) && layout.buttonAt(point) < 0) {
                toggleMaximised();
                return true;
            }
            return false;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            mouseMove(mouse->position().toPoint(), mouse->globalPosition(), mouse->buttons());
            return drag_ != Drag::None;
        }
        case QEvent::MouseButtonRelease:
            mouseRelease(static_cast<QMouseEvent*>(event)->position().toPoint());
            return false;
        case QEvent::Leave:
            setHot(-1);
            return false;
        default:
            return false;
    }
}

}  // namespace lyrevane
