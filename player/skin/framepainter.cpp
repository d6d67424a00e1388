#include "skin/framepainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "skin/picture.h"

namespace lyrevane {

namespace {

constexpr int kIconGap = 3;

// One look (active or inactive) of an image that stacks two looks vertically.
QRect lookRect(const QImage& image, bool active) {
    const int h = image.height() / 2;
    return QRect(0, active ? 0 : h, image.width(), h);
}

// Draws `source` of `image` into `target` (logical), at the painter's own scale.
void piece(QPainter& p, const QRectF& target, const QImage& image, const QRectF& source) {
    if (target.width() > 0 && target.height() > 0 && source.width() > 0 && source.height() > 0) {
        p.drawImage(target, image, source);
    }
}

void paintBorders(QPainter& p, const QImage& image, QRect r, int b, bool active) {
    const QRect look = lookRect(image, active);
    const qreal s = look.width() / 3.0;  // one border width in image pixels
    const qreal x0 = look.x();
    const qreal y0 = look.y();
    const QRectF src[3][3] = {
        {{x0, y0, s, s}, {x0 + s, y0, s, s}, {x0 + 2 * s, y0, s, s}},
        {{x0, y0 + s, s, s}, {x0 + s, y0 + s, s, s}, {x0 + 2 * s, y0 + s, s, s}},
        {{x0, y0 + 2 * s, s, s}, {x0 + s, y0 + 2 * s, s, s}, {x0 + 2 * s, y0 + 2 * s, s, s}}};
    const int w = r.width();
    const int h = r.height();
    const int xs[3] = {r.x(), r.x() + b, r.x() + w - b};
    const int ws[3] = {b, w - 2 * b, b};
    const int ys[3] = {r.y(), r.y() + b, r.y() + h - b};
    const int hs[3] = {b, h - 2 * b, b};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (row == 1 && col == 1) {
                continue;  // the body
            }
            piece(p, QRectF(xs[col], ys[row], ws[col], hs[row]), image, src[row][col]);
        }
    }
}

void paintCaptionBar(QPainter& p, const QImage& image, QRect caption, bool active) {
    const QRect look = lookRect(image, active);
    const qreal third = look.width() / 3.0;
    // Caps keep their proportions at the caption's height.
    const int cap =
        std::min(int(std::lround(third * caption.height() / look.height())), caption.width() / 2);
    const qreal y = look.y();
    const qreal h = look.height();
    piece(p, QRectF(caption.x(), caption.y(), cap, caption.height()), image,
          QRectF(0, y, third, h));
    piece(p, QRectF(caption.x() + cap, caption.y(), caption.width() - 2 * cap, caption.height()),
          image, QRectF(third, y, third, h));
    piece(p, QRectF(caption.right() + 1 - cap, caption.y(), cap, caption.height()), image,
          QRectF(2 * third, y, third, h));
}

}  // namespace

FrameLayout FrameLayout::compute(const SkinConfiguration& skin, QRect outer,
                                 const FrameDecorations& decorations) {
    FrameLayout layout;
    layout.border = skin.borderWidth();
    layout.captionHeight = skin.captionHeight();
    const int b = layout.border;
    layout.caption = QRect(outer.x() + b, outer.y() + b, std::max(0, outer.width() - 2 * b),
                           layout.captionHeight);
    const int slot = skin.buttonSlotWidth();
    int right = layout.caption.right() + 1;
    const std::array<bool, 3> present{decorations.minimiseButton, decorations.maximiseButton,
                                      decorations.closeButton};
    for (int i = 2; i >= 0; --i) {
        if (present[size_t(i)]) {
            right -= slot;
            layout.buttons[size_t(i)] =
                QRect(right, layout.caption.y(), slot, layout.captionHeight);
        }
    }
    if (!decorations.icon.isNull()) {
        const int side = std::max(0, layout.captionHeight - 3);
        layout.icon = QRect(layout.caption.x() + kIconGap,
                            layout.caption.y() + (layout.captionHeight - side) / 2, side, side);
    }
    layout.showTitle = layout.caption.width() >= skin.metrics[2];
    return layout;
}

int FrameLayout::buttonAt(QPoint point) const {
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (!buttons[i].isNull() && buttons[i].contains(point)) {
            return int(i);
        }
    }
    return -1;
}

