#include "vlc/feedrecording.h"

#include "net/feedbuffer.h"
#include "net/streamrecorder.h"

#include <QDateTime>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

FeedRecording::~FeedRecording() {
    if (recorder_) {
        recorder_->finish();
    }
}

QString FeedRecording::refusal(const FeedBuffer* buffer, bool playing) {
    if (buffer == nullptr || !playing) {
        return u"Only a live stream that is playing can be recorded."_s;
    }
    if (StreamRecorder::extensionFor(buffer->contentType()).isEmpty()) {
        return u"This stream's format cannot be recorded; MP3, AAC, Ogg and Opus streams can."_s;
    }
    return {};
}

QString FeedRecording::start(const QString& folder, const QString& name, FeedBuffer& buffer,
                             int bytesPerSecond, const QString& title) {
    auto recorder = std::make_shared<StreamRecorder>();
    const QString why =
        recorder->start(folder, name, StreamRecorder::extensionFor(buffer.contentType()),
                        QDateTime::currentDateTime(), bytesPerSecond);
    if (!why.isEmpty()) {
        return why;
    }
    recorder_ = std::move(recorder);
    told_.clear();
    recorder_->noteTitle(title);
    tap(buffer);
    return {};
}

QString FeedRecording::stop(FeedBuffer* buffer) {
    if (!recorder_) {
        return {};
    }
    if (buffer != nullptr) {
        buffer->setTap({});
    }
    const QString why = std::exchange(recorder_, nullptr)->finish();
    return why != told_ ? why : QString();
}

qint64 FeedRecording::seconds() const {
    return recorder_ ? recorder_->seconds() : -1;
}

void FeedRecording::tap(FeedBuffer& buffer) {
    if (recorder_) {
        buffer.setTap([recorder = recorder_](QByteArrayView audio) { recorder->write(audio); });
    }
}

void FeedRecording::noteGap() {
    if (recorder_) {
        recorder_->noteGap();
    }
}

void FeedRecording::noteTitle(const QString& title) {
    if (recorder_) {
        recorder_->noteTitle(title);
    }
}

QString FeedRecording::untoldError() {
    if (!recorder_ || recorder_->error().isEmpty() || recorder_->error() == told_) {
        return {};
    }
    told_ = recorder_->error();
    return told_;
}

}  // namespace lyrevane
