#include "vlc/vlcmediaengine.h"

#include "common/busnames.h"
#include "engine/enginelog.h"
#include "engine/nowplaying.h"
#include "engine/vlcmessages.h"

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <vlc/vlc.h>

#include <array>
#include <cstdio>
#include <cstring>
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
        // libVLC keeps a live stream in step with the sound card by resampling it all the
        // time; its first choice (libsamplerate) took a fifth of the player's CPU, soxr
        // does it at a fraction of that, at high quality.
        "--audio-resampler=soxr,speex_resampler,any",
    };
}

constexpr std::array kWatchedEvents{
    libvlc_MediaPlayerPlaying,    libvlc_MediaPlayerPaused,           libvlc_MediaPlayerBuffering,
    libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged,
    libvlc_MediaPlayerESAdded,    libvlc_MediaPlayerAudioVolume,
};

constexpr int kMaxVolumeRepairs = 5;
// How often a fed stream's cushion is looked at.
constexpr std::chrono::milliseconds kCushionLook{1000};
// libVLC's debug line for every access it opens, redirect targets included.
constexpr char kCreatingAccess[] = "creating access: ";
// The resolver gives up a little after the machine's own connect timeout would.
constexpr std::chrono::milliseconds kResolverGrace{1000};

SourceResolverOptions resolverOptions(const SourceRules& rules,
                                      std::chrono::milliseconds connectTimeout) {
    SourceResolverOptions options;
    options.rules = rules;
    options.deadline = connectTimeout + kResolverGrace;
    return options;
}

}  // namespace

VlcMediaEngine::VlcMediaEngine(VlcEngineOptions options, QObject* parent)
    : MediaEngine(parent),
      options_(std::move(options)),
      machine_(options_.timings),
      rules_(options_.refusedSources) {
    feed_ = new StreamFeed(resolverOptions(rules_, options_.timings.connectTimeout));
    feed_->moveToThread(&feedThread_);
    connect(&feedThread_, &QThread::finished, feed_, &QObject::deleteLater);
    startGateway();
    connect(feed_, &StreamFeed::resolved, this, &VlcMediaEngine::onResolved);
    connect(feed_, &StreamFeed::failed, this, &VlcMediaEngine::onFeedFailed);
    connect(feed_, &StreamFeed::started, this, [this](quint64 ticket, const QString& station) {
        if (ticket != feedTicket_) {
            return;
        }
        if (std::exchange(rejoining_, false)) {
            rejoinAttempts_ = 0;  // joined again: what is heard keeps its title
            return;
        }
        setMetadata(station, {});
    });
    connect(feed_, &StreamFeed::titleChanged, this,
            [this](quint64 ticket, const QString& title, quint64 position) {
                if (ticket == feedTicket_) {
                    shift_.noteTitle(position, title);
                    if (recorder_) {
                        recorder_->noteTitle(title);
                    }
                    followAudioHeard();
                }
            });
    connect(feed_, &StreamFeed::ended, this, [this](quint64 ticket, const QString& line) {
        if (rejoinWhileBehind(ticket)) {
            return;
        }
        // libVLC reads what is left and then reaches the end; the reason goes first.
        if (ticket == feedTicket_ && !line.isEmpty()) {
            dispatch(PlayStateMachine::logError(line));
        }
    });
    rejoinTimer_.setSingleShot(true);
    connect(&rejoinTimer_, &QTimer::timeout, this, &VlcMediaEngine::rejoin);
    cushionTimer_.setInterval(kCushionLook);
    connect(&cushionTimer_, &QTimer::timeout, this, &VlcMediaEngine::governCushion);
    feedThread_.setObjectName(u"Lyrevane stream feed"_s);
    feedThread_.start();
    for (const auto which : {PlayStateMachine::Timer::Connect, PlayStateMachine::Timer::Stall,
                             PlayStateMachine::Timer::Backoff}) {
        timer(which).setSingleShot(true);
        connect(&timer(which), &QTimer::timeout, this,
                [this, which] { dispatch(PlayStateMachine::timerFired(which)); });
    }

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
    libvlc_set_app_id(instance_, busnames::kApplicationId, "1.0", "audio-x-generic");

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
    if (recorder_) {
        recorder_->finish();
    }
    ++feedTicket_;
    if (feedBuffer_) {
        feedBuffer_->abort();  // a read libVLC is blocked in returns, so that stop can join
    }
    if (instance_ != nullptr) {
        // Waits for log callbacks in flight, so none reaches a half-destroyed engine.
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
    QMetaObject::invokeMethod(feed_, &StreamFeed::close, Qt::QueuedConnection);
    feedThread_.quit();
    feedThread_.wait();
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
                self->handleVlcEvent(copy);
            }
        },
        Qt::QueuedConnection);
}

