// The Lyrevane player, loaded by the small `Lyrevane` program once it has caught the stop
// signals and connected to the command line's stream.
#include <QApplication>
#include <QDBusConnection>
#include <QEventLoop>
#include <QIcon>
#include <QLoggingCategory>
#include <QQuickWindow>
#include <QSlider>
#include <QTimer>
#include <QTranslator>
#include <QWebEngineProfile>

#include <malloc.h>

#include <chrono>
#include <memory>
#include <utility>

#include "common/busnames.h"
#include "common/settingsstore.h"
#include "common/translation.h"
#include "core/playersettings.h"
#include "core/usagetracking.h"
#include "desktop/mprisservice.h"
#include "desktop/sleepinhibitor.h"
#include "early/terminationwatcher.h"
#include "launcher/launchhandoff.h"
#include "net/movedproxy.h"
#include "platform/platform.h"
#include "rules/commandplan.h"
#include "ui/desktopservices.h"
#include "ui/frmmain.h"
#include "ui/qthttpclient.h"
#include "ui/webpanes.h"

#ifdef LYREVANE_HAVE_VLC_ENGINE
#include "vlc/vlcmediaengine.h"
#else
#include "engine/silentmediaengine.h"
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

#ifdef LYREVANE_HAVE_VLC_ENGINE
using PlayerEngine = lyrevane::VlcMediaEngine;
#else
using PlayerEngine = lyrevane::SilentMediaEngine;
#endif

// The browser engine's start takes both cores of a small machine for a few hundred
// milliseconds; a stream that is opening gets them first. The window is on screen and
// handles input meanwhile; closing it ends the wait. Bounded: a slow stream does not hold
// the pages back for long.
void WaitForFirstSound(const lyrevane::MediaEngine& engine, const lyrevane::frmMain& window) {
    constexpr int kMaxWaitMs = 1500;
    const auto opening = [&engine] {
        const int state = engine.playState();
        return state == lyrevane::MediaEngine::Transitioning ||
               state == lyrevane::MediaEngine::Buffering || state == lyrevane::MediaEngine::Waiting;
    };
    if (!opening() || !window.isVisible()) {
        return;
    }
    QEventLoop wait;
    QObject::connect(&engine, &lyrevane::MediaEngine::playStateChanged, &wait, [&] {
        if (!opening()) {
            wait.quit();
        }
    });
    QObject::connect(&window, &lyrevane::frmMain::unloaded, &wait, &QEventLoop::quit);
    QTimer::singleShot(kMaxWaitMs, &wait, &QEventLoop::quit);
    wait.exec();
}

// What the desktop's media controls do: the play bar's and the window's handlers. MPRIS holds
// its requests until the window has started up, so they find it.
lyrevane::MprisActions WindowActions(lyrevane::frmMain*& window) {
    const auto withPlayback = [&window](auto action) {
        return [&window, action](auto... arguments) {
            if (window != nullptr) {
                action(window->session().playback(), arguments...);
            }
        };
    };
    const auto withWindow = [&window](auto action) {
        return [&window, action] {
            if (window != nullptr) {
                action(*window);
            }
        };
    };
    using Playback = lyrevane::PlaybackController;
    return {.play = withPlayback([](Playback& p) { p.playClicked(); }),
            .pause = withPlayback([](Playback& p) { p.pauseClicked(); }),
            .stop = withPlayback([](Playback& p) { p.stopClicked(); }),
            .setVolume =
                [&window](int volume) {
                    if (window != nullptr) {
                        window->setVolumeSlider(volume);
                        window->session().playback().volumeChanged(volume);
                    }
                },
            .raise = withWindow([](lyrevane::frmMain& shown) {
                shown.showNormal();
                shown.raise();
                shown.activateWindow();
            }),
            .quit = withWindow([](lyrevane::frmMain& shown) { shown.close(); }),
            .openUri = withPlayback([](Playback& p, const QString& url) { p.openMedia(url); })};
}

