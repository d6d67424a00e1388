#include "core/playbackcontroller.h"

#include <QCoreApplication>

#include "engine/mediaengine.h"
#include "platform/promptservice.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

PlaybackController::PlaybackController(MediaEngine& engine, PlayBarView& view,
                                       PromptService& prompts)
    : engine_(engine), view_(view), prompts_(prompts) {
    openConnection_ = QObject::connect(&engine_, &MediaEngine::openStateChanged, &engine_,
                                       [this](int state) { onOpenStateChanged(state); });
    playConnection_ = QObject::connect(&engine_, &MediaEngine::playStateChanged, &engine_,
                                       [this](int state) { onPlayStateChanged(state); });
    errorConnection_ =
        QObject::connect(&engine_, &MediaEngine::errorOccurred, &engine_, [this] { onError(); });
}

PlaybackController::~PlaybackController() {
    QObject::disconnect(openConnection_);
    QObject::disconnect(playConnection_);
    QObject::disconnect(errorConnection_);
}

void PlaybackController::updatePlayButtons() {
    view_.setPlayEnabled(engine_.isAvailable(MediaEngine::Control::Play));
    view_.setPauseVisible(engine_.isAvailable(MediaEngine::Control::Pause));
    view_.setStopEnabled(engine_.isAvailable(MediaEngine::Control::Stop));
}

// The buttons do not change themselves: the engine's state events that follow do.
void PlaybackController::playClicked() {
    engine_.play();
}
void PlaybackController::pauseClicked() {
    engine_.pause();
}
void PlaybackController::stopClicked() {
    engine_.stop();
}

void PlaybackController::volumeChanged(int value) {
    engine_.setVolume(value);
}

void PlaybackController::playFromInputBox() {
    const std::optional<QString> answer = prompts_.inputBox(kPlayPrompt.toString(), QString());
    if (!answer || answer->isEmpty()) {
        return;
    }
    if (checkMediaURL(*answer, prompts_)) {
        openMedia(*answer);
    }
}

void PlaybackController::openMedia(const QString& url) {
    engine_.setUrl(url);
    updatePlayButtons();
}

void PlaybackController::onOpenStateChanged(int state) {
    updatePlayButtons();
    if (const auto text = openStateText(state)) {
        view_.setStatusText(*text);
    }
}

void PlaybackController::onPlayStateChanged(int state) {
    updatePlayButtons();
    if (const auto text = playStateText(state)) {
        view_.setStatusText(*text);
    }
}

void PlaybackController::onError() {
    const int count = engine_.errorCount();
    const QString description = count > 0 ? engine_.errorDescription(count - 1) : QString();
    updatePlayButtons();
    QMetaObject::invokeMethod(
        &messageTarget_,
        [this, description] {
            prompts_.showMessage(errorMessage(description), MessageIcon::Exclamation);
        },
        Qt::QueuedConnection);
}

std::optional<QString> PlaybackController::openStateText(int state) {
    switch (state) {
        case MediaEngine::OpenUndefined:
            return QCoreApplication::translate("PlaybackController", "Undefined state (1)");
        case MediaEngine::PlaylistConnecting:
            return QCoreApplication::translate("PlaybackController", "Retrieving playlist...");
        case MediaEngine::MediaConnecting:
            return QCoreApplication::translate("PlaybackController", "Connecting to media...");
        default:
            return std::nullopt;
    }
}

std::optional<QString> PlaybackController::playStateText(int state) {
    switch (state) {
        case MediaEngine::PlayUndefined:
            return QCoreApplication::translate("PlaybackController", "Undefined state (2)");
        case MediaEngine::Stopped:
            return QCoreApplication::translate("PlaybackController", "Stopped.");
        case MediaEngine::Playing:
            return QCoreApplication::translate("PlaybackController", "Playing.");
        case MediaEngine::Buffering:
            return QCoreApplication::translate("PlaybackController", "Buffering...");
        case MediaEngine::MediaEnded:
            return QCoreApplication::translate("PlaybackController", "Done.");
        case MediaEngine::Ready:
            return QCoreApplication::translate("PlaybackController", "Ready to play.");
        default:
            return std::nullopt;
    }
}

QString PlaybackController::errorMessage(const QString& description) {
    return QCoreApplication::translate("PlaybackController",
                                       "A Windows Media Player error has occured.") +
           u"\r\n"_s +
           QCoreApplication::translate("PlaybackController", "Desription: %1").arg(description);
}

}  // namespace lyrevane
