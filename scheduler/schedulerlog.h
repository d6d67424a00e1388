#pragma once

#include <QLoggingCategory>

namespace lyrevane {

// What the scheduler decides on each check: windows opened, launches, missed days, the
// player's answers. Quiet by default; QT_LOGGING_RULES="lyrevane.scheduler.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcScheduler)

}  // namespace lyrevane
