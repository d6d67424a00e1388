#include "vlc/vlcplayer.h"

#include "common/busnames.h"
#include "common/version.h"
#include "engine/enginelog.h"
#include "vlc/vlcquirks.h"

#include <vlc/vlc.h>

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr std::array kWatchedEvents{
    libvlc_MediaPlayerPlaying,    libvlc_MediaPlayerPaused,           libvlc_MediaPlayerBuffering,
    libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged,
    libvlc_MediaPlayerESAdded,    libvlc_MediaPlayerAudioVolume,
};

}  // namespace

VlcPlayer::VlcPlayer(const QStringList& extraArguments, std::function<bool(const QString&)> mayOpen,
                     QObject* parent)
    : QObject(parent), mayOpen_(std::move(mayOpen)) {
    QList<QByteArray> arguments = vlcquirks::instanceArguments();
    for (const QString& argument : extraArguments) {
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
    vlcquirks::checkVersion();
    libvlc_log_set(instance_, &VlcPlayer::onLog, this);
    libvlc_set_user_agent(instance_, "Lyrevane", version::kUserAgent);
    libvlc_set_app_id(instance_, busnames::kApplicationId, version::kShort, "audio-x-generic");

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
        libvlc_event_attach(events, type, &VlcPlayer::onEvent, this);
    }
}

VlcPlayer::~VlcPlayer() {
    if (instance_ != nullptr) {
        // Waits for log callbacks in flight, so none reaches a half-destroyed player.
        libvlc_log_unset(instance_);
    }
    if (player_ != nullptr) {
        ++generation_;
        libvlc_media_player_stop(player_);
        libvlc_media_player_release(player_);
    }
    releaseMedia();
    if (instance_ != nullptr) {
        libvlc_release(instance_);
    }
}

void VlcPlayer::post(std::function<void()> report) {
    QMetaObject::invokeMethod(
        this,
        [this, report = std::move(report), generation = generation_.load()] {
            if (generation == generation_.load()) {
                report();
            }
        },
        Qt::QueuedConnection);
}

// Runs on a libVLC thread: copy what is needed and queue it to the owner's thread.
void VlcPlayer::onEvent(const libvlc_event_t* event, void* data) {
    auto* self = static_cast<VlcPlayer*>(data);
    Report report;
    switch (event->type) {
        case libvlc_MediaPlayerPlaying:
            report.what = Happening::Playing;
            break;
        case libvlc_MediaPlayerPaused:
            report.what = Happening::Paused;
            break;
        case libvlc_MediaPlayerBuffering:
            report.what = Happening::Buffering;
            report.number = static_cast<qint64>(event->u.media_player_buffering.new_cache);
            break;
        case libvlc_MediaPlayerESAdded:
            if (event->u.media_player_es_changed.i_type != libvlc_track_audio) {
                return;
            }
            report.what = Happening::AudioTrack;
            break;
        case libvlc_MediaPlayerTimeChanged:
            report.what = Happening::TimeChanged;
            report.number = event->u.media_player_time_changed.new_time;
            break;
        case libvlc_MediaPlayerEndReached:
            report.what = Happening::EndReached;
            break;
        case libvlc_MediaPlayerEncounteredError:
            report.what = Happening::Error;
            break;
        case libvlc_MediaMetaChanged:
            report.what = Happening::MetaChanged;
            break;
        case libvlc_MediaPlayerAudioVolume:
            report.what = Happening::VolumeChanged;
            break;
        default:
            return;
    }
    self->post([self, report] { Q_EMIT self->reported(report); });
}

// Runs on a libVLC thread. Errors are reported: they explain why a stream failed, while it
// opens or after it played. Every access libVLC opens is asked about as well.
void VlcPlayer::onLog(void* data, int level, const vlc_log_t* context, const char* format,
                      va_list args) {
    auto* self = static_cast<VlcPlayer*>(data);
    if (lcVlc().isDebugEnabled()) {
        va_list copy;
        va_copy(copy, args);
        std::array<char, 1024> line{};
        std::vsnprintf(line.data(), line.size(), format, copy);
        va_end(copy);
        const char* module = nullptr;
        const char* file = nullptr;
        unsigned number = 0;
        libvlc_log_get_context(context, &module, &file, &number);
        qCDebug(lcVlc, "%s: %s", module != nullptr ? module : "", line.data());
    }
    const vlcquirks::LogLine line = vlcquirks::classify(level, format, args);
    switch (line.kind) {
        case vlcquirks::LogLine::Kind::AccessOpened:
            if (!self->mayOpen_(line.text)) {
                self->post([self, target = line.text] { Q_EMIT self->accessRefused(target); });
            }
            return;
        case vlcquirks::LogLine::Kind::Error:
            self->post([self, text = line.text] { Q_EMIT self->errorLogged(text); });
            return;
        case vlcquirks::LogLine::Kind::Other:
        case vlcquirks::LogLine::Kind::Noise:
            return;
    }
}

