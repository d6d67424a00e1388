#include "vlc/fedstream.h"

#include "net/streamrecorder.h"

#include "engine/playstatemachine.h"
#include "net/feedbuffer.h"
#include "net/streamfeed.h"
#include "vlc/enginemetadata.h"
#include "vlc/entryopener.h"
#include "vlc/vlcplayer.h"

#include <QStandardPaths>
#include <QUrl>

#include <cstdint>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How often a fed stream's cushion is looked at.
constexpr std::chrono::milliseconds kCushionLook{1000};
// The most of a paused live stream that is kept: an hour and a half, the programme and more.
constexpr std::chrono::seconds kMostKept{90 * 60};

}  // namespace

FedStream::FedStream(VlcPlayer& player, const EntryOpener& opener, const PlayStateMachine& machine,
                     EngineMetadata& metadata, StreamFeed& feed, QString timeShiftFolder,
                     QString recordingFolder, std::function<void(const QString&)> message,
                     QObject* parent)
    : QObject(parent),
      player_(player),
      opener_(opener),
      machine_(machine),
      metadata_(metadata),
      timeShiftFolder_(std::move(timeShiftFolder)),
      recordingFolder_(std::move(recordingFolder)),
      message_(std::move(message)) {
    connect(&feed, &StreamFeed::titleChanged, this,
            [this](quint64 ticket, const QString& title, quint64 position) {
                if (opener_.isCurrent(ticket)) {
                    shift_.noteTitle(position, title);
                    recording_.noteTitle(title);
                    followAudioHeard();
                }
            });
    cushionTimer_.setInterval(kCushionLook);
    connect(&cushionTimer_, &QTimer::timeout, this, &FedStream::governCushion);
}

void FedStream::connecting(FeedBuffer& buffer) {
    recording_.noteGap();
    recording_.tap(buffer);
}

void FedStream::starting() {
    // Set before it plays, so that the rate changes at most once more, when the cushion is
    // grown.
    pacing_.start(player_);
    cushionTimer_.start();
    shift_.reset();
    keptAllTold_ = false;
    metadata_.atLive();
}

bool FedStream::pauseInPlace() {
    FeedBuffer* const buffer = opener_.fed();
    if (buffer == nullptr) {
        return false;
    }
    const auto bytesPerSecond = static_cast<std::uint64_t>(pacing_.bytesPerSecond());
    buffer->keep(timeShiftFolder(), bytesPerSecond * kMostKept.count());
    shift_.paused();
    return true;
}

bool FedStream::keepingStopped() const {
    const FeedBuffer* const buffer = opener_.fed();
    return buffer != nullptr && buffer->keptAll();
}

QString FedStream::recordRefusal() const {
    return FeedRecording::refusal(opener_.fed(), machine_.phase() != PlayStateMachine::Phase::Idle);
}

void FedStream::setRecording(bool on) {
    if (!on) {
        stopRecording();
        metadata_.announce();
        return;
    }
    if (recording_.active() || !recordRefusal().isEmpty()) {
        return;
    }
    QString folder = recordingFolder_;
    if (folder.isEmpty()) {
        folder = StreamRecorder::defaultFolder();
    }
    const QString& station = metadata_.station();
    const QString name = station.isEmpty() ? QUrl(opener_.entry()).host() : station;
    const QString why =
        recording_.start(folder, name, *opener_.fed(), pacing_.bytesPerSecond(), metadata_.title());
    if (!why.isEmpty()) {
        message_(why);
        return;
    }
    metadata_.announce();
}

void FedStream::stopRecording() {
    if (!recording_.active()) {
        return;
    }
    const QString why = recording_.stop(opener_.buffer());
    metadata_.recordingStopped();
    if (!why.isEmpty()) {
        message_(why);
    }
}

void FedStream::governCushion() {
    FeedBuffer* const buffer = opener_.fed();
    if (buffer == nullptr) {
        cushionTimer_.stop();
        return;
    }
    followAudioHeard();
    if (machine_.phase() != PlayStateMachine::Phase::Playing) {
        return;
    }
    pacing_.look(player_, *buffer);
}

void FedStream::followAudioHeard() {
    FeedBuffer* const buffer = opener_.fed();
    if (buffer == nullptr) {
        return;
    }
    if (const std::optional<QString> title = shift_.titleAt(buffer->position())) {
        metadata_.set(metadata_.station(), *title);
    }
    metadata_.showSeconds(std::chrono::duration_cast<std::chrono::seconds>(shift_.behind()).count(),
                          recording_.seconds());
    if (const QString error = recording_.untoldError(); !error.isEmpty()) {
        message_(error);
    }
    if (!keptAllTold_ && buffer->keptAll()) {
        keptAllTold_ = true;
        message_(
            u"No more of the programme can be kept while it is paused: "_s + timeShiftFolder() +
            u" cannot be written, or its disk is nearly full. Play goes on from where it was."_s);
    }
}

QString FedStream::timeShiftFolder() const {
    if (!timeShiftFolder_.isEmpty()) {
        return timeShiftFolder_;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/Lyrevane"_s;
}

}  // namespace lyrevane
