#include "net/netlog.h"

namespace lyrevane {

Q_LOGGING_CATEGORY(lcNet, "lyrevane.net", QtInfoMsg)

}  // namespace lyrevane
