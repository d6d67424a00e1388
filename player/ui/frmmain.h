#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

#include "core/playerlayout.h"
#include "core/playersession.h"
#include "dialogs/dialogcontext.h"
#include "ui/mainmenus.h"
#include "ui/playbar.h"
#include "ui/statusline.h"
#include "ui/windowskin.h"

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QStatusBar;
class QTimer;
class QToolButton;
class QWebEngineProfile;
class QWebEngineView;

namespace lyrevane {

class MediaEngine;
class PromptService;
class SettingsProvider;
class SkinConfiguration;
class SkinFrame;
class UrlOpener;
class UsageTracker;
class WindowPanes;
class frmRundown;

// The player's main window. Its logic lives in PlayerSession; the window only shows
// what the session sets and hands user actions and browser navigations to it. It is
// made of the play bar, the status line, the menus, the browser panes and the skin.
class frmMain final : public QMainWindow, public MainWindowSurface, public PlayBarView {
    Q_OBJECT

public:
    struct Services {
        PlayerSession::Services session;  // the settings, prompts and engine are shared with it
        UrlOpener& urlOpener;
        QWebEngineProfile* profile;
    };

    // Without a profile (`services.profile` null) the window starts without its browser
    // panes: startUpShownFirst builds them once the window is on screen.
    explicit frmMain(Services services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up; false when the window must not be shown (a command ended the program).
    // `storeProblem`, when not empty, is shown once the window is up.
    bool startUp(const QString& commandLine, const QString& storeProblem = {});
    // Start-up for a command line that runs quietly (see planStart), on a window made
    // without a profile: the window is restored, shown and painted first; then
    // `createProfile` makes the browser profile, the panes are built on it and start-up
    // goes on as startUp, panes first, then the command. False when the window must not
    // stay: it was closed meanwhile, or a command ended the program.
    bool startUpShownFirst(const QString& commandLine,
                           const std::function<QWebEngineProfile*()>& createProfile,
                           const QString& storeProblem = {});
    bool checkMediaURL(const QString& theUrl, bool errorQuietly = false);
    // Local time minus GMT in minutes, now, daylight saving included.
    qint32 getGMTOffset() const;
    // What the dialogs this window opens may use of the player.
    DialogContext dialogs();
    // The services the window works with.
    SettingsProvider& settings() const { return services_.session.settings; }
    PromptService& prompts() const { return services_.session.prompts; }
    UrlOpener& opener() const { return services_.urlOpener; }
    PlayerSession& session() { return *session_; }
    // The current skin, shared by reference with the dialogs, which may edit it.
    lyrevane::SkinConfiguration& skinConfiguration() { return skin_->configuration(); }
    // The main window's frame object: its face and text colours dress the dialogs too.
    const SkinFrame& frame() const { return skin_->frame(); }
    // Where the skin files are; by default next to the program, else in its data folder.
    // After a confirmed Customise Skin: attaches the skin again and repaints the body.
    void reapplySkin();
    const PlayerLayout& playerLayout() const { return layout_; }

    // MainWindowSurface
    void setOuterSize(QSize size) override;
    QSize outerSize() const override { return size(); }
    int statusBarHeight() const override { return status_->height(); }
    void restorePlayBar(float playBarBottom) override;
    float playBarBottom() const override { return layout_.playBarBottom(); }
    void setVolumeSlider(int value) override { playBar_->setVolume(value); }
    int volumeSlider() const override { return playBar_->volume(); }
    void closeWindow() override { close(); }
    // Rebuilds the brokers popup from the store: one entry per broker, each carrying the
    // URL read now; a click opens that copy in the advertisement pane.
    void reloadOnlineBrokers() override;
    void setUpSkin() override;
    void saveSkin() override { skin_->save(); }

    // PlayBarView
    void setPlayEnabled(bool enabled) override { playBar_->setPlayEnabled(enabled); }
    void setPauseVisible(bool visible) override { playBar_->setPauseVisible(visible); }
    void setStopEnabled(bool enabled) override { playBar_->setStopEnabled(enabled); }
    void setStatusText(const QString& text) override { status_->setStatusText(text); }
    // Shows the engine's station and title in the status bar and the window's tooltip.
    void updateNowPlaying();
    void updateLiveMenu() { menus_->updateLive(); }
    // Opens the Programme Rundown, or brings it to the front.
    void showRundown();
    frmRundown* rundown() const;
    // The volume slider, whose moves the desktop's player service follows.
    const QSlider* volumeControl() const;

Q_SIGNALS:
    // The window has been closed and its settings saved.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's own widgets, known outside by their object names.
    QLabel* imgLogo = nullptr;
    QWebEngineView* webBrowser = nullptr;
    QWebEngineView* webAd = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QLabel* lblNowPlaying = nullptr;  // station and title, right of the status texts
    // Every 60 seconds: main pane refresh and usage report (see PlayerSession).
    QTimer* timEggTimer = nullptr;

    void buildPlayBar();
    // The status line, and the engine's news that it and the Live menu show.
    void buildStatusLine();
    void connectPlayBar();
    void buildMenus();
    // Builds both browser views on `profile`; the panes' waiting navigations reach them.
    void buildPanes(QWebEngineProfile* profile);
    // Shows the window and has it mapped and painted before the call returns.
    void showAndPaint();
    void applyLayout();
    void updateMinimumSize();
    void runCommandLater(const QUrl& url);
    // Paints the body and the play bar's controls in the face colour, loads the logo.
    void applySkinColours();
    // File > Customize Skin: on OK the skin is attached again and the body repainted.
    void customizeSkin();

    Services services_;
    QWidget* client_ = nullptr;
    PlayerLayout layout_;
    std::unique_ptr<WindowSkin> skin_;
    std::unique_ptr<PlayBar> playBar_;
    std::unique_ptr<StatusLine> status_;
    std::unique_ptr<WindowPanes> panes_;
    std::unique_ptr<PlayerSession> session_;
    std::unique_ptr<MainMenus> menus_;
    QPointer<frmRundown> rundown_;  // while open
};

}  // namespace lyrevane
