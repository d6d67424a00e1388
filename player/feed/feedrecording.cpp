#include "feed/feedrecording.h"

#include "feed/feedbuffer.h"
#include "feed/streamrecorder.h"
#include "feed/timeshift.h"

#include <QDateTime>

#include <algorithm>
#include <deque>
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
                             int bytesPerSecond, const QString& title,
                             std::optional<std::uint64_t> from, const TimeShift* programme) {
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
    if (!from) {
        tap(buffer);
        return {};
    }
    // What is kept from there goes first, each title and gap marked where it began.
    std::deque<TimeShift::Entry> marks;
    if (programme != nullptr) {
        for (const TimeShift::Entry& entry : programme->entries()) {
            if (entry.position > *from) {
                marks.push_back(entry);
            }
        }
    }
    StreamRecorder& recording = *recorder_;
    const auto past = [&recording, &marks](std::uint64_t at, QByteArrayView bytes) {
        while (!bytes.isEmpty()) {
            while (!marks.empty() && marks.front().position <= at) {
                if (marks.front().gap) {
                    recording.noteGap();
                } else {
                    recording.noteTitle(marks.front().title);
                }
                marks.pop_front();
            }
            const qsizetype n =
                marks.empty() ? bytes.size()
                              : static_cast<qsizetype>(std::min<std::uint64_t>(
                                    marks.front().position - at, std::uint64_t(bytes.size())));
            recording.write(bytes.first(n));
            at += static_cast<std::uint64_t>(n);
            bytes = bytes.sliced(n);
        }
    };
    buffer.setTapFrom(*from, past,
                      [recorder = recorder_](QByteArrayView audio) { recorder->write(audio); });
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