// Runs on a libVLC thread. Errors are kept (gateway addresses in them put back as the real
// ones): they explain why a stream failed, while it opens or after it played. Every access
// libVLC opens is watched as well: the gateway is what keeps libVLC from unchecked places, and
// this is only a backstop should libVLC ever open something else; it ends the entry.
void VlcMediaEngine::onVlcLog(void* data, int level, const vlc_log_t* context, const char* format,
                              va_list args) {
    auto* self = static_cast<VlcMediaEngine*>(data);
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
    if (level < LIBVLC_ERROR) {
        if (format == nullptr ||
            std::strncmp(format, kCreatingAccess, sizeof(kCreatingAccess) - 1) != 0) {
            return;
        }
        std::array<char, 2048> buffer{};
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        const QString target =
            QString::fromUtf8(buffer.data() + sizeof(kCreatingAccess) - 1).trimmed();
        if (self->libVlcMayOpen(target)) {
            return;
        }
        const quint64 generation = self->generation_.load();
        QMetaObject::invokeMethod(
            self,
            [self, target, generation] {
                if (generation == self->generation_.load()) {
                    self->haltPlayer();
                    self->dispatch(PlayStateMachine::refused(
                        sourcemessages::refusedRedirect(self->entry_, target)));
                }
            },
            Qt::QueuedConnection);
        return;
    }
    // The older in-memory access complains about the callbacks meant for the newer one.
    if (format != nullptr && std::strcmp(format, "Invalid get/release function pointers") == 0) {
        return;
    }
    std::array<char, 512> buffer{};
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    const quint64 generation = self->generation_.load();
    QMetaObject::invokeMethod(
        self,
        [self, line = self->gateway_->unmasked(QString::fromUtf8(buffer.data())), generation] {
            if (generation == self->generation_.load()) {
                self->dispatch(PlayStateMachine::logError(line));
            }
        },
        Qt::QueuedConnection);
}

void VlcMediaEngine::handleVlcEvent(const VlcEvent& event) {
    Event translated;
    switch (event.type) {
        case libvlc_MediaPlayerPlaying:
            applyVolume();
            translated.kind = Event::Kind::Opened;
            break;
        case libvlc_MediaPlayerPaused:
            translated.kind = Event::Kind::PausedInPlace;
            break;
        case libvlc_MediaPlayerBuffering:
            translated.kind = Event::Kind::Buffering;
            translated.number = static_cast<qint64>(event.cache);
            break;
        case libvlc_MediaPlayerESAdded:
            if (event.trackType != libvlc_track_audio) {
                return;
            }
            translated.kind = Event::Kind::AudioTrack;
            break;
        case libvlc_MediaPlayerTimeChanged:
            translated = PlayStateMachine::timeAdvanced(
                event.time, player_ != nullptr && libvlc_media_player_get_length(player_) > 0);
            break;
        case libvlc_MediaPlayerEndReached:
            translated = subItemsEvent();
            break;
        case libvlc_MediaPlayerEncounteredError:
            translated.kind = Event::Kind::Error;
            break;
        case libvlc_MediaMetaChanged:
            readMetadata();
            return;
        case libvlc_MediaPlayerAudioVolume: {
            // A new audio output may come up at its own volume; put ours back.
            const auto phase = machine_.phase();
            if (player_ != nullptr && volumeRepairs_ < kMaxVolumeRepairs &&
                (phase == PlayStateMachine::Phase::Connecting ||
                 phase == PlayStateMachine::Phase::Reconnecting ||
                 phase == PlayStateMachine::Phase::Playing)) {
                const int current = libvlc_audio_get_volume(player_);
                if (current >= 0 && current != volume_) {
                    ++volumeRepairs_;
                    applyVolume();
                }
            }
            return;
        }
        default:
            return;
    }
    dispatch(translated);
}

void VlcMediaEngine::dispatch(const Event& event) {
    events_.push_back(event);
    if (dispatching_) {
        return;
    }
    dispatching_ = true;
    while (!events_.empty()) {
        const Event next = events_.front();
        events_.pop_front();
        for (const Command& command : machine_.handle(next)) {
            execute(command);
        }
    }
    dispatching_ = false;
    updateReconnecting();
}

