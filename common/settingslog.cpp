#include "common/settingslog.h"

namespace lyrevane {

Q_LOGGING_CATEGORY(lcSettings, "lyrevane.settings", QtInfoMsg)

}  // namespace lyrevane
