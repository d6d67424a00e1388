#include "skin/colourtransform.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lyrevane {

namespace {

int clampChannel(double value) {
    return std::clamp(int(std::lround(value)), 0, 255);
}

float clampOr(float value, float low, float high, float fallback) {
    return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

// Colourise of one HSL lightness level: `sum` is max + min of the channels (0..510).
QRgb colouriseLevel(int sum, double hueTurn, double saturation) {
    const double lightness = sum / 510.0;
    const double chroma = (1.0 - std::abs(2.0 * lightness - 1.0)) * saturation;
    const double sector = hueTurn * 6.0;
    const double x = chroma * (1.0 - std::abs(std::fmod(sector, 2.0) - 1.0));
    double r = 0;
    double g = 0;
    double b = 0;
    switch (std::clamp(int(sector), 0, 5)) {
        case 0:
            r = chroma, g = x;
            break;
        case 1:
            r = x, g = chroma;
            break;
        case 2:
            g = chroma, b = x;
            break;
        case 3:
            g = x, b = chroma;
            break;
        case 4:
            r = x, b = chroma;
            break;
        default:
            r = chroma, b = x;
            break;
    }
    const double m = lightness - chroma / 2.0;
    return qRgb(clampChannel((r + m) * 255.0), clampChannel((g + m) * 255.0),
                clampChannel((b + m) * 255.0));
}

struct Tables {
    bool colourise = false;
    std::array<QRgb, 511> levels{};
    std::array<std::array<quint8, 256>, 3> channels{};
};

Tables makeTables(const SkinTransform& t) {
    Tables tables;
    tables.colourise = t.colourise;
    if (t.colourise) {
        const double hue = clampOr(t.hue, SkinTransform::kHueMin, SkinTransform::kHueMax, 0.0F);
        double turn = (hue + 1.0) / 6.0;
        turn -= std::floor(turn);  // 5.00 is a whole turn: the same as -1.00
        const double saturation = clampOr(t.saturation, 0.0F, 1.0F, 0.0F);
        for (int sum = 0; sum <= 510; ++sum) {
            tables.levels[size_t(sum)] = colouriseLevel(sum, turn, saturation);
        }
    }
    const std::array<float, 3> percents{t.percentRed, t.percentGreen, t.percentBlue};
    for (size_t c = 0; c < 3; ++c) {
        const double factor = t.adjustRGB ? 1.0 + clampOr(percents[c], -1.0F, 1.0F, 0.0F) : 1.0;
        for (int v = 0; v < 256; ++v) {
            tables.channels[c][size_t(v)] = quint8(clampChannel(v * factor));
        }
    }
    return tables;
}

QRgb apply(const Tables& tables, QRgb colour) {
    int r = qRed(colour);
    int g = qGreen(colour);
    int b = qBlue(colour);
    if (tables.colourise) {
        const QRgb tinted = tables.levels[size_t(std::max({r, g, b}) + std::min({r, g, b}))];
        r = qRed(tinted);
        g = qGreen(tinted);
        b = qBlue(tinted);
    }
    return qRgba(tables.channels[0][size_t(r)], tables.channels[1][size_t(g)],
                 tables.channels[2][size_t(b)], qAlpha(colour));
}

}  // namespace

QRgb transformRgb(QRgb colour, const SkinTransform& transform) {
    return apply(makeTables(transform), colour);
}

ColourValue transformColour(ColourValue colour, const SkinTransform& transform) {
    const QRgb result = transformRgb(toQColor(colour).rgb(), transform);
    return makeColourValue(qRed(result), qGreen(result), qBlue(result));
}

QImage transformImage(const QImage& image, const SkinTransform& transform) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    const Tables tables = makeTables(transform);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            line[x] = apply(tables, line[x]);
        }
    }
    return result;
}

}  // namespace lyrevane
