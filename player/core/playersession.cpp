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
      portal_(PortalConfig::load(services.settings)),
      playback_(services.engine, playBar, services.prompts),
      commands_(services.prompts, mainPane, playback_, [this] { unload(); }),
      eggTimer_([this] { mainPane_.refresh(); }, [this] { services_.tracker.trackUsage(); }) {}

void PlayerSession::restoreWindow() {
    if (restored_) {
        return;
    }
    restored_ = true;
    surface_.setUpSkin();
    const WindowSettings stored = WindowSettings::load(services_.settings);

    surface_.setOuterSize(stored.size);
    surface_.restorePlayBar(stored.playBarBottom.value_or(float(surface_.statusBarHeight() + 94)));
    surface_.reloadOnlineBrokers();

    surface_.setVolumeSlider(stored.volume);
    playback_.volumeChanged(surface_.volumeSlider());
}

bool PlayerSession::startUp(const QString& commandLine) {
    restoreWindow();

    mainPane_.navigate(portal_.startPageUrl());
    adPane_.navigate(portal_.adPageUrl());

    if (commandLine.isEmpty()) {
        services_.tracker.trackUsage();
    } else if (const std::optional<CommandUrl> command = matchCommandUrl(commandLine)) {
        if (commands_.executeCommand(command->command, command->parameters, true)) {
            services_.tracker.trackUsage();
        }
    }
    // A window closed during start-up (a command, or a stop request while a message
    // box was open) has run its shutdown already: it must not be shown.
    return !unloaded_ && !shutDown_;
}

void PlayerSession::browseTo() {
    const std::optional<QString> answer = services_.prompts.inputBox(
        QCoreApplication::translate("PlayerSession",
                                    "Type in the URL you would like to browse to."),
        portal_.homePageUrl());
    if (answer && !answer->isEmpty()) {
        // As typed: a "lyrev:" answer is caught by the main pane and run as a command.
        mainPane_.navigate(*answer);
    }
}

void PlayerSession::shutDown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    surface_.saveSkin();
    WindowSettings current;
    current.size = surface_.outerSize();
    current.playBarBottom = surface_.playBarBottom();
    current.volume = surface_.volumeSlider();
    current.save(services_.settings);
}

void PlayerSession::unload() {
    shutDown();
    unloaded_ = true;
    surface_.closeWindow();
}

}  // namespace lyrevane
