#include "vlcmediaengine.h"

#include "vlcmessages.h"

#include <QByteArray>
#include <QList>

#include <vlc/vlc.h>

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Options for a player with no video and no interface of its own. Network caching is
// kept short: the default (1 s) only delays the first audio of a radio stream.
// Reconnecting is the player's business, not libVLC's, so that a dead stream fails.
QList<QByteArray> baseArguments() {
    return {
        "--no-video",
        "--no-spu",
        "--no-osd",
        "--no-stats",
        "--no-lua",
        "--no-media-library",
        "--no-metadata-network-access",
        "--no-sub-autodetect-file",
        "--no-snapshot-preview",
        "--no-xlib",
        "--ignore-config",
        "--no-http-reconnect",
        "--network-caching=500",
    };
}

constexpr std::array kWatchedEvents{
    libvlc_MediaPlayerPlaying,    libvlc_MediaPlayerPaused,           libvlc_MediaPlayerBuffering,
    libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged,
    libvlc_MediaPlayerESAdded,    libvlc_MediaPlayerAudioVolume,
};

constexpr int kMaxVolumeRepairs = 5;
constexpr int kMaxPlaylistExpansions = 16;
constexpr qsizetype kMaxLoggedErrors = 32;

libvlc_media_t* createMedia(libvlc_instance_t* instance, const QString& url) {
    QByteArray utf8 = url.trimmed().toUtf8();
    // Radio servers (Icecast, SHOUTcast) answer with ICY metadata, which only libVLC's
    // older HTTP access reads; its newer access gives up on them after a first request,
    // delaying the first audio by a second connection. "icyx" picks the older one at once.
    if (utf8.left(7).toLower() == "http://") {
        utf8.replace(0, 4, "icyx");
    }
    if (utf8.contains("://")) {
        return libvlc_media_new_location(instance, utf8.constData());
    }
    return libvlc_media_new_path(instance, utf8.constData());
}

}  // namespace

VlcMediaEngine::VlcMediaEngine(VlcEngineOptions options, QObject* parent)
    : MediaEngine(parent), options_(std::move(options)) {
    connectTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this,
            [this] { failEntry(vlcmessages::connectTimeout(current_.name)); });

    QList<QByteArray> arguments = baseArguments();
    for (const QString& argument : std::as_const(options_.vlcArguments)) {
        arguments.append(argument.toUtf8());
    }
    std::vector<const char*> argv;
    argv.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QByteArray& argument : std::as_const(arguments)) {
        argv.push_back(argument.constData());
    }
    instance_ = libvlc_new(static_cast<int>(argv.size()), argv.data());
    if (instance_ == nullptr) {
        return;
    }
    libvlc_log_set(instance_, &VlcMediaEngine::onVlcLog, this);
    libvlc_set_user_agent(instance_, "Lyrevane", "Lyrevane/1.0");
    libvlc_set_app_id(instance_, "org.lyrevane.Lyrevane", "1.0", "audio-x-generic");

    player_ = libvlc_media_player_new(instance_);
    if (player_ == nullptr) {
        libvlc_log_unset(instance_);
        libvlc_release(instance_);
        instance_ = nullptr;
        return;
    }
    libvlc_media_player_set_role(player_, libvlc_role_Music);
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(player_);
    for (const libvlc_event_e type : kWatchedEvents) {
        libvlc_event_attach(events, type, &VlcMediaEngine::onVlcEvent, this);
    }
}

VlcMediaEngine::~VlcMediaEngine() {
    if (instance_ != nullptr) {
        // Waits for log callbacks in flight, so none reaches a half-destroyed engine.
        libvlc_log_unset(instance_);
    }
    if (player_ != nullptr) {
        ++generation_;
        libvlc_media_player_stop(player_);
        libvlc_media_player_release(player_);
    }
    clearPending();
    if (current_.media != nullptr) {
        libvlc_media_release(current_.media);
    }
    if (instance_ != nullptr) {
        libvlc_release(instance_);
    }
}

// Runs on a libVLC thread: copy what is needed and queue it to the engine's thread.
void VlcMediaEngine::onVlcEvent(const libvlc_event_t* event, void* data) {
    auto* self = static_cast<VlcMediaEngine*>(data);
    VlcEvent copy;
    copy.type = event->type;
    switch (event->type) {
        case libvlc_MediaPlayerBuffering:
            copy.cache = event->u.media_player_buffering.new_cache;
            break;
        case libvlc_MediaPlayerESAdded:
            copy.trackType = event->u.media_player_es_changed.i_type;
            break;
        case libvlc_MediaPlayerTimeChanged:
            copy.time = event->u.media_player_time_changed.new_time;
            break;
        default:
            break;
    }
    const quint64 generation = self->generation_.load();
    QMetaObject::invokeMethod(
        self,
        [self, copy, generation] {
            if (generation == self->generation_.load()) {
                self->handleEvent(copy);
            }
        },
        Qt::QueuedConnection);
}

