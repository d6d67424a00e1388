// What the feed reads beyond live: recording it as it arrives, and connecting again to a stream
// that ended while the listener was behind.
#include "vlc/vlcmediaengine.h"

#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QString VlcMediaEngine::recordRefusal() const {
    const bool fed = player_->isFed() && feedBuffer_;
    return FeedRecording::refusal(fed ? feedBuffer_.get() : nullptr,
                                  machine_.phase() != PlayStateMachine::Phase::Idle);
}

void VlcMediaEngine::setRecording(bool on) {
    if (!on) {
        stopRecording();
        announce([this] { Q_EMIT metadataChanged(); });
        return;
    }
    if (recording_.active() || !recordRefusal().isEmpty()) {
        return;
    }
    QString folder = options_.recordingFolder;
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation) + u"/Lyrevane"_s;
    }
    const QString name = station_.isEmpty() ? QUrl(entry_).host() : station_;
    const QString why =
        recording_.start(folder, name, *feedBuffer_, pacing_.bytesPerSecond(), title_);
    if (!why.isEmpty()) {
        Q_EMIT recordingMessage(why);
        return;
    }
    announce([this] { Q_EMIT metadataChanged(); });
}

qint64 VlcMediaEngine::recordingSeconds() const {
    return recording_.seconds();
}

void VlcMediaEngine::stopRecording() {
    if (!recording_.active()) {
        return;
    }
    const QString why = recording_.stop(feedBuffer_.get());
    shownRecorded_ = -1;
    if (!why.isEmpty()) {
        Q_EMIT recordingMessage(why);
    }
}

bool VlcMediaEngine::rejoinWhileBehind(quint64 ticket) {
    if (ticket != feedTicket_ || !player_->isFed() || !feedBuffer_ ||
        (!rejoining_ && !feedBuffer_->keeping())) {
        return false;
    }
    if (!feedBuffer_->reopen()) {
        return false;
    }
    // At once the first time, then after 1, 2, 4, 8 and every 15 seconds.
    static constexpr std::array<int, 6> kWaits{0, 1, 2, 4, 8, 15};
    if (!rejoining_) {
        recording_.noteGap();
    }
    const int wait = kWaits.at(std::min<std::size_t>(rejoinAttempts_, kWaits.size() - 1));
    ++rejoinAttempts_;
    rejoining_ = true;
    rejoinTimer_.start(std::chrono::seconds(wait));
    return true;
}

void VlcMediaEngine::rejoin() {
    if (!rejoining_ || !player_->isFed() || !feedBuffer_) {
        return;
    }
    const quint64 ticket = ++feedTicket_;
    network_->reopenFeed(ticket, entry_.trimmed(), feedBuffer_);
}

}  // namespace lyrevane
