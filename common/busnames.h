#pragma once

#include <QString>

// The names the player offers on the session bus and the scheduler calls: one contract for
// both programs. The player's own interface sits beside MPRIS on the same object.
namespace lyrevane::busnames {

// The application's id: its AppStream id, its desktop file, what libVLC tells the sound
// server.
inline constexpr char kApplicationId[] = "example.quillmoor.Lyrevane";

// The desktop file's id (without ".desktop"): the player names itself by it to the desktop, and
// CMake installs packaging/lyrevane.desktop under it (packaging/CMakeLists.txt reads it here).
inline constexpr QStringView kDesktopFileId = u"lyrevane";

// The first player takes this name; others take "<name>.instance<pid>".
inline constexpr QStringView kPlayerName = u"org.mpris.MediaPlayer2.lyrevane";
inline constexpr QStringView kObjectPath = u"/org/mpris/MediaPlayer2";
inline constexpr QStringView kPlayerInterface = u"org.mpris.MediaPlayer2.Player";

// The player's own interface (its D-Bus adaptor spells it too: moc takes only a literal).
inline constexpr QStringView kStatusInterface = u"example.quillmoor.Lyrevane";
inline constexpr QStringView kLastError = u"LastError";
inline constexpr QStringView kRecording = u"Recording";
inline constexpr QStringView kBehindLive = u"BehindLive";
inline constexpr QStringView kRecordMethod = u"Record";

}  // namespace lyrevane::busnames
