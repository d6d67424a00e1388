#include "skin/artwork.h"

#include "skin/logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The closed outline through `corners`, given as fractions of `side`.
QPainterPath outline(double side, std::initializer_list<QPointF> corners) {
    QPainterPath path;
    for (const QPointF& corner : corners) {
        if (path.elementCount() == 0) {
            path.moveTo(corner.x() * side, corner.y() * side);
        } else {
            path.lineTo(corner.x() * side, corner.y() * side);
        }
    }
    path.closeSubpath();
    return path;
}

void drawGlyph(QPainter& p, Glyph glyph, int side, const QColor& ink) {
    const double s = side;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (glyph) {
        case Glyph::Play:
            p.drawPath(outline(s, {{0.28, 0.18}, {0.82, 0.5}, {0.28, 0.82}}));
            break;
        case Glyph::Pause:
            p.drawRect(QRectF(s * 0.24, s * 0.2, s * 0.18, s * 0.6));
            p.drawRect(QRectF(s * 0.58, s * 0.2, s * 0.18, s * 0.6));
            break;
        case Glyph::Stop:
            p.drawRect(QRectF(s * 0.24, s * 0.24, s * 0.52, s * 0.52));
            break;
        case Glyph::Home:
            p.drawPath(outline(s, {{0.5, 0.12}, {0.9, 0.5}, {0.1, 0.5}}));  // the roof
            p.drawRect(QRectF(s * 0.22, s * 0.48, s * 0.56, s * 0.38));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(s * 0.43, s * 0.6, s * 0.14, s * 0.26));
            break;
        case Glyph::Mail:
            p.setBrush(Qt::white);
            p.setPen(QPen(ink, s * 0.07));
            p.drawRect(QRectF(s * 0.12, s * 0.26, s * 0.76, s * 0.5));
            p.drawPolyline(QPolygonF({QPointF(s * 0.12, s * 0.26), QPointF(s * 0.5, s * 0.55),
                                      QPointF(s * 0.88, s * 0.26)}));
            break;
        case Glyph::Brokers:
            // A lightning bolt: a zigzag from the top right down to a point at the bottom left.
            p.setPen(QPen(ink, s * 0.05, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            p.setBrush(QColor(0xf2, 0xc2, 0x30));
            p.drawPath(outline(s, {{0.6, 0.04},
                                   {0.2, 0.56},
                                   {0.46, 0.56},
                                   {0.32, 0.96},
                                   {0.82, 0.4},
                                   {0.55, 0.4},
                                   {0.74, 0.04}}));
            break;
    }
}

QPixmap glyphPixmap(Glyph glyph, int side, const QColor& ink) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawGlyph(painter, glyph, side, ink);
    return pixmap;
}

}  // namespace

QIcon glyphIcon(Glyph glyph, int side) {
    QIcon icon;
    icon.addPixmap(glyphPixmap(glyph, side, QColor(0x1d, 0x4e, 0x89)), QIcon::Normal);
    icon.addPixmap(glyphPixmap(glyph, side, QColor(0x12, 0x33, 0x5c)), QIcon::Active);
    icon.addPixmap(glyphPixmap(glyph, side, QColor(0xa0, 0xa4, 0xaa)), QIcon::Disabled);
    return icon;
}

QPixmap logoPixmap() {
    QPixmap pixmap(logoSize());
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintLogo(p);
    return pixmap;
}

}  // namespace lyrevane
