#pragma once

#include <QLoggingCategory>

namespace lyrevane {

// What the media engine does, and libVLC's own messages. Quiet by default; turned on with
// QT_LOGGING_RULES="lyrevane.engine*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
Q_DECLARE_LOGGING_CATEGORY(lcVlc)

}  // namespace lyrevane
