// What the feed reads beyond live: recording it as it arrives, and following what is heard of
// it (its title, how far behind live).
#include "vlc/vlcmediaengine.h"

#include <QStandardPaths>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QString VlcMediaEngine::recordRefusal() const {
    return FeedRecording::refusal(opener_->fed(),
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
    const QString& station = metadata_.station();
    const QString name = station.isEmpty() ? QUrl(opener_->entry()).host() : station;
    const QString why = recording_.start(folder, name, *opener_->fed(), pacing_.bytesPerSecond(),
                                         metadata_.title());
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
    const QString why = recording_.stop(opener_->buffer());
    metadata_.recordingStopped();
    if (!why.isEmpty()) {
        Q_EMIT recordingMessage(why);
    }
}

void VlcMediaEngine::governCushion() {
    FeedBuffer* const buffer = opener_->fed();
    if (buffer == nullptr) {
        cushionTimer_.stop();
        return;
    }
    followAudioHeard();
    if (machine_.phase() != PlayStateMachine::Phase::Playing) {
        return;
    }
    pacing_.look(*player_, *buffer);
}

void VlcMediaEngine::followAudioHeard() {
    FeedBuffer* const buffer = opener_->fed();
    if (buffer == nullptr) {
        return;
    }
    if (const std::optional<QString> title = shift_.titleAt(buffer->position())) {
        metadata_.set(metadata_.station(), *title);
    }
    metadata_.showSeconds(std::chrono::duration_cast<std::chrono::seconds>(shift_.behind()).count(),
                          recordingSeconds());
    if (const QString error = recording_.untoldError(); !error.isEmpty()) {
        Q_EMIT recordingMessage(error);
    }
    if (!keptAllTold_ && buffer->keptAll()) {
        keptAllTold_ = true;
        Q_EMIT recordingMessage(
            u"No more of the programme can be kept while it is paused: "_s + timeShiftFolder() +
            u" cannot be written, or its disk is nearly full. Play goes on from where it was."_s);
    }
}

}  // namespace lyrevane