FrameLooks FrameLooks::prepare(const SkinConfiguration& skin, qreal scale) {
    FrameLooks looks;
    looks.scale = scale;
    looks.transform = skin.transform;
    looks.captionKey = skin.captionBarImage.cacheKey();
    looks.bordersKey = skin.borderImage.cacheKey();
    if (!skin.hasImages()) {
        return looks;
    }
    const auto toScale = [&](const QImage& image) {
        const QImage transformed = transformImage(image, skin.transform);
        if (std::abs(scale - 1.0) < 1e-6) {
            return transformed;
        }
        const QSize size(int(std::lround(image.width() * scale)),
                         int(std::lround(image.height() * scale)));
        return resizeBicubic(transformed, size);
    };
    looks.caption = toScale(skin.captionBarImage);
    looks.borders = toScale(skin.borderImage);
    return looks;
}

bool FrameLooks::matches(const SkinConfiguration& skin, qreal s) const {
    return std::abs(scale - s) < 1e-6 && transform == skin.transform &&
           captionKey == skin.captionBarImage.cacheKey() &&
           bordersKey == skin.borderImage.cacheKey();
}

void paintFrame(QPainter& p, const SkinConfiguration& skin, const FrameLooks& looks, QRect outer,
                bool active, const FrameDecorations& decorations, bool fillBody) {
    const FrameLayout layout = FrameLayout::compute(skin, outer, decorations);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (fillBody) {
        p.fillRect(outer, toQColor(skin.faceColour()));
    }
    if (!looks.borders.isNull()) {
        paintBorders(p, looks.borders, outer, layout.border, active);
    }
    if (!looks.caption.isNull()) {
        paintCaptionBar(p, looks.caption, layout.caption, active);
    }
    if (!layout.icon.isNull()) {
        p.drawImage(QRectF(layout.icon), decorations.icon);
    }
    if (layout.showTitle && !decorations.title.isEmpty()) {
        QFont font = skin.fonts[0];
        font.setBold(true);
        p.setFont(font);
        p.setPen(toQColor(transformColour(skin.colours[active ? 0 : 3], skin.transform)));
        int left = layout.caption.x() + kIconGap + 2;
        if (!layout.icon.isNull()) {
            left = layout.icon.right() + 1 + kIconGap + 1;
        }
        int right = layout.caption.right() + 1;
        for (const QRect& button : layout.buttons) {
            if (!button.isNull()) {
                right = std::min(right, button.x());
            }
        }
        const QRect text(left, layout.caption.y(), std::max(0, right - left - 2),
                         layout.caption.height());
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(font).elidedText(decorations.title, Qt::ElideRight, text.width()));
    }
    for (size_t i = 0; i < layout.buttons.size(); ++i) {
        if (!layout.buttons[i].isNull()) {
            paintCaptionButton(p, skin, layout.buttons[i], CaptionButton(i), active,
                               ButtonState::Normal, false);
        }
    }
    p.restore();
}

void paintCaptionButton(QPainter& p, const SkinConfiguration& skin, QRect slot,
                        CaptionButton button, bool active, ButtonState state, bool maximised) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(slot).adjusted(2.5, 2.5, -2.5, -2.5);
    QColor fill = toQColor(transformColour(skin.colours[4], skin.transform));
    if (state == ButtonState::Hot) {
        fill = fill.lighter(125);
    } else if (state == ButtonState::Pressed) {
        fill = fill.darker(130);
    }
    if (!active) {
        fill.setAlpha(150);
    }
    p.setPen(QPen(toQColor(transformColour(skin.colours[1], skin.transform)).darker(140), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(face, 2.5, 2.5);

    const QColor ink = toQColor(transformColour(skin.colours[active ? 0 : 3], skin.transform));
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF g = face.adjusted(face.width() * 0.28, face.height() * 0.28, -face.width() * 0.28,
                                   -face.height() * 0.28);
    switch (button) {
        case CaptionButton::Minimise:
            p.drawLine(QPointF(g.left(), g.bottom()), QPointF(g.right(), g.bottom()));
            break;
        case CaptionButton::Maximise:
            if (maximised) {
                const qreal d = g.width() * 0.3;
                p.drawRect(g.adjusted(0, d, -d, 0));
                p.drawPolyline(
                    QPolygonF({QPointF(g.left() + d, g.top() + d), QPointF(g.left() + d, g.top()),
                               g.topRight(), QPointF(g.right(), g.bottom() - d),
                               QPointF(g.right() - d, g.bottom() - d)}));
            } else {
                p.drawRect(g);
                p.drawLine(QPointF(g.left(), g.top() + 1), QPointF(g.right(), g.top() + 1));
            }
            break;
        case CaptionButton::Close:
            p.drawLine(g.topLeft(), g.bottomRight());
            p.drawLine(g.topRight(), g.bottomLeft());
            break;
    }
    p.restore();
}

}  // namespace lyrevane
