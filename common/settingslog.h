#pragma once

#include <QLoggingCategory>

namespace lyrevane {

// The settings store's problems (a busy, damaged or unwritable file; settings not saved
// over values it could not read). Warnings, on by default: a program without a window says
// them only here. QT_LOGGING_RULES="lyrevane.settings=false" silences them.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

}  // namespace lyrevane
