#include "ui/frmmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QOpenGLWidget>
#include <QPainter>
#include <QQuickWindow>
#include <QSlider>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>
#include <QWindow>

#include "core/brokerlist.h"
#include "core/deferredpane.h"
#include "dialogs/dialogs.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmbroadcastscheduler.h"
#include "dialogs/frmcustomiseskin.h"
#include "dialogs/frmonlinebrokers.h"
#include "dialogs/frmrundown.h"
#include "engine/mediaengine.h"
#include "platform/platform.h"
#include "platform/promptservice.h"
#include "rules/commandurl.h"
#include "rules/mediasourcecheck.h"
#include "skin/artwork.h"
#include "skin/skinconfiguration.h"
#include "ui/windowpanes.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How long a window shown before the browser engine starts waits for the display server
// to expose it.
constexpr qint64 kExposeWaitMs = 100;

}  // namespace

frmMain::frmMain(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      layout_(logoSize(), 0, PlayerLayout::kDesignPlayBarHeight) {
    setObjectName(u"frmMain"_s);
    setWindowTitle(kAppTitle.toString());
    skin_ =
        std::make_unique<WindowSkin>(*this, services.session.settings, services.session.prompts);

    client_ = new QWidget(this);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    imgLogo = new QLabel(client_);
    imgLogo->setObjectName(u"imgLogo"_s);
    imgLogo->setPixmap(logoPixmap());
    imgLogo->resize(imgLogo->pixmap().size());
    imgLogo->setAccessibleName(tr("Quillmoor logo"));

    panes_ = std::make_unique<WindowPanes>(services.urlOpener,
                                           [this](const QUrl& url) { runCommandLater(url); });
    buildPlayBar();
    buildStatusLine();

    session_ = std::make_unique<PlayerSession>(services.session, *this, *this, panes_->mainPane(),
                                               panes_->ad());
    buildMenus();

    // Runs from the window's creation for its whole life.
    timEggTimer = new QTimer(this);
    timEggTimer->setObjectName(u"timEggTimer"_s);
    timEggTimer->setInterval(60000);
    connect(timEggTimer, &QTimer::timeout, this, [this] { session_->eggTimerTick(); });
    timEggTimer->start();
    connectPlayBar();

    if (services.profile != nullptr) {
        buildPanes(services.profile);
    } else if (QQuickWindow::sceneGraphBackend() != u"software"_s) {
        // The browser views draw into textures that the window composes. A window that
        // gets its first such child once it is on screen is destroyed and made anew; a
        // hidden stand-in has it compose that way from the start. With the software scene
        // graph the views paint like any widget and need none.
        (new QOpenGLWidget(client_))->hide();
    }
}

frmMain::~frmMain() = default;

void frmMain::buildPlayBar() {
    playBar_ = std::make_unique<PlayBar>(client_);
    playBar_->picPlayBar->onDrag = [this](int buttons, double y) {
        layout_.drag(buttons, y);
        applyLayout();
    };
}

void frmMain::buildStatusLine() {
    status_ = std::make_unique<StatusLine>(client_);
    sbStatusBar = status_->sbStatusBar;
    lblNowPlaying = status_->lblNowPlaying;
    connect(&services_.session.engine, &MediaEngine::metadataChanged, this,
            &frmMain::updateNowPlaying);
    connect(&services_.session.engine, &MediaEngine::playStateChanged, this,
            [this] { updateLiveMenu(); });
    // Told after the engine's call returns, never inside it.
    connect(
        &services_.session.engine, &MediaEngine::recordingMessage, this,
        [this](const QString& text) {
            services_.session.prompts.showMessage(text, MessageIcon::Exclamation);
        },
        Qt::QueuedConnection);
    layout_.setStatusBarHeight(status_->height());
}

// The play and volume controls go to the session, the portal's buttons to the desktop.
void frmMain::connectPlayBar() {
    playBar_->cmdHome->setToolTip(tr("Go to %1").arg(session_->portal().domainName()));
    playBar_->cmdMail->setToolTip(tr("E-mail Quillmoor"));
    connect(playBar_->cmdHome, &QToolButton::clicked, this,
            [this] { services_.urlOpener.openExternally(session_->portal().homePageUrl()); });
    connect(playBar_->cmdMail, &QToolButton::clicked, this,
            [this] { services_.urlOpener.openExternally(session_->portal().mailUrl()); });
    playBar_->connectTo(session_->playback());
}

void frmMain::buildMenus() {
    menus_ = std::make_unique<MainMenus>(*this, services_.session.engine);
    const MainMenus& m = *menus_;
    connect(m.mnuFileBrowseTo, &QAction::triggered, this, [this] { session_->browseTo(); });
    connect(m.mnuFilePlay, &QAction::triggered, this,
            [this] { session_->playback().playFromInputBox(); });
    connect(m.mnuFileCustomizeSkin, &QAction::triggered, this, &frmMain::customizeSkin);
    connect(m.mnuFileExit, &QAction::triggered, this, [this] { session_->unload(); });
    connect(m.mnuFileConfigureOnlineBrokers, &QAction::triggered, this,
            [this] { openOwnedDialog<frmOnlineBrokers>(dialogs()); });
    connect(m.mnuFileBroadcastScheduler, &QAction::triggered, this,
            [this] { openOwnedDialog<frmBroadcastScheduler>(dialogs()); });
    connect(m.mnuHelpAbout, &QAction::triggered, this,
            [this] { openOwnedDialog<frmAbout>(dialogs()); });
    connect(m.mnuLiveRundown, &QAction::triggered, this, &frmMain::showRundown);
    menus_->popUpFrom(playBar_->cmdBrokers);
}

void frmMain::buildPanes(QWebEngineProfile* profile) {
    if (panes_->isBuilt()) {
        return;
    }
    panes_->build(client_, profile, session_->portal().baseUrl, imgLogo, playBar_->picPlayBar);
    webBrowser = panes_->webBrowser;
    webAd = panes_->webAd;
    applyLayout();
    panes_->attach();
}

void frmMain::showAndPaint() {
    show();
    // The map request has gone to the display server; its answer is awaited briefly so
    // that the first frame is drawn now, not once the browser engine has started. User
    // input is handled too (the panes take navigations before they exist): input held
    // back here would wait for the next event from the display server, a close request
    // included.
    QElapsedTimer waited;
    waited.start();
    const QWindow* handle = windowHandle();
    while (handle != nullptr && !handle->isExposed() && !session_->isShutDown() &&
           waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents();
        if (!handle->isExposed()) {
            QThread::msleep(1);
        }
    }
    QCoreApplication::processEvents();
}

bool frmMain::startUp(const QString& commandLine, const QString& storeProblem) {
    const bool started = session_->startUp(commandLine);
    if (started && !storeProblem.isEmpty()) {
        // Said over the shown window: start-up does not wait for the user to read it.
        QTimer::singleShot(0, this, [this, storeProblem] {
            services_.session.prompts.showMessage(storeProblem, MessageIcon::Exclamation);
        });
    }
    return started;
}

bool frmMain::startUpShownFirst(const QString& commandLine,
                                const std::function<QWebEngineProfile*()>& createProfile,
                                const QString& storeProblem) {
    session_->restoreWindow();
    showAndPaint();
    if (session_->isShutDown()) {
        // Closed while it was being shown (a stop request): nothing more starts.
        return false;
    }
    QWebEngineProfile* profile = createProfile();
    if (session_->isShutDown()) {
        return false;  // closed while the profile was waited for
    }
    buildPanes(profile);
    return startUp(commandLine, storeProblem);
}

bool frmMain::checkMediaURL(const QString& theUrl, bool errorQuietly) {
    return lyrevane::checkMediaURL(theUrl, services_.session.prompts, errorQuietly);
}

qint32 frmMain::getGMTOffset() const {
    return lyrevane::getGMTOffset();
}

DialogContext frmMain::dialogs() {
    return DialogContext{
        *this,
        services_.session.settings,
        services_.session.prompts,
        services_.urlOpener,
        session_->portal(),
        skin_->configuration(),
        [this] { reloadOnlineBrokers(); },
        [this](const QString& url, bool quiet) { return checkMediaURL(url, quiet); },
        [this] { return getGMTOffset(); }};
}

// Commands may open modal boxes: they run after the browser's navigation check returns.
void frmMain::runCommandLater(const QUrl& url) {
    QTimer::singleShot(0, this, [this, url] {
        if (const std::optional<CommandUrl> command = matchCommandUrl(url)) {
            session_->commands().executeCommand(command->command, command->parameters, false);
        }
    });
}

void frmMain::applyLayout() {
    imgLogo->setGeometry(layout_.logo());
    playBar_->picPlayBar->setGeometry(layout_.playBar());
    if (webBrowser != nullptr) {
        webBrowser->setGeometry(layout_.content());
        webAd->setGeometry(layout_.ad());
    }
    sbStatusBar->setGeometry(layout_.statusBar());
    updateMinimumSize();
}

void frmMain::updateMinimumSize() {
    const int frameWidth = isVisible() ? frameGeometry().width() - width() : 0;
    // The drawn caption bar and borders lie inside the window, around the menu bar.
    const QMargins drawn = contentsMargins();
    const int aboveClient =
        drawn.top() + drawn.bottom() +
        (menuBar()->isVisible() || !isVisible() ? menuBar()->sizeHint().height() : 0);
    setMinimumSize(std::max(0, layout_.minimumOuterWidth() - frameWidth),
                   layout_.minimumClientHeight() + aboveClient);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        layout_.resize(client_->size(), isMinimized());
        applyLayout();
    } else if (watched == client_ && event->type() == QEvent::Paint && webBrowser == nullptr) {
        // Until the browser views exist, their places show as empty pages.
        QPainter painter(client_);
        const QColor page = QApplication::palette(client_).color(QPalette::Base);
        painter.fillRect(layout_.content(), page);
        painter.fillRect(layout_.ad(), page);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    updateMinimumSize();
}

void frmMain::closeEvent(QCloseEvent* event) {
    session_->shutDown();
    event->accept();
    Q_EMIT unloaded();
}

void frmMain::setOuterSize(QSize size) {
    resize(size);
    // The client area is known before the window is first shown: below the menu bar.
    const QMargins drawn = contentsMargins();
    const QSize client(
        size.width() - drawn.left() - drawn.right(),
        size.height() - drawn.top() - drawn.bottom() - menuBar()->sizeHint().height());
    layout_.resize(client, false);
    applyLayout();
}

void frmMain::restorePlayBar(float playBarBottom) {
    layout_.restorePlayBar(playBarBottom);
    applyLayout();
}

void frmMain::reloadOnlineBrokers() {
    menus_->reloadBrokers(loadBrokerEntries(services_.session.settings),
                          [this](const QString& url) { panes_->ad().navigate(url); });
}

// Not modal, and one at a time: asked again, the open one comes to the front.
void frmMain::showRundown() {
    if (rundown_ == nullptr) {
        rundown_ = new frmRundown(this, services_.session.engine);
        rundown_->setAttribute(Qt::WA_DeleteOnClose);
        rundown_->setOwner(dialogs());
    }
    rundown_->show();
    rundown_->raise();
    rundown_->activateWindow();
}

const QSlider* frmMain::volumeControl() const {
    return playBar_->sldVolume;
}

frmRundown* frmMain::rundown() const {
    return rundown_.data();
}

void frmMain::updateNowPlaying() {
    updateLiveMenu();
    setToolTip(StatusLine::windowToolTip(status_->showNowPlaying(services_.session.engine)));
}

void frmMain::setUpSkin() {
    skin_->setUp();
    applySkinColours();
}

void frmMain::applySkinColours() {
    // The brokers button, the volume slider, the status bar and the panes keep their
    // colours; the panes may come later, see buildPanes.
    skin_->paint(QList<QWidget*>{client_} + playBar_->faceWidgets(),
                 {playBar_->cmdBrokers, playBar_->sldVolume, sbStatusBar, webBrowser, webAd});
    if (const std::optional<QSize> logo = skin_->loadLogo(*imgLogo)) {
        layout_.setLogoSize(*logo);
        // At start-up the window is sized (and laid out) right after this.
        if (isVisible()) {
            layout_.resize(client_->size(), isMinimized());
            applyLayout();
        }
    }
    update();
}

void frmMain::customizeSkin() {
    const std::unique_ptr<frmCustomiseSkin> dialog = openOwnedDialog<frmCustomiseSkin>(dialogs());
    if (!dialog->cancelled()) {
        skin_->configuration().transform = dialog->skinConfiguration().transform;
        reapplySkin();
    }
}

void frmMain::reapplySkin() {
    skin_->reattach();
    applySkinColours();
}

}  // namespace lyrevane
