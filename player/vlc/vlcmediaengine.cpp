#include "vlc/vlcmediaengine.h"

#include "engine/nowplaying.h"
#include "feed/streamrecorder.h"
#include "net/mediagateway.h"
#include "vlc/vlcquirks.h"

#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace lyrevane {

namespace {

constexpr int kMaxVolumeRepairs = 5;

}  // namespace

VlcMediaEngine::VlcMediaEngine(VlcEngineOptions options, QObject* parent)
    : MediaEngine(parent),
      options_(std::move(options)),
      machine_(options_.timings),
      network_(std::make_unique<EngineNetwork>(rules_, options_.timings.connectTimeout)),
      accessGuard_(rules_, *network_->gateway()),
      metadata_([this] { announce([this] { Q_EMIT metadataChanged(); }); }) {
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
        // Gateway addresses in libVLC's errors are put back as the real ones; its texts about
        // its internals become a plain reason.
        dispatch(
            PlayStateMachine::logError(network_->gateway()->unmasked(vlcquirks::errorLine(line))));
    });
    EntryOpener::Hooks hooks;
    hooks.dispatch = [this](const Event& event) { dispatch(event); };
    hooks.opening = [this] {
        volumeRepairs_ = 0;
        metadata_.set({}, {});
    };
    hooks.applyVolume = [this] { applyVolume(); };
    hooks.connecting = [this](FeedBuffer& buffer) { fed_->connecting(buffer); };
    hooks.rejoining = [this] { fed_->rejoining(); };
    hooks.fedSet = [this] { fed_->starting(); };
    hooks.openingUrl = [this] { fed_->stopRecording(); };
    hooks.started = [this](const QString& station) { metadata_.set(station, {}); };
    opener_ = std::make_unique<EntryOpener>(*player_, *network_, rules_, std::move(hooks));
    fed_ = std::make_unique<FedStream>(
        *player_, *opener_, machine_, metadata_, options_.timeShiftFolder, options_.recordingFolder,
        [this](const QString& message) { Q_EMIT recordingMessage(message); });
    // The titles and the ends of the current stream, as the feed reads them.
    connect(network_->feed(), &StreamFeed::titleChanged, fed_.get(),
            [this](quint64 ticket, const QString& title, quint64 position) {
                if (opener_->isCurrent(ticket)) {
                    fed_->titleArrived(title, position);
                }
            });
    connect(network_->feed(), &StreamFeed::ended, fed_.get(),
            [this](quint64 ticket, const QString&) {
                if (opener_->isCurrent(ticket)) {
                    fed_->connectionEnded();
                }
            });
}

void VlcMediaEngine::finishLeftBehind() {
    const QString folder = options_.recordingFolder.isEmpty() ? StreamRecorder::defaultFolder()
                                                              : options_.recordingFolder;
    QMetaObject::invokeMethod(
        network_->gateway(),
        [this, folder] {
            const QStringList finished = StreamRecorder::finishLeftBehind(folder);
            if (finished.isEmpty()) {
                return;
            }
            // The engine ends this thread before it goes: it is there to be told.
            QMetaObject::invokeMethod(
                this,
                [this, finished] {
                    Q_EMIT recordingMessage(
                        finished.size() == 1 ? tr("A recording left unfinished is kept as %1.")
                                                   .arg(finished.constFirst())
                                             : tr("%n recordings left unfinished are kept in %1.",
                                                  nullptr, static_cast<int>(finished.size()))
                                                   .arg(QFileInfo(finished.constFirst()).path()));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

VlcMediaEngine::~VlcMediaEngine() {
    fed_->abandonRecording();
    opener_->abandon();
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
            translated = opener_->subItemsEvent();
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
    // Follows the machine's outage into reconnecting().
    metadata_.followOutage(machine_.reconnecting(), machine_.now());
}

void VlcMediaEngine::execute(const Command& command) {
    switch (command.kind) {
        case Command::Kind::OpenEntry:
            opener_->open(command.text, options_.timings.connectTimeout);
            break;
        case Command::Kind::HaltPlayer:
            opener_->halt();
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

// The station's name and the title of a media libVLC reads itself, from its metadata (the
// gateway names the real source of its own addresses).
void VlcMediaEngine::readMetadata() {
    if (!player_->hasMedia() || player_->isFed()) {
        return;
    }
    const VlcPlayer::Metadata meta = player_->metadata();
    const MediaGateway& gateway = *network_->gateway();
    // Without a station name libVLC names the media after its address or its file (the
    // gateway's or the real one, percent-decoded or not); that is no station.
    QString station = decodeIcyText(meta.title);
    const QUrl handed(meta.mrl);
    const QUrl address(gateway.upstreamOf(handed.toString()));
    const QString named = gateway.upstreamOf(station);
    if (station == address.fileName() || station == address.fileName(QUrl::FullyDecoded) ||
        station == handed.fileName() || station == handed.fileName(QUrl::FullyDecoded) ||
        named == address.toString() || named == address.toString(QUrl::FullyDecoded) ||
        (gateway.isListening() && station.contains(gateway.origin()))) {
        station.clear();
    }
    QString title = decodeIcyText(meta.nowPlaying);
    if (!isMeaningfulTitle(title)) {
        title.clear();
    }
    metadata_.set(station, title);
}

void VlcMediaEngine::applyVolume() {
    player_->setVolume(volume_);
}

QTimer& VlcMediaEngine::timer(PlayStateMachine::Timer which) {
    return timers_.at(static_cast<std::size_t>(which));
}

}  // namespace lyrevane
