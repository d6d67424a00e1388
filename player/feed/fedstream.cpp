#include "feed/fedstream.h"

#include "engine/enginelog.h"
#include "engine/enginemetadata.h"
#include "engine/playstatemachine.h"
#include "feed/feedbuffer.h"
#include "feed/feedplayer.h"
#include "feed/streamrecorder.h"

#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How often a fed stream's cushion is looked at.
constexpr std::chrono::milliseconds kCushionLook{1000};
// How far short of what arrived a jump to live lands: libVLC, started again there, plays at
// once with a cushion as large as the server's first burst gives a new stream.
constexpr std::chrono::milliseconds kLiveMargin{4000};
// How much of a live stream is kept: the last hour of the programme.
constexpr std::chrono::seconds kMostKept{60 * 60};
// Whatever the stream's rate, no more than this is kept (an hour at 560 kbit/s).
constexpr std::uint64_t kMostKeptBytes = std::uint64_t{256} << 20;
// The highest rate taken as a server declares it, before the audio's own is measured: 320
// kbit/s, the most an MP3 stream has.
constexpr int kMostDeclaredRate = 320 * 1000 / 8;
// Catching up plays this much faster than the stream comes.
constexpr double kCatchUpRate = 1.5;
// libVLC's cache holds about a second; more than this is not its cache but a clock gone astray.
constexpr std::chrono::milliseconds kMostUnheard{5000};

}  // namespace

FedStream::FedStream(FeedPlayer& player, const FeedSource& source, const PlayStateMachine& machine,
                     EngineMetadata& metadata, QString timeShiftFolder, QString recordingFolder,
                     std::function<void(const QString&)> message, QObject* parent)
    : QObject(parent),
      player_(player),
      source_(source),
      machine_(machine),
      metadata_(metadata),
      timeShiftFolder_(std::move(timeShiftFolder)),
      recordingFolder_(std::move(recordingFolder)),
      message_(std::move(message)) {
    cushionTimer_.setInterval(kCushionLook);
    connect(&cushionTimer_, &QTimer::timeout, this, &FedStream::governCushion);
}

void FedStream::titleArrived(const QString& title, quint64 position) {
    shift_.noteTitle(position, title, QDateTime::currentDateTime());
    recording_.noteTitle(title);
    followAudioHeard();
}

// Where and when a connection was lost, for the gap marked once audio comes again.
void FedStream::connectionEnded() {
    if (const FeedBuffer* const buffer = source_.buffer()) {
        ended_.emplace(buffer->written(), QDateTime::currentDateTime());
    }
}

void FedStream::connecting(FeedBuffer& buffer) {
    recording_.noteGap();
    recording_.tap(buffer);
}

void FedStream::rejoining() {
    recording_.noteGap();
    if (const FeedBuffer* const buffer = source_.fed()) {
        lost_ = ended_ ? *ended_ : std::pair{buffer->written(), QDateTime::currentDateTime()};
    }
}

void FedStream::starting() {
    // Set before it plays, so that the rate changes at most once more, when the cushion is
    // grown.
    player_.setRate(pacing_.start());
    cushionTimer_.start();
    catchingUp_ = false;
    metadata_.atLive();
    FeedBuffer* const buffer = source_.fed();
    readFrom_ = buffer != nullptr ? buffer->position() : 0;
    if (buffer != nullptr && buffer->keeping()) {
        // The same stream connected to again (a new buffer keeps nothing yet): it goes on after
        // what was kept, the gap marked.
        lost_ = ended_ ? *ended_ : std::pair{buffer->written(), QDateTime::currentDateTime()};
        return;
    }
    shift_.reset();
    lost_.reset();
    ended_.reset();
    keptAllTold_ = false;
    if (buffer != nullptr) {
        buffer->keep(timeShiftFolder(), keepLimit());
    }
}

bool FedStream::pauseInPlace() {
    FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr) {
        return false;
    }
    stopCatchingUp();
    buffer->setHeld(true);
    startOnResume_ = false;
    return true;
}

void FedStream::resumed() {
    if (FeedBuffer* const buffer = source_.fed()) {
        buffer->setHeld(false);
        if (std::exchange(startOnResume_, false) && !player_.play()) {
            qCWarning(lcEngine, "the stream could not be played again from its new position");
        }
    }
}

std::chrono::milliseconds FedStream::behind() const {
    const FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr) {
        return {};
    }
    return std::chrono::milliseconds(
        static_cast<std::int64_t>(buffer->behind() * 1000 / static_cast<unsigned>(audioRate())));
}

