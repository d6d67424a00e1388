#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "skin/colourtransform.h"

namespace lyrevane {
namespace {

SkinTransform colouriseOnly(float hue, float saturation) {
    SkinTransform t;
    t.adjustRGB = false;
    t.hue = hue;
    t.saturation = saturation;
    return t;
}

SkinTransform adjustOnly(float red, float green, float blue) {
    SkinTransform t;
    t.colourise = false;
    t.percentRed = red;
    t.percentGreen = green;
    t.percentBlue = blue;
    return t;
}

// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
double contrastRatio(QRgb a, QRgb b) {
    const auto luminance = [](QRgb c) {
        const auto linear = [](int channel) {
            const double v = channel / 255.0;
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

int lightnessSum(QRgb c) {
    return std::max({qRed(c), qGreen(c), qBlue(c)}) + std::min({qRed(c), qGreen(c), qBlue(c)});
}

TEST(ColourTransform, DefaultsGiveACalmFaceWithReadableText) {
    const SkinTransform defaults;
    const QRgb face = toQColor(transformColour(makeColourValue(123, 189, 214), defaults)).rgb();
    const QRgb text = toQColor(transformColour(ColourValue(0), defaults)).rgb();
    EXPECT_EQ(face, qRgb(121, 174, 152));
    EXPECT_EQ(text, qRgb(0, 0, 0));
    EXPECT_GE(contrastRatio(face, text), 4.5);
}

TEST(ColourTransform, ColouriseKeepsLightnessAndSetsTheHue) {
    for (const QRgb c : {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(47, 122, 151), qRgb(200, 10, 90),
                         qRgb(128, 128, 128)}) {
        for (const float hue : {-1.0F, 0.0F, 1.47F, 3.0F, 5.0F}) {
            const QRgb out = transformRgb(c, colouriseOnly(hue, 1.0F));
            EXPECT_NEAR(lightnessSum(out), lightnessSum(c), 2) << hue;
        }
    }
    const QRgb mid = qRgb(128, 128, 128);
    // -1 is red, each whole step a sixth of a turn: 1 green, 3 blue, 5 red again.
    EXPECT_EQ(transformRgb(mid, colouriseOnly(-1.0F, 1.0F)), qRgb(255, 1, 1));
    EXPECT_EQ(transformRgb(mid, colouriseOnly(1.0F, 1.0F)), qRgb(1, 255, 1));
    EXPECT_EQ(transformRgb(mid, colouriseOnly(3.0F, 1.0F)), qRgb(1, 1, 255));
    EXPECT_EQ(transformRgb(mid, colouriseOnly(5.0F, 1.0F)),
              transformRgb(mid, colouriseOnly(-1.0F, 1.0F)));
    // No saturation: a grey of the same lightness, whatever the hue.
    EXPECT_EQ(transformRgb(qRgb(200, 100, 0), colouriseOnly(2.3F, 0.0F)), qRgb(100, 100, 100));
}

TEST(ColourTransform, AdjustScalesAndClampsEachChannel) {
    const QRgb c = qRgb(100, 200, 51);
    EXPECT_EQ(transformRgb(c, adjustOnly(0, 0, 0)), c);
    EXPECT_EQ(transformRgb(c, adjustOnly(1.0F, 1.0F, 1.0F)), qRgb(200, 255, 102));
    EXPECT_EQ(transformRgb(c, adjustOnly(-1.0F, -1.0F, -1.0F)), qRgb(0, 0, 0));
    EXPECT_EQ(transformRgb(c, adjustOnly(0.5F, -0.5F, 0.01F)), qRgb(150, 100, 52));
    // Out-of-range fractions (a hand-edited store) are clamped, not wrapped.
    EXPECT_EQ(transformRgb(c, adjustOnly(3.0F, -7.0F, 0)), qRgb(200, 0, 51));
    EXPECT_EQ(transformRgb(c, adjustOnly(std::numeric_limits<float>::quiet_NaN(), 0, 0)), c);
}

TEST(ColourTransform, ColouriseComesBeforeTheAdjustmentAndFlagsSwitchThem) {
    SkinTransform t = colouriseOnly(2.3F, 0.0F);
    t.adjustRGB = true;
    t.percentRed = 0.5F;
    t.percentGreen = 0;
    t.percentBlue = 0;
    EXPECT_EQ(transformRgb(qRgb(200, 100, 0), t), qRgb(150, 100, 100));
    t.colourise = false;
    t.adjustRGB = false;
    EXPECT_EQ(transformRgb(qRgb(200, 100, 0), t), qRgb(200, 100, 0));
    // Alpha is kept.
    EXPECT_EQ(qAlpha(transformRgb(qRgba(10, 20, 30, 77), SkinTransform{})), 77);
}

TEST(ColourTransform, ImagesTransformLikeTheirPixels) {
    QImage image(3, 2, QImage::Format_ARGB32);
    const QRgb pixels[] = {qRgb(0, 0, 0),     qRgb(255, 255, 255), qRgba(47, 122, 151, 128),
                           qRgb(9, 200, 100), qRgba(0, 0, 0, 0),   qRgb(123, 189, 214)};
    for (int i = 0; i < 6; ++i) {
        image.setPixel(i % 3, i / 3, pixels[i]);
    }
    const SkinTransform t;
    const QImage out = transformImage(image, t);
    ASSERT_EQ(out.size(), image.size());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(out.pixel(i % 3, i / 3), transformRgb(pixels[i], t)) << i;
    }
}

}  // namespace
}  // namespace lyrevane
