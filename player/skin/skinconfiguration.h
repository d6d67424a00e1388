#pragma once

#include <QFont>
#include <QImage>
#include <QString>

#include <array>

#include "skin/colourtransform.h"

class QPainter;

namespace lyrevane {

class SettingsProvider;

inline constexpr QStringView kSkinSection = u"v1_0\\SkinSettings";

// What a drawn frame shows besides the skin images.
struct FrameDecorations {
    QString title;
    QImage icon;  // none when null
    bool minimiseButton = false;
    bool maximiseButton = false;
    bool closeButton = true;
};

// The skin: two images, colours, fonts, size metrics and the colour transforms.
// One per running player, owned by the main window and shared by reference with its
// dialogs, which edit the transforms in place.
//
// Meaning of the members:
//  - caption bar image: two looks stacked, active on top, inactive below; each look is
//    cut into three equal columns: left cap, middle (stretched), right cap.
//  - border image: two nine-patches stacked, active on top; its width is three border
//    widths.
//  - colour 1 and 4: caption text, active and inactive; colour 2: caption button ink;
//    colour 3: body text; colour 5: caption button face; colour 6: body face.
//  - font 1: caption text (bold); font 2: body text.
//  - metric 1: caption bar height; metric 2: caption button slot width; metric 3: the
//    narrowest caption that still shows its title; metrics 4 to 6 are kept, unused.
class SkinConfiguration {
public:
    // Before the set-up (a window that was never started) the colours and metrics are
    // already those of the set-up, without images.
    QString name;
    std::array<ColourValue, 6> colours = designColours();
    std::array<QFont, 2> fonts;
    QImage captionBarImage;
    QImage borderImage;
    std::array<int, 6> metrics = {19, 20, 90, 140, 240, 400};
    SkinTransform transform;

    static constexpr std::array<ColourValue, 6> designColours() {
        return {makeColourValue(255, 255, 255),
                makeColourValue(47, 122, 151),
                0,
                makeColourValue(255, 255, 255),
                makeColourValue(47, 122, 151),
                makeColourValue(123, 189, 214)};
    }

    // Both images loaded and shaped as described above.
    bool hasImages() const;
    int captionHeight() const { return metrics[0]; }
    int buttonSlotWidth() const { return metrics[1]; }
    int borderWidth() const;

    // Colours with the current transforms applied.
    ColourValue faceColour() const { return transformColour(colours[5], transform); }
    ColourValue textColour() const { return transformColour(colours[2], transform); }

    // Draws a sample frame (caption bar with a title and the three buttons, borders and
    // a body in the face colour) into x, y, width, height of `painter`'s device.
    void drawSample(QPainter& painter, int x, int y, int width, int height, bool active) const;

    // The fixed set-up: name, colours, fonts and metrics; images loaded from `skinFolder`
    // ("captionbar.gif", "borders.gif"). Returns the paths of images that could not be
    // loaded (empty when both loaded).
    QStringList setUp(const QFont& windowFont, const QString& skinFolder);
};

// The seven skin settings. Unreadable texts give the defaults; numbers outside their
// ranges are clamped.
SkinTransform loadSkinSettings(SettingsProvider& settings);
void saveSkinSettings(SettingsProvider& settings, const SkinTransform& transform);

// The Customise Skin dialog's integer sliders (all start at 0).
namespace slider {
inline constexpr int kHueMax = 600;
inline constexpr int kSaturationMax = 100;
inline constexpr int kChannelMax = 200;
// Parameter to slider: nearest whole number, halves to even, within the slider's range.
int fromHue(float hue);
int fromSaturation(float saturation);
int fromPercent(float percent);
// Slider to parameter: computed in double precision, stored as single precision.
float toHue(int value);
float toSaturation(int value);
float toPercent(int value);
}  // namespace slider

}  // namespace lyrevane
