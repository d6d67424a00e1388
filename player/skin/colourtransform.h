#pragma once

#include <QColor>
#include <QImage>
#include <QtGlobal>

namespace lyrevane {

// A colour as the skin stores it: red in the low byte, green in the next, blue in the
// third; the top byte is unused.
using ColourValue = quint32;

constexpr ColourValue makeColourValue(int red, int green, int blue) {
    return ColourValue(red & 0xff) | ColourValue(green & 0xff) << 8 |
           ColourValue(blue & 0xff) << 16;
}
inline QColor toQColor(ColourValue value) {
    return QColor(int(value & 0xff), int(value >> 8 & 0xff), int(value >> 16 & 0xff));
}
inline ColourValue fromQColor(const QColor& colour) {
    return makeColourValue(colour.red(), colour.green(), colour.blue());
}

// The skin's two colour transforms and their parameters. A parameter keeps its value
// while its flag is off; the flag only decides whether the transform applies.
struct SkinTransform {
    static constexpr float kHueMin = -1.0F;
    static constexpr float kHueMax = 5.0F;

    bool colourise = true;
    float hue = 1.47F;         // -1.00 to 5.00: six sixths of a turn, -1 is red
    float saturation = 0.34F;  // 0.00 to 1.00
    bool adjustRGB = true;
    float percentRed = -0.13F;  // -1.00 to 1.00: fraction added to the channel
    float percentGreen = -0.12F;
    float percentBlue = -0.09F;

    friend bool operator==(const SkinTransform&, const SkinTransform&) = default;
};

// The transforms, in this order:
// 1. Colourise (when on): the pixel keeps its HSL lightness L = (max + min) / 2 and takes
//    hue (Hue + 1) / 6 of a turn and HSL saturation Saturation.
// 2. Adjust (when on): each channel c becomes c * (1 + Percent), rounded to the nearest
//    whole number and clamped to 0..255.
// Parameters outside their ranges are clamped first. Alpha is kept.
QRgb transformRgb(QRgb colour, const SkinTransform& transform);
ColourValue transformColour(ColourValue colour, const SkinTransform& transform);
// The same for every pixel, through lookup tables; the result is ARGB32.
QImage transformImage(const QImage& image, const SkinTransform& transform);

}  // namespace lyrevane
