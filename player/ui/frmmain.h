#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>

#include "core/playerlayout.h"
#include "core/playersession.h"
#include "dialogs/dialogcontext.h"

class QAction;
class QLabel;
class QSlider;
class QStatusBar;
class QToolButton;
class QWebEngineProfile;
class QWebEngineView;

class QMenu;
class QTimer;

namespace lyrevane {

class DeferredPane;
class MediaEngine;
class PromptService;
class SettingsProvider;
class SkinConfiguration;
class SkinFrame;
class UrlOpener;
class UsageTracker;

// The play bar: a splitter strip that reports mouse moves while a button is held.
class PlayBarStrip final : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    // Called with the button state (1 = left alone) and y relative to the bar's top.
    std::function<void(int buttons, double y)> onDrag;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// The player's main window. Its logic lives in PlayerSession; the window only shows
// what the session sets and hands user actions and browser navigations to it.
class frmMain final : public QMainWindow, public MainWindowSurface, public PlayBarView {
    Q_OBJECT

public:
    struct Services {
        SettingsProvider& settings;
        PromptService& prompts;
        UsageTracker& tracker;
        MediaEngine& engine;
        UrlOpener& urlOpener;
        QWebEngineProfile* profile;
    };

    // Without a profile (`services.profile` null) the window starts without its browser
    // panes: StartUpShownFirst builds them once the window is on screen.
    explicit frmMain(Services services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up; false when the window must not be shown (a command ended the program).
    // `storeProblem`, when not empty, is shown once the window is up.
    bool StartUp(const QString& commandLine, const QString& storeProblem = {});
    // Start-up for a command line that runs quietly (see PlanStart), on a window made
    // without a profile: the window is restored, shown and painted first; then
    // `createProfile` makes the browser profile, the panes are built on it and start-up
    // goes on as StartUp, panes first, then the command. False when the window must not
    // stay: it was closed meanwhile, or a command ended the program.
    bool StartUpShownFirst(const QString& commandLine,
                           const std::function<QWebEngineProfile*()>& createProfile,
                           const QString& storeProblem = {});
    bool CheckMediaURL(const QString& theUrl, bool errorQuietly = false);
    // Local time minus GMT in minutes, now, daylight saving included.
    qint32 GetGMTOffset() const;
    // What the dialogs this window opens may use of the player.
    DialogContext Dialogs();
    // The services the window works with.
    SettingsProvider& Settings() const { return services_.settings; }
    PromptService& Prompts() const { return services_.prompts; }
    UrlOpener& Opener() const { return services_.urlOpener; }
    PlayerSession& Session() { return *session_; }
    // The current skin, shared by reference with the dialogs, which may edit it.
    lyrevane::SkinConfiguration& SkinConfiguration() { return *skin_; }
    // The main window's frame object: its face and text colours dress the dialogs too.
    const SkinFrame& Frame() const { return *frame_; }
    // Where the skin files are; by default next to the program, else in its data folder.
    void SetSkinFolder(const QString& folder) { skinFolder_ = folder; }
    static QString DefaultSkinFolder();
    // After a confirmed Customise Skin: attaches the skin again and repaints the body.
    void ReapplySkin();
    const QString& SkinFolder() const { return skinFolder_; }
    const PlayerLayout& Layout() const { return layout_; }

    // MainWindowSurface
    void SetOuterSize(QSize size) override;
    QSize OuterSize() const override;
    int StatusBarHeight() const override;
    void RestorePlayBar(float playBarBottom) override;
    float PlayBarBottom() const override;
    void SetVolumeSlider(int value) override;
    int VolumeSlider() const override;
    void Close() override;
    // Rebuilds the brokers popup from the store: one entry per broker, each carrying the
    // URL read now; a click opens that copy in the advertisement pane.
    void ReloadOnlineBrokers() override;
    void SetUpSkin() override;
    void SaveSkin() override;

    // PlayBarView
    void SetPlayEnabled(bool enabled) override;
    void SetPauseVisible(bool visible) override;
    void SetStopEnabled(bool enabled) override;
    void SetStatusText(const QString& text) override;
    // Shows the engine's station and title in the status bar and the window's tooltip.
    void UpdateNowPlaying();
    void UpdateLiveMenu();

    QLabel* imgLogo = nullptr;
    QWebEngineView* webBrowser = nullptr;
    PlayBarStrip* picPlayBar = nullptr;
    QWidget* Picture1 = nullptr;
    QToolButton* cmdPlay = nullptr;
    QToolButton* cmdPause = nullptr;
    QToolButton* cmdStop = nullptr;
    QLabel* lblVolume = nullptr;
    QSlider* sldVolume = nullptr;
    QToolButton* cmdHome = nullptr;
    QToolButton* cmdMail = nullptr;
    QToolButton* cmdBrokers = nullptr;
    QWebEngineView* webAd = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QLabel* lblNowPlaying = nullptr;  // station and title, right of the status texts
    QMenu* mnuFile = nullptr;
    QAction* mnuFileBrowseTo = nullptr;
    QAction* mnuFilePlay = nullptr;
    QAction* mnuFileConfigureOnlineBrokers = nullptr;
    QAction* mnuFileBroadcastScheduler = nullptr;
    QAction* mnuFileCustomizeSkin = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuLive = nullptr;
    QAction* mnuLiveCatchUp = nullptr;
    QAction* mnuLiveRecord = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;
    // The brokers button's popup, never shown in the menu bar.
    QMenu* mnuOnlineBrokers = nullptr;
    QList<QAction*> mnuOnlineBrokersEntry;  // run-time entries, in list order
    QAction* mnuOnlineBrokersSep2 = nullptr;
    QAction* mnuOnlineBrokersConfigure = nullptr;
    QAction* mnuOnlineBrokersInfo1 = nullptr;
    // Every 60 seconds: main pane refresh and usage report (see PlayerSession).
    QTimer* timEggTimer = nullptr;

Q_SIGNALS:
    // The window has been closed and its settings saved.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPlayBar();
    void BuildMenu();
    void BuildBrokersMenu();
    // Builds both browser views on `profile`; the panes' waiting navigations reach them.
    void BuildPanes(QWebEngineProfile* profile);
    // Shows the window and has it mapped and painted before the call returns.
    void ShowAndPaint();
    void ApplyLayout();
    void UpdateMinimumSize();
    void RunCommandLater(const QUrl& url);
    void OpenMainPopup(const QUrl& url);
    void OpenAdPopup(const QUrl& url);
    // Paints the body and the play bar's controls in the face colour, loads the logo.
    void ApplySkinColours();
    // File > Customize Skin: on OK the skin is attached again and the body repainted.
    void CustomizeSkin();
    // Shows a problem with a skin file once, after the current call has returned.
    void ReportSkinProblem(const QString& text);

    Services services_;
    QWidget* client_ = nullptr;
    PlayerLayout layout_;
    std::unique_ptr<DeferredPane> mainPane_;
    std::unique_ptr<DeferredPane> adPane_;
    std::unique_ptr<PlayerSession> session_;
    std::unique_ptr<lyrevane::SkinConfiguration> skin_;
    SkinFrame* frame_ = nullptr;
    QString skinFolder_;
    bool logoProblemShown_ = false;
    QStringList skinProblems_;  // waiting to be shown
};

}  // namespace lyrevane
