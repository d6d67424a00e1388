#include "core/playbackcontroller.h"

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
            return u"Undefined state (1)"_s;
        case MediaEngine::PlaylistConnecting:
            return u"Retrieving playlist..."_s;
        case MediaEngine::MediaConnecting:
            return u"Connecting to media..."_s;
        default:
            return std::nullopt;
    }
}

std::optional<QString> PlaybackController::PlayStateText(int state) {
    switch (state) {
        case MediaEngine::PlayUndefined:
            return u"Undefined state (2)"_s;
        case MediaEngine::Stopped:
            return u"Stopped."_s;
        case MediaEngine::Playing:
            return u"Playing."_s;
        case MediaEngine::Buffering:
            return u"Buffering..."_s;
        case MediaEngine::MediaEnded:
            return u"Done."_s;
        case MediaEngine::Ready:
            return u"Ready to play."_s;
        default:
            return std::nullopt;
    }
}

QString PlaybackController::ErrorMessage(const QString& description) {
    return u"A Windows Media Player error has occured."_s + u"\r\n"_s + u"Desription: "_s +
           description;
}

}  // namespace lyrevane
