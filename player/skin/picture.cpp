#include "skin/picture.h"

#include <QCoreApplication>
#include <QImageReader>

#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Larger requests are refused: a picture this big is a mistake, not a logo.
constexpr int kLargestSide = 16384;

int roundHalfEven(double value) {
    return int(std::nearbyint(value));  // the default rounding mode: halves to even
}

QImage resizeRgba(const QImage& rgba, QSize size) {
    QImage out(size, QImage::Format_RGBA8888);
    if (out.isNull()) {
        return out;
    }
    if (rgba.size() == size) {
        return rgba;
    }
    const int ok = stbir_resize_uint8_generic(
        rgba.constBits(), rgba.width(), rgba.height(), int(rgba.bytesPerLine()), out.bits(),
        out.width(), out.height(), int(out.bytesPerLine()), 4, 3, 0, STBIR_EDGE_CLAMP,
        STBIR_FILTER_CATMULLROM, STBIR_COLORSPACE_LINEAR, nullptr);
    if (ok == 0) {
        out.fill(Qt::transparent);
    }
    return out;
}

// `over` blended onto the opaque pixels of `canvas` at `at`.
void composite(QImage& canvas, const QImage& over, QPoint at) {
    for (int y = 0; y < over.height(); ++y) {
        const int cy = y + at.y();
        if (cy < 0 || cy >= canvas.height()) {
            continue;
        }
        const uchar* src = over.constScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(canvas.scanLine(cy));
        for (int x = 0; x < over.width(); ++x) {
            const int cx = x + at.x();
            if (cx < 0 || cx >= canvas.width()) {
                continue;
            }
            const uchar* s = src + 4 * x;
            const int a = s[3];
            if (a == 0) {
                continue;
            }
            const QRgb d = dst[cx];
            const auto mix = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
            dst[cx] = qRgb(mix(s[0], qRed(d)), mix(s[1], qGreen(d)), mix(s[2], qBlue(d)));
        }
    }
}

}  // namespace

LoadedPicture loadScaledPicture(const QString& path, int& width, int& height,
                                ColourValue background, bool keepAspect) {
    LoadedPicture result;
    QImageReader reader(path);
    const QImage decoded = reader.read();
    if (decoded.isNull()) {
        result.error = PictureError{
            PictureError::kLoadFailed, u"Picture loader"_s,
            QCoreApplication::translate("Picture", "Error loading picture %1").arg(path)};
        return result;
    }
    if (width == -1 || height == -1) {
        width = decoded.width();
        height = decoded.height();
    }
    if (width < 1 || height < 1) {
        return result;
    }
    if (width > kLargestSide || height > kLargestSide) {
        // Not drawn: said like any other failure, not handed back as an empty picture.
        result.error = PictureError{
            PictureError::kLoadFailed, u"Picture loader"_s,
            QCoreApplication::translate("Picture", "Error drawing picture %1 at %2 by %3 pixels")
                .arg(path, QString::number(width), QString::number(height))};
        return result;
    }

    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(toQColor(background));

    QRect target(0, 0, width, height);
    if (keepAspect) {
        const double ri = double(decoded.width()) / double(decoded.height());
        const double rd = double(width) / double(height);
        int dw = width;
        int dh = height;
        if (rd < ri) {
            dh = roundHalfEven(width / ri);
        } else {
            dw = roundHalfEven(height * ri);
        }
        target = QRect(roundHalfEven((width - dw) / 2.0), roundHalfEven((height - dh) / 2.0),
                       std::max(dw, 0), std::max(dh, 0));
    }
    if (!target.isEmpty()) {
        const QImage rgba = decoded.convertToFormat(QImage::Format_RGBA8888);
        composite(canvas, resizeRgba(rgba, target.size()), target.topLeft());
    }
    result.picture = canvas;
    return result;
}

QImage resizeBicubic(const QImage& image, QSize size) {
    if (image.isNull() || size.isEmpty()) {
        return {};
    }
    return resizeRgba(image.convertToFormat(QImage::Format_RGBA8888), size)
        .convertToFormat(QImage::Format_ARGB32);
}

}  // namespace lyrevane
