#include "core/playersession.h"

#include <QCoreApplication>

#include "platform/platform.h"
#include "platform/promptservice.h"
#include "rules/commandurl.h"

namespace lyrevane {

PlayerSession::PlayerSession(Services services, MainWindowSurface& surface, PlayBarView& playBar,
                             BrowserPane& mainPane, BrowserPane& adPane)
    : services_(services),
      surface_(surface),
      mainPane_(mainPane),
      adPane_(adPane),
      portal_(PortalConfig::Load(services.settings)),
      playback_(services.engine, playBar, services.prompts),
      commands_(services.prompts, mainPane, playback_, [this] { Unload(); }),
      eggTimer_([this] { mainPane_.Refresh(); }, [this] { services_.tracker.TrackUsage(); }) {}

void PlayerSession::RestoreWindow() {
    if (restored_) {
        return;
    }
    restored_ = true;
    surface_.SetUpSkin();
    const WindowSettings stored = WindowSettings::Load(services_.settings);

    surface_.SetOuterSize(stored.size);
    surface_.RestorePlayBar(stored.playBarBottom.value_or(float(surface_.StatusBarHeight() + 94)));
    surface_.ReloadOnlineBrokers();

    surface_.SetVolumeSlider(stored.volume);
    playback_.VolumeChanged(surface_.VolumeSlider());
}

bool PlayerSession::StartUp(const QString& commandLine) {
    RestoreWindow();

    mainPane_.Navigate(portal_.StartPageUrl());
    adPane_.Navigate(portal_.AdPageUrl());

    if (commandLine.isEmpty()) {
        services_.tracker.TrackUsage();
    } else if (const std::optional<CommandUrl> command = MatchCommandUrl(commandLine)) {
        if (commands_.ExecuteCommand(command->command, command->parameters, true)) {
            services_.tracker.TrackUsage();
        }
    }
    // A window closed during start-up (a command, or a stop request while a message
    // box was open) has run its shutdown already: it must not be shown.
    return !unloaded_ && !shutDown_;
}

void PlayerSession::BrowseTo() {
    const std::optional<QString> answer = services_.prompts.InputBox(
        QCoreApplication::translate("PlayerSession",
                                    "Type in the URL you would like to browse to."),
        portal_.HomePageUrl());
    if (answer && !answer->isEmpty()) {
        // As typed: a "lyrev:" answer is caught by the main pane and run as a command.
        mainPane_.Navigate(*answer);
    }
}

void PlayerSession::ShutDown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    surface_.SaveSkin();
    WindowSettings current;
    current.size = surface_.OuterSize();
    current.playBarBottom = surface_.PlayBarBottom();
    current.volume = surface_.VolumeSlider();
    current.Save(services_.settings);
}

void PlayerSession::Unload() {
    ShutDown();
    unloaded_ = true;
    surface_.Close();
}

}  // namespace lyrevane
