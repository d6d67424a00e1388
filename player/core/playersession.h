#pragma once

#include <QSize>
#include <QString>

#include "core/commandprocessor.h"
#include "core/playbackcontroller.h"
#include "core/playersettings.h"
#include "core/usagetracking.h"

namespace lyrevane {

class BrowserPane;
class MediaEngine;
class PromptService;
class SettingsProvider;
class UsageTracker;

// The main window's parts that start-up restores and shutdown saves.
class MainWindowSurface {
public:
    virtual ~MainWindowSurface() = default;
    // Outer window size in pixels.
    virtual void setOuterSize(QSize size) = 0;
    virtual QSize outerSize() const = 0;
    virtual int statusBarHeight() const = 0;
    // Places the play bar `playBarBottom` pixels above the client's bottom edge and lays
    // the panes out by one splitter drag at the bar's middle.
    virtual void restorePlayBar(float playBarBottom) = 0;
    virtual float playBarBottom() const = 0;
    // Sets the volume slider without running its change handler.
    virtual void setVolumeSlider(int value) = 0;
    virtual int volumeSlider() const = 0;
    // Closes the window for good; the program ends with it.
    virtual void closeWindow() = 0;
    // Rebuilds the brokers menu from the store.
    virtual void reloadOnlineBrokers() = 0;
    // Skin set-up: the skin settings read, the frame attached, the body painted in the
    // face colour and the logo loaded. Runs first in start-up.
    virtual void setUpSkin() {}
    // Writes the skin settings; runs in shutdown before the window settings are saved.
    virtual void saveSkin() {}
};

// Everything the main window does besides drawing itself: start-up, shutdown, playback
// and commands. Owns the playback controller and the command processor.
class PlayerSession {
public:
    struct Services {
        SettingsProvider& settings;
        PromptService& prompts;
        UsageTracker& tracker;
        MediaEngine& engine;
    };

    PlayerSession(Services services, MainWindowSurface& surface, PlayBarView& playBar,
                  BrowserPane& mainPane, BrowserPane& adPane);
    PlayerSession(const PlayerSession&) = delete;
    PlayerSession& operator=(const PlayerSession&) = delete;

    // The first part of start-up, which reaches neither the panes nor the command line:
    // skin, window size, play bar, brokers menu and volume. Runs once; startUp runs it
    // when it has not run yet.
    void restoreWindow();
    // Restores the window, opens the panes and runs `commandLine` (all program arguments
    // joined by single spaces). Returns false when a command unloaded the window: it must
    // then not be shown.
    bool startUp(const QString& commandLine);
    // Saves the window settings; runs once, whatever closes the window.
    void shutDown();
    // Shuts down and closes the window.
    void unload();
    bool isUnloaded() const { return unloaded_; }
    bool isShutDown() const { return shutDown_; }

    // One tick of the 60-second egg timer: refreshes the main pane every 5 ticks and
    // reports usage every 2.
    void eggTimerTick() { eggTimer_.tick(); }
    // File > Browse To...: asks for an address and opens it in the main pane as typed.
    void browseTo();

    const PortalConfig& portal() const { return portal_; }
    PlaybackController& playback() { return playback_; }
    CommandProcessor& commands() { return commands_; }

private:
    Services services_;
    MainWindowSurface& surface_;
    BrowserPane& mainPane_;
    BrowserPane& adPane_;
    PortalConfig portal_;
    PlaybackController playback_;
    CommandProcessor commands_;
    EggTimerCounters eggTimer_;
    bool restored_ = false;
    bool shutDown_ = false;
    bool unloaded_ = false;
};

}  // namespace lyrevane
