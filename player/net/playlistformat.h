#pragma once

#include <QByteArray>
#include <QStringList>
#include <QUrl>

namespace lyrevane::playlistformat {

// What a response's headers say about its body.
enum class Declared {
    Playlist,  // a playlist type (M3U, PLS, ASX, XSPF, RAM)
    Media,     // audio or video: handed to the media engine as it is
    Unsure,    // text, generic binary, ASF or nothing: the first bytes decide
};
Declared classifyContentType(const QByteArray& contentType);

// Whether the URL's path ends in a playlist extension (.m3u, .pls, .asx, ...).
bool hasPlaylistExtension(const QUrl& url);

// Whether the first bytes of a body look like a playlist in one of the known formats.
bool looksLikePlaylist(const QByteArray& head);

struct Parsed {
    // Entries as written (after entity decoding), in playing order; possibly relative.
    QStringList entries;
    // An HTTP live-streaming index (#EXT-X- tags): one stream played from segments, not
    // a list of entries. `entries` then holds every URI it names, for checking.
    bool segmented = false;
};

// Reads M3U/RAM (one entry a line), PLS and ASF references ("FileN=", "RefN="), ASX
// ("<ref href>", "<entryref href>") and XSPF ("<location>"), tolerating the loose markup
// that real servers send. At most `maxEntries` entries are kept.
Parsed parse(const QByteArray& body, qsizetype maxEntries);

}  // namespace lyrevane::playlistformat
