#pragma once

#include <QString>
#include <QStringList>

namespace lyrevane {

class PromptService;
class SettingsProvider;

inline constexpr QStringView kSystemInfoSection = u"v1_0\\SystemInfo";
inline constexpr QStringView kSystemInfoUnavailable =
    u"System Information Is Unavailable At This Time";

// Desktop programs that show the computer's hardware and system, tried in this order
// when the store names none: KDE's Info Center, HardInfo (2 and 1), CPU-X, I-Nex and
// the GTK front end of lshw.
const QStringList& wellKnownSystemInfoPrograms();

// Starts the system information program, detached, and never waits for it: the program
// stored under "Path" in kSystemInfoSection (as it stands, no arguments), else the first
// of `candidates` found on PATH that starts. When nothing starts, tells the user
// kSystemInfoUnavailable (OK only, no icon). True when a program was started.
bool startSysInfo(SettingsProvider& store, PromptService& prompts,
                  const QStringList& candidates = wellKnownSystemInfoPrograms());

}  // namespace lyrevane