// Runs on a libVLC thread. Only errors are kept: they explain why a stream failed.
void VlcMediaEngine::onVlcLog(void* data, int level, const vlc_log_t*, const char* format,
                              va_list args) {
    if (level < LIBVLC_ERROR) {
        return;
    }
    std::array<char, 512> buffer{};
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    auto* self = static_cast<VlcMediaEngine*>(data);
    const quint64 generation = self->generation_.load();
    QMetaObject::invokeMethod(
        self,
        [self, line = QString::fromUtf8(buffer.data()), generation] {
            if (generation == self->generation_.load() && self->phase_ == Phase::Opening &&
                self->entryLog_.size() < kMaxLoggedErrors) {
                self->entryLog_.append(line);
            }
        },
        Qt::QueuedConnection);
}

void VlcMediaEngine::handleEvent(const VlcEvent& event) {
    switch (event.type) {
        case libvlc_MediaPlayerPlaying:
            vlcPlaying_ = true;
            applyVolume();
            if (phase_ == Phase::Paused && !pausedByStop_) {
                phase_ = Phase::Playing;
                setPlayState(Playing);
            } else if (phase_ == Phase::Opening && sawAudio_) {
                markOpened();
            }
            break;
        case libvlc_MediaPlayerPaused:
            if (phase_ == Phase::Playing) {
                phase_ = Phase::Paused;
                setPlayState(Paused);
            }
            break;
        case libvlc_MediaPlayerBuffering:
            // A playlist's own item never buffers; only a real stream gets here.
            if (phase_ == Phase::Opening && vlcPlaying_) {
                markOpened();
                if (event.cache >= 100.0F && sawAudio_) {
                    markPlaying();
                }
            }
            break;
        case libvlc_MediaPlayerESAdded:
            if (event.trackType == libvlc_track_audio) {
                sawAudio_ = true;
                if (phase_ == Phase::Opening && vlcPlaying_) {
                    markOpened();
                }
            }
            break;
        case libvlc_MediaPlayerTimeChanged:
            if (phase_ == Phase::Opening && vlcPlaying_ && sawAudio_) {
                markPlaying();
            }
            break;
        case libvlc_MediaPlayerEndReached:
            handleEndReached();
            break;
        case libvlc_MediaPlayerEncounteredError:
            if (phase_ == Phase::Opening) {
                failEntry(vlcmessages::openFailure(entryLog_, current_.name));
            } else if (phase_ == Phase::Playing) {
                failEntry(vlcmessages::connectionLost(entryLog_, current_.name));
            }
            break;
        case libvlc_MediaPlayerAudioVolume:
            // A new audio output may come up at its own volume; put ours back.
            if (player_ != nullptr && volumeRepairs_ < kMaxVolumeRepairs &&
                (phase_ == Phase::Opening || phase_ == Phase::Playing)) {
                const int current = libvlc_audio_get_volume(player_);
                if (current >= 0 && current != volume_) {
                    ++volumeRepairs_;
                    applyVolume();
                }
            }
            break;
        default:
            break;
    }
}

void VlcMediaEngine::handleEndReached() {
    if (phase_ != Phase::Opening && phase_ != Phase::Playing) {
        return;
    }
    connectTimer_.stop();

    // A playlist ends as soon as it is read; its entries are its sub-items.
    std::vector<Entry> entries;
    if (libvlc_media_list_t* list = libvlc_media_subitems(current_.media); list != nullptr) {
        libvlc_media_list_lock(list);
        const int count = libvlc_media_list_count(list);
        for (int i = 0; i < count; ++i) {
            libvlc_media_t* media = libvlc_media_list_item_at_index(list, i);
            if (media == nullptr) {
                continue;
            }
            char* mrl = libvlc_media_get_mrl(media);
            entries.push_back({media, QString::fromUtf8(mrl)});
            libvlc_free(mrl);
        }
        libvlc_media_list_unlock(list);
        libvlc_media_list_release(list);
    }
    if (!entries.empty()) {
        if (++expansions_ > kMaxPlaylistExpansions) {
            for (Entry& entry : entries) {
                libvlc_media_release(entry.media);
            }
            failEntry(vlcmessages::emptyPlaylist(current_.name));
            return;
        }
        pending_.insert(pending_.begin(), entries.begin(), entries.end());
        startNext();
        return;
    }

    if (phase_ == Phase::Playing) {
        if (!pending_.empty()) {
            startNext();
            return;
        }
        haltPlayer();
        phase_ = Phase::Finished;
        setPlayState(MediaEnded);
        return;
    }
    failEntry(currentLooksLikePlaylist_ ? vlcmessages::emptyPlaylist(current_.name)
                                        : vlcmessages::unsupportedFormat(current_.name));
}

