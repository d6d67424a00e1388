#include <gtest/gtest.h>

#include <QFont>
#include <QPainter>
#include <QTemporaryDir>

#include <clocale>

#include "../support/skintexts.h"
#include "common/settingsstore.h"
#include "skin/framepainter.h"
#include "skin/skinconfiguration.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

TEST(SliderEncoding, FirstRunDefaultsShowTheDesignedPositions) {
    const SkinTransform d;
    EXPECT_EQ(slider::fromHue(d.hue), 247);
    EXPECT_EQ(slider::fromSaturation(d.saturation), 34);
    EXPECT_EQ(slider::fromPercent(d.percentRed), 87);
    EXPECT_EQ(slider::fromPercent(d.percentGreen), 88);
    EXPECT_EQ(slider::fromPercent(d.percentBlue), 91);
}

TEST(SliderEncoding, EndsMiddlesAndHalves) {
    EXPECT_EQ(slider::fromHue(0.0F), 100);
    EXPECT_EQ(slider::toHue(0), -1.0F);
    EXPECT_EQ(slider::toHue(600), 5.0F);
    EXPECT_EQ(slider::toPercent(100), 0.0F);
    EXPECT_EQ(slider::toPercent(150), 0.5F);
    EXPECT_EQ(slider::toSaturation(100), 1.0F);
    // Nearest whole number, halves to even.
    EXPECT_EQ(slider::fromSaturation(0.125F), 12);
    EXPECT_EQ(slider::fromSaturation(0.375F), 38);
    EXPECT_EQ(slider::fromPercent(0.125F), 112);
    EXPECT_EQ(slider::fromPercent(-0.125F), 88);
    // Values beyond a slider's range stop at its ends.
    EXPECT_EQ(slider::fromHue(9.0F), 600);
    EXPECT_EQ(slider::fromPercent(-3.0F), 0);
}

TEST(SliderEncoding, EveryPositionSurvivesTheRoundTrip) {
    for (int v = 0; v <= slider::kHueMax; ++v) {
        EXPECT_EQ(slider::fromHue(slider::toHue(v)), v);
    }
    for (int v = 0; v <= slider::kSaturationMax; ++v) {
        EXPECT_EQ(slider::fromSaturation(slider::toSaturation(v)), v);
    }
    for (int v = 0; v <= slider::kChannelMax; ++v) {
        EXPECT_EQ(slider::fromPercent(slider::toPercent(v)), v);
    }
}

class SkinSettingsTest : public ::testing::Test {
protected:
    QString read(QStringView key) { return store.readSetting(kAppName, kSkinSection, key); }
    // Stores each of `values` (key and text) as the skin's setting.
    void write(std::initializer_list<std::pair<QStringView, QString>> values) {
        for (const auto& [key, value] : values) {
            store.writeSetting(kAppName, kSkinSection, key, value);
        }
    }

    QTemporaryDir folder;
    SqliteSettingsStore store{folder.filePath(u"settings.sqlite3"_s)};
};

TEST_F(SkinSettingsTest, FirstRunReadsTheDefaultsAndWritesTheirTexts) {
    const SkinTransform loaded = loadSkinSettings(store);
    EXPECT_EQ(loaded, SkinTransform{});
    EXPECT_TRUE(store.readSection(kAppName, kSkinSection).isEmpty()) << "nothing written on read";
    saveSkinSettings(store, loaded);
    testing::expectFirstRunSkinTexts([this](QStringView key) { return read(key); });
}

TEST_F(SkinSettingsTest, ColouriseFalseRoundTripsAndKeepsHueAndSaturation) {
    write({{u"Colourise", u"False"_s}, {u"Hue", u"0"_s}});
    const SkinTransform loaded = loadSkinSettings(store);
    EXPECT_FALSE(loaded.colourise);
    EXPECT_EQ(loaded.hue, 0.0F);
    EXPECT_EQ(loaded.saturation, 0.34F);
    saveSkinSettings(store, loaded);
    EXPECT_EQ(read(u"Colourise"), u"False"_s);
    EXPECT_EQ(read(u"Hue"), u"0"_s);
    EXPECT_EQ(loadSkinSettings(store), loaded);
}

