#include "vlc/vlcmediaengine.h"

#include "engine/nowplaying.h"
#include "engine/vlcmessages.h"

#include <QUrl>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr int kMaxVolumeRepairs = 5;
// How often a fed stream's cushion is looked at.
constexpr std::chrono::milliseconds kCushionLook{1000};
}  // namespace

VlcMediaEngine::VlcMediaEngine(VlcEngineOptions options, QObject* parent)
    : MediaEngine(parent),
      options_(std::move(options)),
      machine_(options_.timings),
      rules_(options_.refusedSources),
      network_(std::make_unique<EngineNetwork>(rules_, options_.timings.connectTimeout)),
      gateway_(network_->gateway()),
      accessGuard_(rules_, *gateway_) {
    StreamFeed* const feed = network_->feed();
    connect(gateway_, &MediaGateway::refused, this, &VlcMediaEngine::onGatewayRefused);
    connect(gateway_, &MediaGateway::failed, this, &VlcMediaEngine::onGatewayFailed);
    connect(network_->pinning(), &HostPinning::done, this, &VlcMediaEngine::onPinned);
    connect(feed, &StreamFeed::resolved, this, &VlcMediaEngine::onResolved);
    connect(feed, &StreamFeed::failed, this, &VlcMediaEngine::onFeedFailed);
    connect(feed, &StreamFeed::started, this, [this](quint64 ticket, const QString& station) {
        if (ticket != feedTicket_) {
            return;
        }
        if (std::exchange(rejoining_, false)) {
            rejoinAttempts_ = 0;  // joined again: what is heard keeps its title
            return;
        }
        setMetadata(station, {});
    });
    connect(feed, &StreamFeed::titleChanged, this,
            [this](quint64 ticket, const QString& title, quint64 position) {
                if (ticket == feedTicket_) {
                    shift_.noteTitle(position, title);
                    recording_.noteTitle(title);
                    followAudioHeard();
                }
            });
    connect(feed, &StreamFeed::ended, this, [this](quint64 ticket, const QString& line) {
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
    for (const auto which : {PlayStateMachine::Timer::Connect, PlayStateMachine::Timer::Stall,
                             PlayStateMachine::Timer::Backoff}) {
        timer(which).setSingleShot(true);
        connect(&timer(which), &QTimer::timeout, this,
                [this, which] { dispatch(PlayStateMachine::timerFired(which)); });
    }

    player_ = std::make_unique<VlcPlayer>(
        options_.vlcArguments,
        [guard = &accessGuard_](const QString& target) { return guard->mayOpen(target); });
    connect(player_.get(), &VlcPlayer::reported, this, &VlcMediaEngine::onPlayerReport);
    connect(player_.get(), &VlcPlayer::errorLogged, this, [this](const QString& line) {
        // Gateway addresses in libVLC's errors are put back as the real ones.
        dispatch(PlayStateMachine::logError(gateway_->unmasked(line)));
    });
    // A backstop should libVLC ever open something else than it was given: it ends the entry.
    connect(player_.get(), &VlcPlayer::accessRefused, this, [this](const QString& target) {
        haltPlayer();
        dispatch(PlayStateMachine::refused(sourcemessages::refusedRedirect(entry_, target)));
    });
}

VlcMediaEngine::~VlcMediaEngine() {
    recording_.stop(nullptr);
    ++feedTicket_;
    if (feedBuffer_) {
        feedBuffer_->abort();  // a read libVLC is blocked in returns, so that stop can join
    }
    player_.reset();
    network_.reset();
}

void VlcMediaEngine::onPlayerReport(VlcPlayer::Report report) {
    using Happening = VlcPlayer::Happening;
    Event translated;
    switch (report.what) {
        case Happening::Playing:
            applyVolume();
            translated.kind = Event::Kind::Opened;
            break;
        case Happening::Paused:
            translated.kind = Event::Kind::PausedInPlace;
            break;
        case Happening::Buffering:
            translated.kind = Event::Kind::Buffering;
            translated.number = report.number;
            break;
        case Happening::AudioTrack:
            translated.kind = Event::Kind::AudioTrack;
            break;
        case Happening::TimeChanged:
            translated = PlayStateMachine::timeAdvanced(report.number, player_->lengthKnown());
            break;
        case Happening::EndReached:
            translated = subItemsEvent();
            break;
        case Happening::Error:
            translated.kind = Event::Kind::Error;
            break;
        case Happening::MetaChanged:
            readMetadata();
            return;
        case Happening::VolumeChanged: {
            // A new audio output may come up at its own volume; put ours back.
            const auto phase = machine_.phase();
            if (player_->isValid() && volumeRepairs_ < kMaxVolumeRepairs &&
                (phase == PlayStateMachine::Phase::Connecting ||
                 phase == PlayStateMachine::Phase::Reconnecting ||
                 phase == PlayStateMachine::Phase::Playing)) {
                const int current = player_->outputVolume();
                if (current >= 0 && current != volume_) {
                    ++volumeRepairs_;
                    applyVolume();
                }
            }
            return;
        }
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
            player_->setPaused(true);
            break;
        case Command::Kind::ResumeInPlace:
            player_->setPaused(false);
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

// Stops libVLC, and makes the reports of what it played stale.
void VlcMediaEngine::haltPlayer() {
    // The feed's reports for this media are stale from here on; a read libVLC is blocked in
    // returns at once, so that the stop below does not wait for the network.
    ++feedTicket_;
    rejoining_ = false;
    rejoinTimer_.stop();
    if (feedBuffer_) {
        feedBuffer_->abort();
        network_->closeFeed();
    }
    // Whatever libVLC still asks of the gateway for this media is refused from here on.
    gatewaySession_ = gateway_->revokeAll();
    player_->halt();
}

void VlcMediaEngine::readMetadata() {
    if (!player_->hasMedia() || player_->isFed()) {
        return;
    }
    const VlcPlayer::Metadata meta = player_->metadata();
    // Without a station name libVLC names the media after its address or its file (the
    // gateway's or the real one, percent-decoded or not); that is no station.
    QString station = DecodeIcyText(meta.title);
    const QUrl handed(meta.mrl);
    const QUrl address(urlOfMrl(handed.toString()));
    const QString named = urlOfMrl(station);
    if (station == address.fileName() || station == address.fileName(QUrl::FullyDecoded) ||
        station == handed.fileName() || station == handed.fileName(QUrl::FullyDecoded) ||
        named == address.toString() || named == address.toString(QUrl::FullyDecoded) ||
        (gateway_->isListening() && station.contains(gateway_->origin()))) {
        station.clear();
    }
    QString title = DecodeIcyText(meta.nowPlaying);
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
    player_->setVolume(volume_);
}

QTimer& VlcMediaEngine::timer(PlayStateMachine::Timer which) {
    return timers_.at(static_cast<std::size_t>(which));
}

}  // namespace lyrevane
