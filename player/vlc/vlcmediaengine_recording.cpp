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
    if (!fed_ || !feedBuffer_ || machine_.phase() == PlayStateMachine::Phase::Idle) {
        return u"Only a live stream that is playing can be recorded."_s;
    }
    if (StreamRecorder::extensionFor(feedBuffer_->contentType()).isEmpty()) {
        return u"This stream's format cannot be recorded; MP3, AAC, Ogg and Opus streams can."_s;
    }
    return {};
}

void VlcMediaEngine::setRecording(bool on) {
    if (!on) {
        stopRecording();
        announce([this] { Q_EMIT metadataChanged(); });
        return;
    }
    if (recordingSeconds() >= 0 || !recordRefusal().isEmpty()) {
        return;
    }
    QString folder = options_.recordingFolder;
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation) + u"/Lyrevane"_s;
    }
    const QString name = station_.isEmpty() ? QUrl(entry_).host() : station_;
    auto recorder = std::make_shared<StreamRecorder>();
    const QString why =
        recorder->start(folder, name, StreamRecorder::extensionFor(feedBuffer_->contentType()),
                        QDateTime::currentDateTime(), cushion_.bytesPerSecond());
    if (!why.isEmpty()) {
        Q_EMIT recordingMessage(why);
        return;
    }
    recorder_ = std::move(recorder);
    recordError_.clear();
    recorder_->noteTitle(title_);
    tapRecording();
    announce([this] { Q_EMIT metadataChanged(); });
}

qint64 VlcMediaEngine::recordingSeconds() const {
    return recorder_ ? recorder_->seconds() : -1;
}

void VlcMediaEngine::stopRecording() {
    if (!recorder_) {
        return;
    }
    if (feedBuffer_) {
        feedBuffer_->setTap({});
    }
    const QString why = std::exchange(recorder_, nullptr)->finish();
    shownRecorded_ = -1;
    if (!why.isEmpty() && why != recordError_) {
        Q_EMIT recordingMessage(why);
    }
}

void VlcMediaEngine::tapRecording() {
    if (recorder_ && feedBuffer_) {
        feedBuffer_->setTap(
            [recorder = recorder_](QByteArrayView audio) { recorder->write(audio); });
    }
}

bool VlcMediaEngine::rejoinWhileBehind(quint64 ticket) {
    if (ticket != feedTicket_ || !fed_ || !feedBuffer_ ||
        (!rejoining_ && !feedBuffer_->keeping())) {
        return false;
    }
    if (!feedBuffer_->reopen()) {
        return false;
    }
    // At once the first time, then after 1, 2, 4, 8 and every 15 seconds.
    static constexpr std::array<int, 6> kWaits{0, 1, 2, 4, 8, 15};
    if (!rejoining_ && recorder_) {
        recorder_->noteGap();
    }
    const int wait = kWaits.at(std::min<std::size_t>(rejoinAttempts_, kWaits.size() - 1));
    ++rejoinAttempts_;
    rejoining_ = true;
    rejoinTimer_.start(std::chrono::seconds(wait));
    return true;
}

void VlcMediaEngine::rejoin() {
    if (!rejoining_ || !fed_ || !feedBuffer_) {
        return;
    }
    const quint64 ticket = ++feedTicket_;
    QMetaObject::invokeMethod(
        feed_,
        [feed = feed_, ticket, source = entry_.trimmed(), buffer = feedBuffer_] {
            feed->open(ticket, source, buffer);
        },
        Qt::QueuedConnection);
}

}  // namespace lyrevane