void VlcMediaEngine::startFromTop() {
    haltPlayer();
    clearPending();
    firstFailure_.clear();
    expansions_ = 0;
    if (instance_ == nullptr) {
        phase_ = Phase::Finished;
        setPlayState(Ready);
        reportError(vlcmessages::engineUnavailable());
        return;
    }
    pending_.push_back({createMedia(instance_, url_), url_});
    startNext();
}

void VlcMediaEngine::startNext() {
    haltPlayer();
    if (current_.media != nullptr) {
        libvlc_media_release(current_.media);
    }
    current_ = {};
    if (pending_.empty()) {
        phase_ = Phase::Finished;
        setPlayState(MediaEnded);
        return;
    }
    current_ = pending_.front();
    pending_.pop_front();

    phase_ = Phase::Opening;
    vlcPlaying_ = false;
    sawAudio_ = false;
    opened_ = false;
    pausedByStop_ = false;
    volumeRepairs_ = 0;
    entryLog_.clear();
    currentLooksLikePlaylist_ = vlcmessages::looksLikePlaylist(current_.name);
    setOpenState(currentLooksLikePlaylist_ ? PlaylistConnecting : MediaConnecting);
    setPlayState(Transitioning);

    if (current_.media == nullptr) {
        failEntry(vlcmessages::openFailure({}, current_.name));
        return;
    }
    libvlc_media_player_set_media(player_, current_.media);
    applyVolume();
    connectTimer_.start(options_.connectTimeout);
    if (libvlc_media_player_play(player_) != 0) {
        failEntry(vlcmessages::openFailure(entryLog_, current_.name));
    }
}

// The current entry failed: try the next one, or report the first failure when none
// is left. Entries that fail before another one plays are not reported one by one.
void VlcMediaEngine::failEntry(const QString& description) {
    haltPlayer();
    if (firstFailure_.isEmpty()) {
        firstFailure_ = description;
    }
    if (!pending_.empty()) {
        startNext();
        return;
    }
    const QString report = std::exchange(firstFailure_, QString());
    phase_ = Phase::Finished;
    setPlayState(Ready);
    reportError(report);
}

void VlcMediaEngine::reportError(const QString& description) {
    errors_.append(description);
    Q_EMIT errorOccurred();
}

void VlcMediaEngine::markOpened() {
    if (opened_) {
        return;
    }
    opened_ = true;
    applyVolume();
    setOpenState(MediaOpen);
    setPlayState(Buffering);
}

void VlcMediaEngine::markPlaying() {
    markOpened();
    // Connected only once audio flows: a server that answers and then sends nothing
    // times out as well.
    connectTimer_.stop();
    phase_ = Phase::Playing;
    firstFailure_.clear();
    applyVolume();
    setPlayState(Playing);
}

// Stops libVLC. Callbacks raised by the stop itself, and any still queued from the
// media it ends, carry an outdated generation and are dropped.
void VlcMediaEngine::haltPlayer() {
    connectTimer_.stop();
    ++generation_;
    if (player_ != nullptr) {
        libvlc_media_player_stop(player_);
    }
    ++generation_;
}

void VlcMediaEngine::clearPending() {
    for (Entry& entry : pending_) {
        if (entry.media != nullptr) {
            libvlc_media_release(entry.media);
        }
    }
    pending_.clear();
}

void VlcMediaEngine::applyVolume() {
    if (player_ != nullptr) {
        libvlc_audio_set_volume(player_, volume_);
    }
}

void VlcMediaEngine::setOpenState(int state) {
    if (state != openState_) {
        openState_ = state;
        Q_EMIT openStateChanged(state);
    }
}

void VlcMediaEngine::setPlayState(int state) {
    if (state != playState_) {
        playState_ = state;
        Q_EMIT playStateChanged(state);
    }
}

}  // namespace lyrevane
