#pragma once

#include <QString>

#include <functional>

namespace lyrevane {

class BrowserPane;
class PlaybackController;
class PromptService;

inline constexpr QStringView kFeatureDisabledMessage = u"Feature disabled.";
inline constexpr QStringView kUnknownCommandMessage = u"Unknown command.";
inline constexpr QStringView kInvalidParametersMessage = u"The command's parameters are invalid.";
inline constexpr QStringView kPageNotAllowedMessage =
    u"This address cannot be opened: only web pages (http or https) are allowed.";
inline constexpr QStringView kMediaNotAllowedMessage =
    u"This address cannot be played: only network streams (http, https, mms, mmsh or rtsp) "
    u"are allowed.";

// Runs "lyrev:" commands from the command line and from the main browser pane.
class CommandProcessor {
public:
    // `unloadMainWindow` closes the main window (running the shutdown) and ends the program.
    CommandProcessor(PromptService& prompts, BrowserPane& mainPane, PlaybackController& playback,
                     std::function<void()> unloadMainWindow);

    // Runs one command. False only for "schedule".
    bool ExecuteCommand(const QString& command, const QString& parameters, bool fromCommandLine);

private:
    void Browse(const QString& parameters);
    void Play(const QString& parameters);
    void BrowseAndPlay(const QString& parameters);
    void Exclaim(QStringView text);

    PromptService& prompts_;
    BrowserPane& mainPane_;
    PlaybackController& playback_;
    std::function<void()> unloadMainWindow_;
};

}  // namespace lyrevane
