#include "scheduler/schedulerlog.h"

namespace lyrevane {

Q_LOGGING_CATEGORY(lcScheduler, "lyrevane.scheduler", QtInfoMsg)

}  // namespace lyrevane
