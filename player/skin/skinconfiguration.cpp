#include "skin/skinconfiguration.h"

#include <QDir>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "common/settingsprovider.h"
#include "common/typedvalues.h"
#include "skin/framepainter.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

bool readFlag(SettingsProvider& settings, QStringView key, bool fallback) {
    return parseBool(settings.readSetting(kAppName, kSkinSection, key, formatBool(fallback)))
        .value_or(fallback);
}

float readNumber(SettingsProvider& settings, QStringView key, float fallback, float low,
                 float high) {
    const std::optional<float> value =
        parseSingle(settings.readSetting(kAppName, kSkinSection, key, formatSingle(fallback)));
    if (!value || !std::isfinite(*value)) {
        return fallback;
    }
    return std::clamp(*value, low, high);
}

QImage loadImage(const QString& path) {
    QImageReader reader(path);
    return reader.read();
}

}  // namespace

bool SkinConfiguration::hasImages() const {
    return !captionBarImage.isNull() && !borderImage.isNull() && captionBarImage.height() >= 2 &&
           captionBarImage.width() >= 3 && borderImage.width() >= 3 &&
           borderImage.height() >= 2 * borderImage.width();
}

int SkinConfiguration::borderWidth() const {
    return hasImages() ? borderImage.width() / 3 : 0;
}

void SkinConfiguration::drawSample(QPainter& painter, int x, int y, int width, int height,
                                   bool active) const {
    if (width <= 0 || height <= 0) {
        return;
    }
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    FrameDecorations sample;
    sample.title = name;
    sample.minimiseButton = true;
    sample.maximiseButton = true;
    paintFrame(painter, *this, FrameLooks::prepare(*this, scale), QRect(x, y, width, height),
               active, sample, true);
}

QStringList SkinConfiguration::setUp(const QFont& windowFont, const QString& skinFolder) {
    name = u"Default"_s;
    colours = {makeColourValue(255, 255, 255),
               makeColourValue(47, 122, 151),
               0,
               makeColourValue(255, 255, 255),
               makeColourValue(47, 122, 151),
               makeColourValue(123, 189, 214)};
    fonts = {windowFont, windowFont};
    QStringList missing;
    const QString captionPath = QDir(skinFolder).filePath(u"captionbar.gif"_s);
    const QString bordersPath = QDir(skinFolder).filePath(u"borders.gif"_s);
    captionBarImage = loadImage(captionPath);
    borderImage = loadImage(bordersPath);
    if (captionBarImage.isNull()) {
        missing.append(captionPath);
    }
    if (borderImage.isNull()) {
        missing.append(bordersPath);
    }
    if (missing.isEmpty() && !hasImages()) {
        missing = {captionPath, bordersPath};  // loaded, but not shaped like skin images
    }
    if (!missing.isEmpty()) {
        captionBarImage = {};
        borderImage = {};
    }
    metrics = {19, 20, 90, 140, 240, 400};
    return missing;
}

SkinTransform loadSkinSettings(SettingsProvider& settings) {
    const SkinTransform defaults;
    SkinTransform t;
    t.colourise = readFlag(settings, u"Colourise", defaults.colourise);
    t.hue =
        readNumber(settings, u"Hue", defaults.hue, SkinTransform::kHueMin, SkinTransform::kHueMax);
    t.saturation = readNumber(settings, u"Saturation", defaults.saturation, 0.0F, 1.0F);
    t.adjustRGB = readFlag(settings, u"AdjustRGB", defaults.adjustRGB);
    t.percentRed = readNumber(settings, u"PercentRed", defaults.percentRed, -1.0F, 1.0F);
    t.percentGreen = readNumber(settings, u"PercentGreen", defaults.percentGreen, -1.0F, 1.0F);
    t.percentBlue = readNumber(settings, u"PercentBlue", defaults.percentBlue, -1.0F, 1.0F);
    return t;
}

void saveSkinSettings(SettingsProvider& settings, const SkinTransform& t) {
    settings.writeSettings(kAppName, kSkinSection,
                           {{u"Colourise"_s, formatBool(t.colourise)},
                            {u"Hue"_s, formatSingle(t.hue)},
                            {u"Saturation"_s, formatSingle(t.saturation)},
                            {u"AdjustRGB"_s, formatBool(t.adjustRGB)},
                            {u"PercentRed"_s, formatSingle(t.percentRed)},
                            {u"PercentGreen"_s, formatSingle(t.percentGreen)},
                            {u"PercentBlue"_s, formatSingle(t.percentBlue)}});
}

namespace slider {

namespace {
int toSlider(double value, int maximum) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return std::clamp(int(std::nearbyint(std::clamp(value, -32768.0, 32767.0))), 0, maximum);
}
}  // namespace

int fromHue(float hue) {
    return toSlider((double(hue) + 1.0) * 100.0, kHueMax);
}
int fromSaturation(float saturation) {
    return toSlider(double(saturation) * 100.0, kSaturationMax);
}
int fromPercent(float percent) {
    return toSlider(double(percent) * 100.0 + 100.0, kChannelMax);
}
float toHue(int value) {
    return float((value - 100) / 100.0);
}
float toSaturation(int value) {
    return float(value / 100.0);
}
float toPercent(int value) {
    return float((value - 100) / 100.0);
}

}  // namespace slider

}  // namespace lyrevane