bool FedStream::isBehind() const {
    const FeedBuffer* const buffer = source_.fed();
    return buffer != nullptr && buffer->behindLive();
}

std::chrono::milliseconds FedStream::keptBefore() const {
    const FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr || !buffer->keeping()) {
        return {};
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(
        (heardPosition(*buffer) - buffer->oldest()) * 1000 / static_cast<unsigned>(audioRate())));
}

std::uint64_t FedStream::unheard(const FeedBuffer& buffer) const {
    const auto rate = static_cast<std::uint64_t>(audioRate());
    const std::uint64_t read = buffer.position() - std::min(buffer.position(), readFrom_);
    const std::uint64_t played =
        static_cast<std::uint64_t>(std::max<qint64>(player_.time(), 0)) * rate / 1000;
    return std::min(read - std::min(read, played),
                    rate * static_cast<std::uint64_t>(kMostUnheard.count()) / 1000);
}

std::uint64_t FedStream::heardPosition(const FeedBuffer& buffer) const {
    return std::max(buffer.oldest(),
                    buffer.position() - std::min(buffer.position(), unheard(buffer)));
}

bool FedStream::keepingStopped() const {
    const FeedBuffer* const buffer = source_.fed();
    return buffer != nullptr && buffer->keptAll();
}

// libVLC cannot seek a stream read through callbacks: it is stopped, the buffer's reader moved,
// and the same buffer played again from there.
std::chrono::milliseconds FedStream::move(std::chrono::milliseconds by, bool paused) {
    FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr || !buffer->keeping()) {
        return {};
    }
    const int rate = audioRate();
    // From what is heard, not from where libVLC has read to.
    const auto lead = static_cast<std::int64_t>(unheard(*buffer));
    const std::int64_t bytes = by.count() * rate / 1000 - lead;
    if (buffer->reach(bytes) == 0) {
        if (bytes > 0 && buffer->behind() > 0) {
            // Within the live margin: live where it is, libVLC reading on.
            readFrom_ += static_cast<std::uint64_t>(buffer->move(bytes));
            followAudioHeard();
        }
        return {};
    }
    stopCatchingUp();
    buffer->interruptReads(true);  // the read libVLC waits in ends, so that it stops at once
    player_.halt();
    const std::int64_t moved = buffer->move(bytes) + lead;
    readFrom_ = buffer->position();
    buffer->interruptReads(false);
    player_.releaseMedia();
    startOnResume_ = paused;
    if (!player_.setFed(buffer) || (!paused && !player_.play())) {
        qCWarning(lcEngine, "the stream could not be played again from its new position");
    }
    qCDebug(lcEngine, "moved %lld ms in the kept programme: %lld ms behind live, %lld ms ahead",
            static_cast<long long>(moved * 1000 / rate),
            static_cast<long long>(buffer->behind() * 1000 / static_cast<unsigned>(rate)),
            static_cast<long long>(buffer->buffered() * 1000 / static_cast<unsigned>(rate)));
    followAudioHeard();
    return std::chrono::milliseconds(moved * 1000 / rate);
}

void FedStream::catchUpFaster() {
    if (!isBehind() || catchingUp_) {
        return;
    }
    catchingUp_ = true;
    catchUpClock_.start();
    player_.setRate(kCatchUpRate);
    metadata_.announce();
}

void FedStream::stopCatchingUp() {
    if (std::exchange(catchingUp_, false)) {
        player_.setRate(1.0);
        metadata_.announce();
    }
}

int FedStream::audioRate() const {
    const int measured = pacing_.measuredBytesPerSecond();
    return measured > 0 ? measured : std::clamp(pacing_.bytesPerSecond(), 1, kMostDeclaredRate);
}

std::uint64_t FedStream::keepLimit() const {
    return std::min(kMostKeptBytes, static_cast<std::uint64_t>(audioRate()) *
                                        static_cast<std::uint64_t>(kMostKept.count()));
}

QString FedStream::recordRefusal() const {
    return FeedRecording::refusal(source_.fed(), machine_.phase() != PlayStateMachine::Phase::Idle);
}

QList<MediaEngine::ProgrammeItem> FedStream::programme() const {
    QList<MediaEngine::ProgrammeItem> items;
    const FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr || !buffer->keeping()) {
        return items;
    }
    const std::uint64_t oldest = buffer->oldest();
    const auto rate = static_cast<std::uint64_t>(audioRate());
    items.reserve(static_cast<qsizetype>(shift_.entries().size()));
    for (const TimeShift::Entry& entry : shift_.entries()) {
        MediaEngine::ProgrammeItem item;
        item.at = std::chrono::milliseconds(
            static_cast<std::int64_t>((std::max(entry.position, oldest) - oldest) * 1000 / rate));
        item.arrived = entry.at;
        item.title = entry.title;
        item.gap = entry.gap;
        item.back = entry.back;
        item.merged = entry.merged;
        items.append(item);
    }
    return items;
}

