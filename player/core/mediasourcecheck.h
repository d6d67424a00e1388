#pragma once

#include <QString>
#include <QStringList>

namespace lyrevane {

class PromptService;

inline constexpr QStringView kRefusedSourceMessage =
    u"This player only recognizes legitimate audio programming--please try another URL.";

// The built-in list of other stations' streams and hosts that the player refuses.
const QStringList& RefusedSources();

// True when `theUrl` may be played: no refused entry occurs anywhere in it (letter case
// ignored). A refusal is shown through `prompts` unless `errorQuietly` is set.
bool CheckMediaURL(const QString& theUrl, PromptService& prompts, bool errorQuietly = false);

}  // namespace lyrevane
