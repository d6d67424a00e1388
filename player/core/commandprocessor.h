#pragma once

#include <QString>

#include <functional>

#include "rules/commandplan.h"

namespace lyrevane {

class BrowserPane;
class PlaybackController;
class PromptService;

// Runs "lyrev:" commands from the command line and from the main browser pane.
class CommandProcessor {
public:
    // `unloadMainWindow` closes the main window (running the shutdown) and ends the program.
    CommandProcessor(PromptService& prompts, BrowserPane& mainPane, PlaybackController& playback,
                     std::function<void()> unloadMainWindow);

    // Runs one command. False only for "schedule".
    bool executeCommand(const QString& command, const QString& parameters, bool fromCommandLine);

private:
    void exclaim(QStringView text);

    PromptService& prompts_;
    BrowserPane& mainPane_;
    PlaybackController& playback_;
    std::function<void()> unloadMainWindow_;
};

}  // namespace lyrevane
