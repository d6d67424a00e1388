#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include "skin/logo.h"

namespace lyrevane {

// The player's own drawings, painted at run time.
enum class Glyph { Play, Pause, Stop, Home, Mail, Brokers };

// A button image of `side` pixels with its normal and disabled looks.
QIcon glyphIcon(Glyph glyph, int side);
// The Quillmoor logo with the Lyrevane wordmark (skin/logo.h), logoSize() pixels.
QPixmap logoPixmap();

}  // namespace lyrevane
