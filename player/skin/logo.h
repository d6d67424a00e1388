#pragma once

#include <QSize>

class QPainter;

namespace lyrevane {

// The Quillmoor logo with the Lyrevane wordmark: a quill nib over sound waves, on a
// transparent ground. The window shows it and the skin's picture is drawn from it.
QSize logoSize();
// Paints it at (0, 0) in logoSize().
void paintLogo(QPainter& p);

}  // namespace lyrevane
