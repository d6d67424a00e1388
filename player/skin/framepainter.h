#pragma once

#include <QImage>
#include <QRect>

#include <array>

#include "skin/skinconfiguration.h"

class QPainter;

namespace lyrevane {

enum class CaptionButton { Minimise = 0, Maximise = 1, Close = 2 };

// Where the parts of a drawn frame lie in a window of a given size (logical pixels).
struct FrameLayout {
    int border = 0;
    int captionHeight = 0;
    QRect caption;
    QRect icon;                    // null when the window has no icon
    std::array<QRect, 3> buttons;  // by CaptionButton; null when absent
    bool showTitle = true;

    static FrameLayout compute(const SkinConfiguration& skin, QRect outer,
                               const FrameDecorations& decorations);
    // The part of the window under `point`: a button, or -1.
    int buttonAt(QPoint point) const;
};

// The skin images with the transforms applied and scaled to a device pixel ratio.
struct FrameLooks {
    QImage caption;
    QImage borders;
    qreal scale = 1.0;
    SkinTransform transform;
    qint64 captionKey = 0;
    qint64 bordersKey = 0;

    // Transformed and scaled by bicubic resampling; empty looks when the skin has no images.
    static FrameLooks prepare(const SkinConfiguration& skin, qreal scale);
    // Whether these looks were prepared from `skin`'s current images and transforms.
    bool matches(const SkinConfiguration& skin, qreal scale) const;
};

// How a caption button is drawn.
enum class ButtonState { Normal, Hot, Pressed };

// Paints borders and caption bar (icon, title and buttons) around `outer`; the body is
// filled with the face colour only when `fillBody` is set.
void paintFrame(QPainter& painter, const SkinConfiguration& skin, const FrameLooks& looks,
                QRect outer, bool active, const FrameDecorations& decorations, bool fillBody);
void paintCaptionButton(QPainter& painter, const SkinConfiguration& skin, QRect slot,
                        CaptionButton button, bool active, ButtonState state, bool maximised);

}  // namespace lyrevane
