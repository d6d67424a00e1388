#pragma once

#include <QLoggingCategory>

namespace lyrevane {

// What the scheduler decides: the schedule read, windows opened and missed, each launch
// attempt, confirmation, retry and report. Quiet by default;
// QT_LOGGING_RULES="lyrevane.scheduler.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcScheduler)

}  // namespace lyrevane