void VlcMediaEngine::execute(const Command& command) {
    switch (command.kind) {
        case Command::Kind::OpenEntry:
            openEntry(command.text);
            break;
        case Command::Kind::HaltPlayer:
            haltPlayer();
            break;
        case Command::Kind::PauseInPlace:
            libvlc_media_player_set_pause(player_, 1);
            break;
        case Command::Kind::ResumeInPlace:
            libvlc_media_player_set_pause(player_, 0);
            break;
        case Command::Kind::StartTimer:
            timer(command.timer).start(command.duration);
            break;
        case Command::Kind::StopTimer:
            timer(command.timer).stop();
            break;
        case Command::Kind::SetOpenState:
            announce([this, state = command.state] { Q_EMIT openStateChanged(state); });
            break;
        case Command::Kind::SetPlayState:
            announce([this, state = command.state] { Q_EMIT playStateChanged(state); });
            break;
        case Command::Kind::ReportError:
            announce([this, text = command.text] {
                errors_.append(text);
                Q_EMIT errorOccurred();
            });
            break;
    }
}

// Stops libVLC. Callbacks raised by the stop itself, and any still queued from the
// media it ends, carry an outdated generation and are dropped.
void VlcMediaEngine::haltPlayer() {
    // The feed's reports for this media are stale from here on; a read libVLC is blocked in
    // returns at once, so that the stop below does not wait for the network.
    ++feedTicket_;
    rejoining_ = false;
    rejoinTimer_.stop();
    if (feedBuffer_) {
        feedBuffer_->abort();
        QMetaObject::invokeMethod(feed_, &StreamFeed::close, Qt::QueuedConnection);
    }
    ++generation_;
    // Whatever libVLC still asks of the gateway for this media is refused from here on.
    gatewaySession_ = gateway_->revokeAll();
    // A player that never had a media has nothing to stop, and stopping it would close the
    // audio output libVLC opened with it, to be opened again for the first stream.
    if (player_ != nullptr && media_ != nullptr) {
        libvlc_media_player_stop(player_);
    }
    ++generation_;
}

void VlcMediaEngine::releaseMedia() {
    if (media_ != nullptr) {
        if (!fed_) {
            libvlc_event_detach(libvlc_media_event_manager(media_), libvlc_MediaMetaChanged,
                                &VlcMediaEngine::onVlcEvent, this);
        }
        libvlc_media_release(media_);
        media_ = nullptr;
    }
    fed_ = false;
}

void VlcMediaEngine::readMetadata() {
    if (media_ == nullptr || fed_) {
        return;
    }
    const auto meta = [this](libvlc_meta_t which) {
        char* text = libvlc_media_get_meta(media_, which);
        QString value = text != nullptr ? DecodeIcyText(text) : QString();
        libvlc_free(text);
        return value;
    };
    // Without a station name libVLC names the media after its address or its file (the
    // gateway's or the real one, percent-decoded or not); that is no station.
    QString station = meta(libvlc_meta_Title);
    char* mrl = libvlc_media_get_mrl(media_);
    const QUrl handed(QString::fromUtf8(mrl));
    libvlc_free(mrl);
    const QUrl address(urlOfMrl(handed.toString()));
    const QString named = urlOfMrl(station);
    if (station == address.fileName() || station == address.fileName(QUrl::FullyDecoded) ||
        station == handed.fileName() || station == handed.fileName(QUrl::FullyDecoded) ||
        named == address.toString() || named == address.toString(QUrl::FullyDecoded) ||
        (gateway_->isListening() && station.contains(gateway_->origin()))) {
        station.clear();
    }
    QString title = meta(libvlc_meta_NowPlaying);
    if (!IsMeaningfulTitle(title)) {
        title.clear();
    }
    setMetadata(station, title);
}

void VlcMediaEngine::setMetadata(const QString& station, const QString& title) {
    if (station == station_ && title == title_) {
        return;
    }
    station_ = station;
    title_ = title;
    announce([this] { Q_EMIT metadataChanged(); });
}

void VlcMediaEngine::updateReconnecting() {
    const std::optional<PlayStateMachine::Outage> outage = machine_.reconnecting();
    QString text;
    if (outage) {
        // The local time is taken once per outage, so that it stays as first shown.
        if (outage->since != outageSince_) {
            outageSince_ = outage->since;
            outageClock_ = QTime::currentTime().addMSecs(
                -static_cast<int>((machine_.now() - outage->since).count()));
        }
        text = vlcmessages::reconnectingSince(outageClock_, outage->reason);
    }
    if (text != reconnecting_) {
        reconnecting_ = text;
        announce([this] { Q_EMIT metadataChanged(); });
    }
}

void VlcMediaEngine::applyVolume() {
    if (player_ != nullptr) {
        libvlc_audio_set_volume(player_, volume_);
    }
}

void VlcMediaEngine::announce(std::function<void()> signal) {
    if (prestarting_) {
        held_.push_back(std::move(signal));
    } else {
        signal();
    }
}

QTimer& VlcMediaEngine::timer(PlayStateMachine::Timer which) {
    return timers_.at(static_cast<std::size_t>(which));
}

}  // namespace lyrevane