bool VlcPlayer::setLocation(const QString& url) {
    const QByteArray utf8 = url.trimmed().toUtf8();
    media_ = utf8.contains("://") ? libvlc_media_new_location(instance_, utf8.constData())
                                  : libvlc_media_new_path(instance_, utf8.constData());
    if (media_ == nullptr) {
        return false;
    }
    libvlc_event_attach(libvlc_media_event_manager(media_), libvlc_MediaMetaChanged,
                        &VlcPlayer::onEvent, this);
    libvlc_media_player_set_media(player_, media_);
    return true;
}

bool VlcPlayer::setFed(FeedBuffer* buffer) {
    media_ = vlcquirks::newFedMedia(instance_, buffer);
    if (media_ == nullptr) {
        return false;
    }
    fed_ = true;
    libvlc_media_player_set_media(player_, media_);
    return true;
}

bool VlcPlayer::play() {
    return libvlc_media_player_play(player_) == 0;
}

// Callbacks raised by the stop itself, and any still queued from the media it ends, carry an
// outdated generation and are dropped.
void VlcPlayer::halt() {
    ++generation_;
    // A player that never had a media has nothing to stop, and stopping it would close the
    // audio output libVLC opened with it, to be opened again for the first stream.
    if (player_ != nullptr && media_ != nullptr) {
        libvlc_media_player_stop(player_);
    }
    ++generation_;
}

void VlcPlayer::releaseMedia() {
    if (media_ != nullptr) {
        if (!fed_) {
            libvlc_event_detach(libvlc_media_event_manager(media_), libvlc_MediaMetaChanged,
                                &VlcPlayer::onEvent, this);
        }
        libvlc_media_release(media_);
        media_ = nullptr;
    }
    fed_ = false;
}

void VlcPlayer::setPaused(bool paused) {
    libvlc_media_player_set_pause(player_, paused ? 1 : 0);
}

void VlcPlayer::setVolume(int volume) {
    if (player_ != nullptr) {
        libvlc_audio_set_volume(player_, volume);
    }
}

int VlcPlayer::outputVolume() const {
    return player_ != nullptr ? libvlc_audio_get_volume(player_) : -1;
}

void VlcPlayer::setRate(double rate) {
    if (player_ != nullptr && rate != rate_ &&
        libvlc_media_player_set_rate(player_, static_cast<float>(rate)) == 0) {
        rate_ = rate;
    }
}

qint64 VlcPlayer::time() const {
    return libvlc_media_player_get_time(player_);
}

bool VlcPlayer::lengthKnown() const {
    return player_ != nullptr && libvlc_media_player_get_length(player_) > 0;
}

bool VlcPlayer::pausesInPlace() const {
    const bool live = libvlc_media_player_is_seekable(player_) == 0 &&
                      libvlc_media_player_get_length(player_) <= 0;
    return libvlc_media_player_can_pause(player_) != 0 && !live;
}

QStringList VlcPlayer::subItems() const {
    QStringList entries;
    if (media_ == nullptr) {
        return entries;
    }
    libvlc_media_list_t* list = libvlc_media_subitems(media_);
    if (list == nullptr) {
        return entries;
    }
    libvlc_media_list_lock(list);
    const int count = libvlc_media_list_count(list);
    for (int i = 0; i < count; ++i) {
        libvlc_media_t* media = libvlc_media_list_item_at_index(list, i);
        if (media == nullptr) {
            continue;
        }
        char* mrl = libvlc_media_get_mrl(media);
        if (mrl != nullptr) {
            entries.append(QString::fromUtf8(mrl));
            libvlc_free(mrl);
        }
        libvlc_media_release(media);
    }
    libvlc_media_list_unlock(list);
    libvlc_media_list_release(list);
    return entries;
}

VlcPlayer::Metadata VlcPlayer::metadata() const {
    Metadata result;
    if (media_ == nullptr) {
        return result;
    }
    const auto take = [](char* text) {
        QByteArray value(text);
        libvlc_free(text);
        return value;
    };
    result.title = take(libvlc_media_get_meta(media_, libvlc_meta_Title));
    result.nowPlaying = take(libvlc_media_get_meta(media_, libvlc_meta_NowPlaying));
    result.mrl = QString::fromUtf8(take(libvlc_media_get_mrl(media_)));
    return result;
}

}  // namespace lyrevane