// The software scene graph, when the program chose it (drawingenvironment::prepare).
void DrawInSoftware(const lyrevane::drawingenvironment::Choice& drawing) {
    if (!drawing.software) {
        return;
    }
    QQuickWindow::setSceneGraphBackend(u"software"_s);
    // The browser engine reports its unusual set-up at every start; nothing is wrong.
    QLoggingCategory::setFilterRules(u"qt.webenginecontext.info=false"_s);
}

// What must be in place before the application object: the stop-signal handlers (installed by
// the program already; here when it could not), the browser's "lyrev:" scheme, how the window
// draws, the toolkit's shared OpenGL contexts (for whoever chose OpenGL).
void PrepareProcess(const lyrevane::drawingenvironment::Choice& drawing) {
    lyrevane::TerminationWatcher::installHandlers();
    lyrevane::registerCommandScheme();
    DrawInSoftware(drawing);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void NameApplication() {
    QApplication::setApplicationName(u"Lyrevane"_s);
    QApplication::setDesktopFileName(lyrevane::busnames::kDesktopFileId.toString());
    QApplication::setWindowIcon(QIcon::fromTheme(u"lyrevane"_s, QIcon(u":/lyrevane-256.png"_s)));
    // The program ends when the main window is unloaded, not when a message box closes.
    QApplication::setQuitOnLastWindowClosed(false);
}

// The stream starts first, while the window and the browser engine start, on the request the
// program made; what it reports is told once the command line's "play" adopts it, in the order
// it happened.
void PrestartStream([[maybe_unused]] PlayerEngine& engine,
                    [[maybe_unused]] const lyrevane::StartPlan& plan,
                    [[maybe_unused]] lyrevane::LaunchHandoff& handoff) {
#ifdef LYREVANE_HAVE_VLC_ENGINE
    if (plan.quiet && !plan.media.isEmpty()) {
        engine.prestart(plan.media, std::move(handoff.early));
    }
#endif
}

// What the window works with besides the engine. Everything reads the store on the
// user-interface thread: a file that another program holds locked costs one short wait, then
// the defaults.
struct WindowServices {
    WindowServices()
        : tracker(http, [this] {
              store.setBusyTimeouts(lyrevane::SqliteSettingsStore::kInteractiveTimeouts);
              return lyrevane::PortalConfig::load(store).baseUrl;
          }()) {}

    lyrevane::SqliteSettingsStore store;
    lyrevane::DialogPromptService prompts;
    lyrevane::DesktopUrlOpener urlOpener;
    // Reports go to the portal's tracker, asynchronously: the window never waits for them.
    lyrevane::QtHttpClient http;
    lyrevane::PortalUsageTracker tracker;
};

// The window's start-up. A quiet start shows the window before the browser engine starts (the
// command line's stream gets the machine first); otherwise its message boxes come first and
// the window is built whole. False when the window must not be shown.
bool StartWindow(lyrevane::frmMain& window, PlayerEngine& engine, const lyrevane::StartPlan& plan,
                 const QString& commandLine, const QString& storeProblem,
                 std::unique_ptr<QWebEngineProfile>& profile) {
    const auto createProfile = [&profile, &engine, &plan, &window] {
        if (!plan.media.isEmpty()) {
            WaitForFirstSound(engine, window);
        }
        profile.reset(lyrevane::createPlayerProfile(nullptr));
        return profile.get();
    };
    const bool started = plan.quiet
                             ? window.startUpShownFirst(commandLine, createProfile, storeProblem)
                             : window.startUp(commandLine, storeProblem);
#ifdef LYREVANE_HAVE_VLC_ENGINE
    engine.endPrestart();
#endif
    return started;
}

// The machine stays awake while the programme plays; the screen may still lock.
void KeepAwakeWhilePlaying(lyrevane::SleepInhibitor& inhibitor, const PlayerEngine& engine) {
    const auto followEngine = [&inhibitor, &engine] {
        inhibitor.setWanted(lyrevane::keepsMachineAwake(engine.playState()));
    };
    QObject::connect(&engine, &lyrevane::MediaEngine::playStateChanged, &inhibitor, followEngine);
    QObject::connect(&engine, &lyrevane::MediaEngine::errorOccurred, &inhibitor,
                     [&inhibitor] { inhibitor.setWanted(false); });
    followEngine();
}

// The heap pages that threads of past connections freed go back to the system now and then:
// glibc keeps them in each thread's arena, and a long evening of reconnects would otherwise
// keep a few hundred kilobytes more each time. A trim walks a heap of a few megabytes: little
// beside two minutes.
void GiveBackFreedMemory(QTimer& timer) {
    timer.setInterval(std::chrono::minutes(2));
    QObject::connect(&timer, &QTimer::timeout, [] { malloc_trim(0); });
    timer.start();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LyrevanePlayerMain(
    int argc, char** argv, lyrevane::LaunchHandoff* handoff) {
    PrepareProcess(handoff->drawing);
    QApplication app(argc, argv);
    if (handoff->drawing.integrationSet) {
        // Read by the toolkit's X11 plug-in as the application object started; a mail program
        // or browser started from the player must not inherit it.
        qunsetenv("QT_XCB_GL_INTEGRATION");
    }
    // Qt's HTTP keeps the proxy the program moved out of libVLC's sight.
    QNetworkProxyFactory::setApplicationProxyFactory(new lyrevane::MovedProxyFactory);
    NameApplication();
    QTranslator translator;
    lyrevane::installTranslation(translator);
    // The whole command line as one text: the arguments joined by single spaces.
    const QString commandLine = QCoreApplication::arguments().mid(1).join(u' ');
    // Whether start-up can show no message box, and the stream its command will play.
    const lyrevane::StartPlan plan = lyrevane::planStart(commandLine);
    PlayerEngine engine;
    PrestartStream(engine, plan, *handoff);
#ifdef LYREVANE_HAVE_VLC_ENGINE
    engine.finishLeftBehind();
#endif

    // Media keys, panels and lock screens control the player through MPRIS, with the play
    // bar's handlers; what they ask while the window starts up is done once it has. It is on
    // the bus before the command line's stream opens, so that whoever started the player (the
    // scheduler) reads its first error.
    lyrevane::frmMain* mainWindow = nullptr;
    lyrevane::MprisService mpris(engine, WindowActions(mainWindow));
    mpris.start(QDBusConnection::sessionBus());
    mpris.holdRequests();

    WindowServices services;
    std::unique_ptr<QWebEngineProfile> profile;
    if (!plan.quiet) {
        profile.reset(lyrevane::createPlayerProfile(nullptr));
    }
    lyrevane::frmMain window({{services.store, services.prompts, services.tracker, engine},
                              services.urlOpener,
                              profile.get()});
    services.prompts.setOwner(&window);
    mainWindow = &window;
    QObject::connect(&window, &lyrevane::frmMain::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Told to stop from outside: close as the user would, saving the settings.
    lyrevane::TerminationWatcher termination;
    QObject::connect(&termination, &lyrevane::TerminationWatcher::terminationRequested, &window,
                     &QWidget::close);
    if (!StartWindow(window, engine, plan, commandLine, services.store.problem(), profile)) {
        return 0;
    }
    mpris.releaseRequests();
    window.show();
    QObject::connect(window.volumeControl(), &QSlider::valueChanged, &mpris,
                     &lyrevane::MprisService::refresh);

    lyrevane::SleepInhibitor inhibitor(QDBusConnection::sessionBus(), QDBusConnection::systemBus(),
                                       u"Playing the Quillmoor live programme"_s);
    KeepAwakeWhilePlaying(inhibitor, engine);
    QTimer trim;
    GiveBackFreedMemory(trim);
    return QApplication::exec();
}
