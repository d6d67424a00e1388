#pragma once

#include <QString>
#include <QStringList>

namespace lyrevane {

class PromptService;

inline constexpr QStringView kRefusedSourceMessage =
    u"This player only recognizes legitimate audio programming--please try another URL.";

// The built-in list of other stations' streams and hosts that the player refuses.
const QStringList& refusedSources();

// The refused list's hosts and addresses, normalised (see normaliseHost).
const QStringList& refusedHosts();

// True when `theUrl` is refused: a refused entry occurs anywhere in it (letter case
// ignored), or a host it may be read to name is, or lies inside, a refused host, however
// it is spelled (numeric address forms, IPv4 inside IPv6, escapes, Unicode dots...).
bool isRefusedSource(const QString& theUrl);

// True when `theUrl` may be played: isRefusedSource is false. A refusal is shown through
// `prompts` unless `errorQuietly` is set.
bool checkMediaURL(const QString& theUrl, PromptService& prompts, bool errorQuietly = false);

}  // namespace lyrevane