void FedStream::setRecording(bool on, std::optional<std::chrono::milliseconds> at) {
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
    const QString name = station.isEmpty() ? QUrl(source_.entry()).host() : station;
    // From the first byte of the title that plays (or the one chosen), when that is kept.
    FeedBuffer& buffer = *source_.fed();
    std::optional<std::uint64_t> from =
        at ? buffer.oldest() + static_cast<std::uint64_t>(std::max<std::int64_t>(at->count(), 0)) *
                                   static_cast<std::uint64_t>(audioRate()) / 1000
           : shift_.titleStart(heardPosition(buffer));
    if (from && *from < buffer.oldest()) {
        from.reset();
    }
    if (at && from) {
        // The title that begins there, at the byte it begins.
        if (const std::optional<std::uint64_t> start = shift_.titleStart(*from + audioRate() / 2);
            start && *start >= buffer.oldest()) {
            from = start;
        }
    }
    if (!buffer.keeping()) {
        from.reset();
    }
    QString title = metadata_.title();
    if (from) {
        for (const TimeShift::Entry& entry : shift_.entries()) {
            if (entry.position <= *from) {
                title = entry.title;
            }
        }
    }
    const QString why =
        recording_.start(folder, name, buffer, pacing_.bytesPerSecond(), title, from, &shift_);
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
    const QString why = recording_.stop(source_.buffer());
    metadata_.recordingStopped();
    if (!why.isEmpty()) {
        message_(why);
    }
}

void FedStream::governCushion() {
    FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr) {
        cushionTimer_.stop();
        return;
    }
    buffer->setKeepLimit(keepLimit());
    buffer->setLiveMargin(static_cast<std::size_t>(audioRate()) *
                          static_cast<std::size_t>(kLiveMargin.count()) / 1000);
    if (lost_ && buffer->written() > lost_->first) {
        shift_.noteGap(lost_->first, lost_->second, QDateTime::currentDateTime());
        lost_.reset();
        ended_.reset();
    }
    if (machine_.phase() != PlayStateMachine::Phase::Playing) {
        followAudioHeard();
        return;
    }
    if (catchingUp_) {
        // Faster than the stream comes: that much closer to live each moment.
        const auto gained = static_cast<double>(catchUpClock_.restart()) * (kCatchUpRate - 1.0) *
                            audioRate() / 1000.0;
        buffer->gain(static_cast<std::uint64_t>(gained));
        if (buffer->behind() == 0) {
            stopCatchingUp();
        }
    }
    followAudioHeard();
    if (!catchingUp_) {
        const qint64 played = player_.time();
        player_.setRate(pacing_.look(played, *buffer));
        qCDebug(lcEngine, "cushion %lld ms at %d bytes/s, rate %.2f, played %lld ms",
                static_cast<long long>(pacing_.cushion().count()), pacing_.bytesPerSecond(),
                player_.rate(), static_cast<long long>(played));
    }
}

void FedStream::followAudioHeard() {
    FeedBuffer* const buffer = source_.fed();
    if (buffer == nullptr) {
        return;
    }
    shift_.forget(buffer->oldest());
    // Back becomes possible once some audio was kept.
    if (const bool canGoBack = buffer->position() > buffer->oldest(); canGoBack != couldGoBack_) {
        couldGoBack_ = canGoBack;
        metadata_.announce();
    }
    if (const std::optional<QString> title = shift_.titleAt(heardPosition(*buffer))) {
        metadata_.set(metadata_.station(), *title);
    }
    metadata_.showSeconds(std::chrono::duration_cast<std::chrono::seconds>(behind()).count(),
                          recording_.seconds());
    if (const QString error = recording_.untoldError(); !error.isEmpty()) {
        message_(error);
    }
    if (!keptAllTold_ && buffer->keptAll()) {
        keptAllTold_ = true;
        message_(tr("Older parts of the programme can no longer be kept: %1 cannot be written, "
                    "or its disk is nearly full. Play goes on.")
                     .arg(timeShiftFolder()));
    }
}

QString FedStream::timeShiftFolder() const {
    if (!timeShiftFolder_.isEmpty()) {
        return timeShiftFolder_;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/Lyrevane"_s;
}

}  // namespace lyrevane
