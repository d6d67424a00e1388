#pragma once

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <optional>

namespace lyrevane {

// The now-playing text the window shows: "Station - Title", or whichever of the two is
// known, or empty. Each part that holds right-to-left text or direction controls is isolated,
// so that a server's override cannot turn the rest of the line around.
QString nowPlayingText(const QString& station, const QString& title);

// How far behind live a listener is, as the status bar says it ("2:35 behind live", hours when
// there are any), with a note when what arrives could no longer be kept; empty when live.
// While catching up, it says so.
QString behindLiveText(std::chrono::milliseconds behind, bool keepingStopped,
                       bool catchingUp = false);

// "REC 12:34" for a recording of that many seconds (hours when there are any); empty for -1.
QString recordingText(qint64 seconds);

// `text` within a first-strong isolate when it holds right-to-left text or direction controls;
// otherwise as it is.
QString isolatedText(const QString& text);

// Text from a stream's metadata as the server sent it: UTF-8 when the bytes are valid
// UTF-8, otherwise Latin-1 (many servers send that). Control characters become spaces,
// and the result is trimmed.
QString decodeIcyText(QByteArrayView raw);

// The StreamTitle of one ICY metadata block ("StreamTitle='...';StreamUrl='...';", padded
// with NULs); nullopt when the block has none. The title may itself hold quotes.
std::optional<QString> streamTitleFromIcyBlock(QByteArrayView block);

// Titles that say nothing ("-", "", XML) are not shown.
bool isMeaningfulTitle(const QString& title);

}  // namespace lyrevane
