#pragma once

// Everything the engine relies on that libVLC does not promise in its API: names of its
// modules and their options, where its plugin files lie, and the texts of its log lines.
// Each was verified with the libVLC version below; checkVersion() says when another runs.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdarg>

struct libvlc_instance_t;
struct libvlc_media_t;

namespace lyrevane {
class FeedBuffer;
}  // namespace lyrevane

namespace lyrevane::vlcquirks {

// The libVLC version (major.minor) the reliances here were verified with.
inline constexpr int kVerifiedMajor = 3;
inline constexpr int kVerifiedMinor = 0;

// The version of the libVLC that runs ("3.0.18 Vetinari"), and whether its major.minor is the
// verified one. When it is not, checkVersion() logs that (lyrevane.engine.vlc) once per call;
// the engine plays on.
QString runningVersion();
bool isVerifiedVersion(const QString& version);
bool checkVersion();

// The options that make a fed stream (one read through libvlc_media_new_callbacks) start
// quickly and keep its cushion in the feed.
QStringList fedMediaOptions();

// A media that libVLC reads from `buffer` as it plays it, with fedMediaOptions(); null when
// libVLC cannot make one. The buffer outlives the media.
libvlc_media_t* newFedMedia(libvlc_instance_t* instance, FeedBuffer* buffer);

// Whether an access libVLC opens is the in-memory one that reads a fed stream.
bool isFedAccess(const QString& target);

// The plugin files a stream's first bytes need, in the order libVLC tries them; empty when
// libVLC's folder cannot be found.
QStringList streamPluginFiles();

// The options of the player's libVLC instance: no video and no interface of its own, and the
// modules it plays with.
QList<QByteArray> instanceArguments();

// One of libVLC's error lines in the words the engine reads (vlcmessages::reason): its HTTP
// statuses as a status line, its socket errors and failed name look-ups as they are; any other
// of its texts (its internals, such as "Cannot peek." or "ES_OUT_SET_(GROUP_)PCR is called too
// late", and its closing summaries) as a plain reason.
QString errorLine(const QString& line);

// What a line of libVLC's log means to the engine.
struct LogLine {
    enum class Kind {
        Other,         // nothing the engine acts on
        AccessOpened,  // text: the address of an access libVLC opens
        Noise,         // an error known to say nothing about the stream
        Error,         // text: the error, formatted
    };
    Kind kind = Kind::Other;
    QString text;
};
LogLine classify(int level, const char* format, va_list args);

}  // namespace lyrevane::vlcquirks