TEST_F(SkinSettingsTest, UnreadableTextsGiveDefaultsAndRangesAreClamped) {
    write({{u"Colourise", u"perhaps"_s},
           {u"Saturation", u"lots"_s},
           {u"Hue", u"12"_s},
           {u"PercentRed", u"-4"_s},
           {u"PercentBlue", u"nan"_s}});
    const SkinTransform loaded = loadSkinSettings(store);
    EXPECT_TRUE(loaded.colourise);
    EXPECT_EQ(loaded.saturation, 0.34F);
    EXPECT_EQ(loaded.hue, 5.0F);
    EXPECT_EQ(loaded.percentRed, -1.0F);
    EXPECT_EQ(loaded.percentBlue, -0.09F);
}

TEST_F(SkinSettingsTest, NumbersAreWrittenTheSameUnderAnyLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale installed";
    }
    SkinTransform t;
    t.hue = -0.5F;
    saveSkinSettings(store, t);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(read(u"Hue"), u"-0.5"_s);
    EXPECT_EQ(read(u"PercentRed"), u"-0.13"_s);
}

TEST(SkinConfigurationSetUp, LoadsBothImagesOrNamesTheMissingOnes) {
    SkinConfiguration skin;
    EXPECT_TRUE(skin.setUp(QFont(), QStringLiteral(LYREVANE_SKIN_FILES_DIR)).isEmpty());
    EXPECT_TRUE(skin.hasImages());
    EXPECT_EQ(skin.name, u"Default"_s);
    EXPECT_EQ(skin.borderWidth(), 4);
    EXPECT_EQ(skin.captionHeight(), 19);
    EXPECT_EQ(skin.colours[5], makeColourValue(123, 189, 214));

    QTemporaryDir empty;
    SkinConfiguration bare;
    const QStringList missing = bare.setUp(QFont(), empty.path());
    EXPECT_EQ(missing,
              QStringList({empty.filePath(u"captionbar.gif"_s), empty.filePath(u"borders.gif"_s)}));
    EXPECT_FALSE(bare.hasImages());
    EXPECT_EQ(bare.borderWidth(), 0);
}

TEST(FrameDrawing, SampleStaysInsideItsRectangleAndShowsTheLooks) {
    SkinConfiguration skin;
    ASSERT_TRUE(skin.setUp(QFont(), QStringLiteral(LYREVANE_SKIN_FILES_DIR)).isEmpty());
    QImage canvas(200, 120, QImage::Format_ARGB32_Premultiplied);
    const QRgb ground = qRgb(1, 2, 3);
    canvas.fill(ground);
    {
        QPainter painter(&canvas);
        skin.drawSample(painter, 10, 10, 150, 90, true);
    }
    EXPECT_EQ(canvas.pixel(9, 50), ground);
    EXPECT_EQ(canvas.pixel(160, 50), ground);
    EXPECT_EQ(canvas.pixel(80, 100), ground);
    EXPECT_NE(canvas.pixel(10, 10), ground);
    EXPECT_EQ(canvas.pixel(80, 80), toQColor(skin.faceColour()).rgb()) << "the body";

    QImage inactive(canvas.size(), canvas.format());
    inactive.fill(ground);
    {
        QPainter painter(&inactive);
        skin.drawSample(painter, 10, 10, 150, 90, false);
    }
    EXPECT_NE(inactive.pixel(40, 20), canvas.pixel(40, 20)) << "inactive caption differs";
}

TEST(FrameDrawing, ButtonsSitAtTheCaptionsRightEnd) {
    SkinConfiguration skin;
    ASSERT_TRUE(skin.setUp(QFont(), QStringLiteral(LYREVANE_SKIN_FILES_DIR)).isEmpty());
    FrameDecorations main;
    main.minimiseButton = true;
    main.maximiseButton = true;
    const FrameLayout layout = FrameLayout::compute(skin, QRect(0, 0, 640, 480), main);
    EXPECT_EQ(layout.caption, QRect(4, 4, 632, 19));
    EXPECT_EQ(layout.buttons[2], QRect(616, 4, 20, 19));
    EXPECT_EQ(layout.buttons[1], QRect(596, 4, 20, 19));
    EXPECT_EQ(layout.buttons[0], QRect(576, 4, 20, 19));
    EXPECT_EQ(layout.buttonAt(QPoint(620, 10)), int(CaptionButton::Close));
    EXPECT_EQ(layout.buttonAt(QPoint(300, 10)), -1);

    const FrameLayout dialog = FrameLayout::compute(skin, QRect(0, 0, 397, 456), {});
    EXPECT_TRUE(dialog.buttons[0].isNull());
    EXPECT_TRUE(dialog.buttons[1].isNull());
    EXPECT_EQ(dialog.buttons[2], QRect(373, 4, 20, 19));
}

}  // namespace
}  // namespace lyrevane
