#pragma once

#include <QLoggingCategory>

namespace lyrevane {

// The player's own network input: each request, its answer, every redirect and playlist
// checked, what was refused and why. Quiet by default; turned on with
// QT_LOGGING_RULES="lyrevane.net.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcNet)

}  // namespace lyrevane
