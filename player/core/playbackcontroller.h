#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <optional>

namespace lyrevane {

class MediaEngine;
class PromptService;

// The play bar and status bar as the playback logic sets them.
class PlayBarView {
public:
    virtual ~PlayBarView() = default;
    virtual void setPlayEnabled(bool enabled) = 0;
    virtual void setPauseVisible(bool visible) = 0;
    virtual void setStopEnabled(bool enabled) = 0;
    virtual void setStatusText(const QString& text) = 0;
};

inline constexpr QStringView kPlayPrompt =
    u"Type in the URL of the audio stream you would like to play.";

// Drives the media engine from the play bar and reports the engine's events on the
// play bar and status bar. The engine's state is the only playback state.
class PlaybackController {
public:
    PlaybackController(MediaEngine& engine, PlayBarView& view, PromptService& prompts);
    ~PlaybackController();
    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

    // Follows the engine's available controls.
    void updatePlayButtons();

    void playClicked();
    void pauseClicked();
    void stopClicked();
    // The volume slider's change and scroll handler.
    void volumeChanged(int value);
    // File > Play...: asks for a URL and plays it as typed when the source is allowed.
    void playFromInputBox();
    // Hands an already screened URL to the engine (which starts it), then follows it.
    void openMedia(const QString& url);

    void onOpenStateChanged(int state);
    void onPlayStateChanged(int state);
    // Refreshes the buttons at once; the message box opens after the engine's call that
    // reported the error has returned (a modal box must not run inside the engine).
    void onError();

    // Status texts for engine states; nullopt leaves the status text as it is.
    static std::optional<QString> openStateText(int state);
    static std::optional<QString> playStateText(int state);
    static QString errorMessage(const QString& description);

private:
    MediaEngine& engine_;
    PlayBarView& view_;
    PromptService& prompts_;
    QMetaObject::Connection openConnection_;
    QMetaObject::Connection playConnection_;
    QMetaObject::Connection errorConnection_;
    // Receives the posted error messages; gone with the controller, and so are they.
    QObject messageTarget_;
};

}  // namespace lyrevane
