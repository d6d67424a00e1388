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
                                       [this](int state) { OnOpenStateChanged(state); });
    playConnection_ = QObject::connect(&engine_, &MediaEngine::playStateChanged, &engine_,
                                       [this](int state) { OnPlayStateChanged(state); });
    errorConnection_ =
        QObject::connect(&engine_, &MediaEngine::errorOccurred, &engine_, [this] { OnError(); });
}

PlaybackController::~PlaybackController() {
    QObject::disconnect(openConnection_);
    QObject::disconnect(playConnection_);
    QObject::disconnect(errorConnection_);
}

void PlaybackController::UpdatePlayButtons() {
    view_.SetPlayEnabled(engine_.isAvailable(MediaEngine::Control::Play));
    view_.SetPauseVisible(engine_.isAvailable(MediaEngine::Control::Pause));
    view_.SetStopEnabled(engine_.isAvailable(MediaEngine::Control::Stop));
}

// The buttons do not change themselves: the engine's state events that follow do.
void PlaybackController::PlayClicked() {
    engine_.play();
}
void PlaybackController::PauseClicked() {
    engine_.pause();
}
void PlaybackController::StopClicked() {
    engine_.stop();
}

void PlaybackController::VolumeChanged(int value) {
    engine_.setVolume(value);
}

void PlaybackController::PlayFromInputBox() {
    const std::optional<QString> answer = prompts_.InputBox(kPlayPrompt.toString(), QString());
    if (!answer || answer->isEmpty()) {
        return;
    }
    if (CheckMediaURL(*answer, prompts_)) {
        OpenMedia(*answer);
    }
}

void PlaybackController::OpenMedia(const QString& url) {
    engine_.setUrl(url);
    UpdatePlayButtons();
}

void PlaybackController::OnOpenStateChanged(int state) {
    UpdatePlayButtons();
    if (const auto text = OpenStateText(state)) {
        view_.SetStatusText(*text);
    }
}

void PlaybackController::OnPlayStateChanged(int state) {
    UpdatePlayButtons();
    if (const auto text = PlayStateText(state)) {
        view_.SetStatusText(*text);
    }
}

void PlaybackController::OnError() {
    const int count = engine_.errorCount();
    const QString description = count > 0 ? engine_.errorDescription(count - 1) : QString();
    UpdatePlayButtons();
    QMetaObject::invokeMethod(
        &messageTarget_,
        [this, description] {
            prompts_.ShowMessage(ErrorMessage(description), MessageIcon::Exclamation);
        },
        Qt::QueuedConnection);
}

std::optional<QString> PlaybackController::OpenStateText(int state) {
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

std::optional<QString> PlaybackController::PlayStateText(int state) {
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

QString PlaybackController::ErrorMessage(const QString& description) {
    return QCoreApplication::translate("PlaybackController",
                                       "A Windows Media Player error has occured.") +
           u"\r\n"_s +
           QCoreApplication::translate("PlaybackController", "Desription: %1").arg(description);
}

}  // namespace lyrevane
