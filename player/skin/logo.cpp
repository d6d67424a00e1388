#include "skin/logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QSize logoSize() {
    return {196, 59};
}

void paintLogo(QPainter& p) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // A quill nib over three sound waves.
    QLinearGradient nibFill(QPointF(6, 6), QPointF(48, 54));
    nibFill.setColorAt(0, QColor(0x2f, 0x7d, 0xc4));
    nibFill.setColorAt(1, QColor(0x12, 0x33, 0x5c));
    QPainterPath nib;
    nib.moveTo(10, 52);
    nib.cubicTo(14, 30, 28, 12, 46, 6);
    nib.cubicTo(42, 24, 30, 40, 10, 52);
    p.setPen(Qt::NoPen);
    p.setBrush(nibFill);
    p.drawPath(nib);
    p.setPen(QPen(QColor(0xe8, 0x9a, 0x1c), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 8 + i * 6;
        p.drawArc(QRectF(30 - r, 40 - r, 2 * r, 2 * r), -30 * 16, 60 * 16);
    }
    // The wordmark.
    QFont title(u"DejaVu Serif"_s);
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0x12, 0x33, 0x5c));
    p.drawText(QRectF(56, 4, 140, 28), Qt::AlignLeft | Qt::AlignVCenter, u"Quillmoor"_s);
    QFont subtitle(u"DejaVu Sans"_s);
    subtitle.setPixelSize(12);
    subtitle.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(subtitle);
    p.setPen(QColor(0xe8, 0x9a, 0x1c));
    p.drawText(QRectF(58, 32, 138, 20), Qt::AlignLeft | Qt::AlignVCenter, u"LYREVANE RADIO"_s);
    p.restore();
}

}  // namespace lyrevane
