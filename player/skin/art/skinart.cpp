// Draws the player's skin files: captionbar.gif, borders.gif and Lyrevane.png.
//   lyrevane_skinart <folder>
// The images are drawn in the skin's base colours (a blue teal); the colour transforms
// recolour them at run time, keeping each pixel's lightness.
#include "skin/logo.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// Caption bar: active look on top, inactive below; three 19-pixel columns each
// (left cap, middle, right cap), 19 pixels high.
QImage captionBar() {
    constexpr int side = 19;
    QImage image(3 * side, 2 * side, QImage::Format_RGB32);
    for (int look = 0; look < 2; ++look) {
        const QColor top = look == 0 ? QColor(104, 178, 206) : QColor(178, 196, 204);
        const QColor bottom = look == 0 ? QColor(34, 96, 122) : QColor(128, 146, 154);
        for (int y = 0; y < side; ++y) {
            const QColor row = mix(top, bottom, y / double(side - 1));
            for (int x = 0; x < 3 * side; ++x) {
                QColor c = row;
                if (y == 0) {
                    c = row.lighter(125);  // highlight along the top
                } else if (y == side - 1) {
                    c = row.darker(135);  // shadow under the bar
                }
                // The caps round off towards the outer ends.
                const int fromEnd = std::min(x, 3 * side - 1 - x);
                if (fromEnd < 2) {
                    c = c.darker(112 - fromEnd * 6);
                }
                image.setPixel(x, look * side + y, c.rgb());
            }
        }
    }
    return image;
}

// Borders: two 12 by 12 nine-patches (4-pixel border), active on top.
QImage borders() {
    constexpr int b = 4;
    QImage image(3 * b, 6 * b, QImage::Format_RGB32);
    for (int look = 0; look < 2; ++look) {
        const QColor shades[b] = {look == 0 ? QColor(22, 62, 80) : QColor(96, 110, 116),
                                  look == 0 ? QColor(62, 136, 166) : QColor(160, 176, 184),
                                  look == 0 ? QColor(84, 158, 188) : QColor(176, 192, 200),
                                  look == 0 ? QColor(123, 189, 214) : QColor(196, 208, 214)};
        for (int y = 0; y < 3 * b; ++y) {
            for (int x = 0; x < 3 * b; ++x) {
                // Distance from the outer edge, counting only the sides this pixel borders.
                const int d = std::min({x, y, 3 * b - 1 - x, 3 * b - 1 - y});
                image.setPixel(x, look * 3 * b + y, shades[std::min(d, b - 1)].rgb());
            }
        }
    }
    return image;
}

// The logo, as the window draws it, on a transparent ground.
QImage logo() {
    QImage image(lyrevane::logoSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    lyrevane::paintLogo(p);
    p.end();
    return image;
}

// LZW codes written least significant bit first into 255-byte sub-blocks.
class BitWriter {
public:
    void put(int code, int width) {
        buffer_ |= quint32(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.append(char(buffer_ & 0xff));
            buffer_ >>= 8;
            bits_ -= 8;
        }
    }
    QByteArray blocks() {
        if (bits_ > 0) {
            bytes_.append(char(buffer_ & 0xff));
        }
        QByteArray out;
        for (qsizetype i = 0; i < bytes_.size(); i += 255) {
            const QByteArray block = bytes_.mid(i, 255);
            out.append(char(block.size()));
            out.append(block);
        }
        out.append('\0');
        return out;
    }

private:
    QByteArray bytes_;
    quint32 buffer_ = 0;
    int bits_ = 0;
};

void put16(QByteArray& out, int value) {
    out.append(char(value & 0xff));
    out.append(char(value >> 8 & 0xff));
}

// A GIF87a of an image with at most 256 colours. The codes are all literals, with a
// clear code before the table would need wider codes: simple and valid.
bool writeGif(const QImage& image, const QString& path) {
    QList<QRgb> palette;
    QHash<QRgb, int> index;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xff000000U;
            if (!index.contains(c)) {
                index.insert(c, int(palette.size()));
                palette.append(c);
            }
        }
    }
    if (palette.size() > 256) {
        std::fprintf(stderr, "%s: more than 256 colours\n", qPrintable(path));
        return false;
    }
    palette.resize(256, 0xff000000U);
    QByteArray out("GIF87a");
    put16(out, image.width());
    put16(out, image.height());
    out.append(char(0xf7));  // global colour table of 256 entries
    out.append('\0');
    out.append('\0');
    for (const QRgb c : std::as_const(palette)) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append(',');
    put16(out, 0);
    put16(out, 0);
    put16(out, image.width());
    put16(out, image.height());
    out.append('\0');
    out.append(char(8));  // minimum code size
    BitWriter bits;
    constexpr int clear = 256;
    constexpr int end = 257;
    int sinceClear = 0;
    bits.put(clear, 9);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (sinceClear == 250) {
                bits.put(clear, 9);
                sinceClear = 0;
            }
            bits.put(index.value(image.pixel(x, y) | 0xff000000U), 9);
            ++sinceClear;
        }
    }
    bits.put(end, 9);
    out.append(bits.blocks());
    out.append(';');
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lyrevane_skinart <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool ok = writeGif(captionBar(), folder.filePath(u"captionbar.gif"_s)) &&
                    writeGif(borders(), folder.filePath(u"borders.gif"_s)) &&
                    logo().save(folder.filePath(u"Lyrevane.png"_s), "PNG");
    return ok ? 0 : 1;
}
