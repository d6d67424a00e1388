#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "skin/picture.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

constexpr ColourValue kBackground = makeColourValue(47, 122, 151);
const QRgb kBackgroundRgb = qRgb(47, 122, 151);

class PictureTest : public ::testing::Test {
protected:
    // An opaque picture of one colour, saved as PNG.
    QString solid(int width, int height, QRgb colour) {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = folder.filePath(u"solid-%1x%2.png"_s.arg(width).arg(height));
        image.save(path, "PNG");
        return path;
    }

    QTemporaryDir folder;
};

TEST_F(PictureTest, OwnSizeWithMinusOneAndTransparentPixelsShowTheBackground) {
    // 300 by 90: the left half fully transparent, the right half opaque orange.
    QImage image(300, 90, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 90; ++y) {
        for (int x = 150; x < 300; ++x) {
            image.setPixel(x, y, qRgba(232, 154, 28, 255));
        }
        image.setPixel(149, y, qRgba(0, 0, 0, 128));  // half transparent black
    }
    const QString path = folder.filePath(u"logo.png"_s);
    ASSERT_TRUE(image.save(path, "PNG"));

    int width = -1;
    int height = -1;
    const LoadedPicture loaded = loadScaledPicture(path, width, height, kBackground, false);
    ASSERT_FALSE(loaded.error);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 90);
    EXPECT_EQ(loaded.picture.size(), QSize(300, 90));
    EXPECT_FALSE(loaded.picture.hasAlphaChannel());
    for (const QPoint p : {QPoint(0, 0), QPoint(148, 89), QPoint(70, 45)}) {
        EXPECT_EQ(loaded.picture.pixel(p), kBackgroundRgb) << p.x() << "," << p.y();
    }
    EXPECT_EQ(loaded.picture.pixel(200, 45), qRgb(232, 154, 28));
    // Half transparent black over the background: half the background.
    const QRgb half = loaded.picture.pixel(149, 45);
    EXPECT_NEAR(qRed(half), 23.5, 1);
    EXPECT_NEAR(qGreen(half), 61, 1);
    EXPECT_NEAR(qBlue(half), 75.5, 1);

    // Width 200 with height -1: both take the picture's own size.
    width = 200;
    height = -1;
    EXPECT_EQ(loadScaledPicture(path, width, height, kBackground, false).picture.size(),
              QSize(300, 90));
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 90);
}

TEST_F(PictureTest, KeepAspectFitsTheImageAndCentresItOnTheBackground) {
    const struct Case {
        QSize source;
        QSize box;
        QRgb colour;
        QList<QPoint> picture;     // points the image covers
        QList<QPoint> background;  // points of the bands beside it
    } cases[] = {
        // A wide image fits the width: dw 200, dh 50, dx 0, dy 75.
        {{400, 100},
         {200, 200},
         qRgb(200, 30, 30),
         {{100, 75}, {0, 100}, {199, 124}},
         {{100, 74}, {100, 125}}},
        // A tall image fits the height: dw 50, dh 200, dx 75, dy 0.
        {{100, 400}, {200, 200}, qRgb(30, 200, 30), {{75, 0}, {124, 199}}, {{74, 100}, {125, 100}}},
        // Offsets round halves to even. 3 by 1 into 10 by 10: dh = 10 / 3 = 3.33 -> 3;
        // dy = (10 - 3) / 2 = 3.5 -> 4.
        {{3, 1}, {10, 10}, qRgb(20, 20, 220), {{5, 4}, {5, 6}}, {{5, 3}, {5, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.width());
        int width = c.box.width();
        int height = c.box.height();
        const LoadedPicture loaded = loadScaledPicture(
            solid(c.source.width(), c.source.height(), c.colour), width, height, kBackground, true);
        ASSERT_FALSE(loaded.error);
        EXPECT_EQ(loaded.picture.size(), c.box);
        for (const QPoint p : c.picture) {
            EXPECT_EQ(loaded.picture.pixel(p), c.colour) << p.x() << "," << p.y();
        }
        for (const QPoint p : c.background) {
            EXPECT_EQ(loaded.picture.pixel(p), kBackgroundRgb) << p.x() << "," << p.y();
        }
    }
}

TEST_F(PictureTest, StretchesToAnyRequestedSize) {
    int width = 37;
    int height = 5;
    const QImage p =
        loadScaledPicture(solid(300, 90, qRgb(9, 9, 9)), width, height, kBackground, false).picture;
    EXPECT_EQ(p.size(), QSize(37, 5));
    EXPECT_EQ(p.pixel(36, 4), qRgb(9, 9, 9));
}

TEST_F(PictureTest, MissingOrUndecodableFilesFailWith999) {
    int width = -1;
    int height = -1;
    const QString missing = folder.filePath(u"nowhere/Lyrevane.png"_s);
    const LoadedPicture none = loadScaledPicture(missing, width, height, kBackground, false);
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->number, 999);
    EXPECT_EQ(none.error->description, u"Error loading picture "_s + missing);
    EXPECT_TRUE(none.picture.isNull());
    EXPECT_EQ(width, -1) << "sizes are left alone";

    QFile junk(folder.filePath(u"junk.png"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("\x89PNG\r\n\x1a\n not really");
    junk.close();
    const LoadedPicture bad = loadScaledPicture(junk.fileName(), width, height, kBackground, true);
    ASSERT_TRUE(bad.error);
    EXPECT_EQ(bad.error->number, 999);

    // A size that cannot be drawn fails the same way; the largest that can is drawn.
    const QString fine = solid(4, 4, qRgb(1, 1, 1));
    for (const auto& [w, h, fails] :
         {std::tuple{16385, 2, true}, {2, 16385, true}, {16384, 1, false}, {1, 16384, false}}) {
        width = w;
        height = h;
        const LoadedPicture p = loadScaledPicture(fine, width, height, kBackground, false);
        EXPECT_EQ(bool(p.error), fails) << w << "x" << h;
        EXPECT_EQ(p.error ? p.error->number : 0, fails ? 999 : 0);
        EXPECT_EQ(p.picture.isNull(), fails);
    }
}

TEST_F(PictureTest, ZeroSizesGiveAnEmptyPictureWithoutDividingByZero) {
    int width = 0;
    int height = 50;
    const LoadedPicture p =
        loadScaledPicture(solid(4, 4, qRgb(1, 1, 1)), width, height, kBackground, true);
    EXPECT_FALSE(p.error);
    EXPECT_TRUE(p.picture.isNull());
}

TEST(ResizeBicubic, KeepsSolidColoursAndScalesToTheSize) {
    QImage image(12, 24, QImage::Format_ARGB32);
    image.fill(qRgb(47, 122, 151));
    const QImage big = resizeBicubic(image, QSize(24, 48));
    EXPECT_EQ(big.size(), QSize(24, 48));
    EXPECT_EQ(big.pixel(0, 0), qRgb(47, 122, 151));
    EXPECT_EQ(big.pixel(23, 47), qRgb(47, 122, 151));
}

}  // namespace
}  // namespace lyrevane
