#include "engine/enginelog.h"

namespace lyrevane {

Q_LOGGING_CATEGORY(lcEngine, "lyrevane.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcVlc, "lyrevane.engine.vlc", QtInfoMsg)

}  // namespace lyrevane
