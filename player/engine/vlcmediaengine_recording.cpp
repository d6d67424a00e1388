// Recording what the feed reads, as it arrives.
#include "vlcmediaengine.h"

#include <QStandardPaths>
#include <QUrl>

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

}  // namespace lyrevane
