#pragma once

#include <QImage>
#include <QString>

#include <optional>

#include "skin/colourtransform.h"

namespace lyrevane {

// Why a picture could not be loaded.
struct PictureError {
    static constexpr int kLoadFailed = 999;
    int number = kLoadFailed;
    QString source;
    QString description;  // "Error loading picture " + the path as passed
};

struct LoadedPicture {
    QImage picture;  // opaque, exactly width by height; null when an error is set
    std::optional<PictureError> error;
};

// Decodes `path` (PNG with alpha and whatever else the image readers know) and renders it
// at width by height pixels onto `background`, resampled with a bicubic filter.
// When width or height is -1 both become the image's own size. With `keepAspect` the
// image is fitted inside and centred (sizes and offsets rounded to the nearest whole
// number, halves to even); the margins keep the background. Transparent and partly
// transparent pixels are blended onto the background.
// A width or height below 1 (after the -1 rule) gives an empty picture without error.
LoadedPicture loadScaledPicture(const QString& path, int& width, int& height,
                                ColourValue background, bool keepAspect);

// `image` resampled to `size` with a bicubic (Catmull-Rom) filter, alpha-weighted.
// The result is ARGB32.
QImage resizeBicubic(const QImage& image, QSize size);

}  // namespace lyrevane
