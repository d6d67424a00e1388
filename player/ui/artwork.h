#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace lyrevane {

// The player's own drawings, painted at run time.
enum class Glyph { Play, Pause, Stop, Home, Mail, Brokers };

// A button image of `side` pixels with its normal and disabled looks.
QIcon GlyphIcon(Glyph glyph, int side);
// The Quillmoor logo with the Lyrevane wordmark, 196 by 59 pixels.
QPixmap LogoPixmap();
// Its size, known without drawing it.
QSize LogoSize();

}  // namespace lyrevane
