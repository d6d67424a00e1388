#include "ui/frmmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QPainter>
#include <QQuickWindow>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>
#include <QWindow>

#include <cmath>

#include "core/deferredpane.h"
#include "dialogs/dialogs.h"
#include "dialogs/skinframe.h"
#include "engine/mediaengine.h"
#include "engine/nowplaying.h"
#include "platform/platform.h"
#include "platform/promptservice.h"
#include "rules/commandurl.h"
#include "rules/mediasourcecheck.h"
#include "skin/artwork.h"
#include "skin/skinconfiguration.h"
#include "ui/unreachablepage.h"
#include "ui/webpanes.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How long a window shown before the browser engine starts waits for the display server
// to expose it.
constexpr qint64 kExposeWaitMs = 100;

// Mouse buttons as the splitter logic counts them.
int buttonState(Qt::MouseButtons buttons) {
    int state = 0;
    if (buttons & Qt::LeftButton) {
        state |= 1;
    }
    if (buttons & Qt::RightButton) {
        state |= 2;
    }
    if (buttons & Qt::MiddleButton) {
        state |= 4;
    }
    return state;
}

// A play-bar button: drawn glyph, a name a screen reader says, reachable with Tab.
QToolButton* pictureButton(QWidget* parent, Glyph glyph, const QRect& geometry, int iconSide,
                           const QString& name, const QString& spokenName) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAccessibleName(spokenName);
    button->setToolTip(spokenName);
    button->setIcon(GlyphIcon(glyph, iconSide));
    button->setIconSize(QSize(iconSide, iconSide));
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

void PlayBarStrip::mouseMoveEvent(QMouseEvent* event) {
    if (onDrag) {
        onDrag(buttonState(event->buttons()), event->position().y());
    }
    event->accept();
}

frmMain::frmMain(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      layout_(LogoSize(), 0, PlayerLayout::kDesignPlayBarHeight),
      skin_(std::make_unique<lyrevane::SkinConfiguration>()),
      skinFolder_(DefaultSkinFolder()) {
    setObjectName(u"frmMain"_s);
    setWindowTitle(kAppTitle.toString());
    frame_ = new SkinFrame(*this, SkinFrame::Style{.minimiseButton = true,
                                                   .maximiseButton = true,
                                                   .icon = true,
                                                   .resizable = true,
                                                   .doubleClickMaximises = true});

    client_ = new QWidget(this);
    client_->installEventFilter(this);
    setCentralWidget(client_);

    imgLogo = new QLabel(client_);
    imgLogo->setObjectName(u"imgLogo"_s);
    imgLogo->setPixmap(LogoPixmap());
    imgLogo->resize(imgLogo->pixmap().size());
    imgLogo->setAccessibleName(u"Quillmoor logo"_s);

    mainPane_ = std::make_unique<DeferredPane>();
    adPane_ = std::make_unique<DeferredPane>();
    BuildPlayBar();

    sbStatusBar = new QStatusBar(client_);
    sbStatusBar->setObjectName(u"sbStatusBar"_s);
    sbStatusBar->setSizeGripEnabled(false);
    sbStatusBar->setAccessibleName(u"Status"_s);
    // What the station says it plays, on the right; the status texts keep the left.
    lblNowPlaying = new QLabel(sbStatusBar);
    lblNowPlaying->setObjectName(u"lblNowPlaying"_s);
    lblNowPlaying->setAccessibleName(u"Now playing"_s);
    lblNowPlaying->setTextFormat(Qt::PlainText);
    lblNowPlaying->setMaximumWidth(320);
    sbStatusBar->addPermanentWidget(lblNowPlaying);
    connect(&services.engine, &MediaEngine::metadataChanged, this, &frmMain::UpdateNowPlaying);
    connect(&services.engine, &MediaEngine::playStateChanged, this, [this] { UpdateLiveMenu(); });
    // Told after the engine's call returns, never inside it.
    connect(
        &services.engine, &MediaEngine::recordingMessage, this,
        [this](const QString& text) {
            services_.prompts.ShowMessage(text, MessageIcon::Exclamation);
        },
        Qt::QueuedConnection);
    layout_.SetStatusBarHeight(sbStatusBar->sizeHint().height());

    session_ =
        std::make_unique<PlayerSession>(PlayerSession::Services{services.settings, services.prompts,
                                                                services.tracker, services.engine},
                                        *this, *this, *mainPane_, *adPane_);
    BuildMenu();
    BuildBrokersMenu();

    // Runs from the window's creation for its whole life.
    timEggTimer = new QTimer(this);
    timEggTimer->setObjectName(u"timEggTimer"_s);
    timEggTimer->setInterval(60000);
    connect(timEggTimer, &QTimer::timeout, this, [this] { session_->EggTimerTick(); });
    timEggTimer->start();

    cmdHome->setToolTip(u"Go to "_s + session_->Portal().DomainName());
    cmdMail->setToolTip(u"E-mail Quillmoor"_s);
    connect(cmdHome, &QToolButton::clicked, this,
            [this] { services_.urlOpener.OpenExternally(session_->Portal().HomePageUrl()); });
    connect(cmdMail, &QToolButton::clicked, this,
            [this] { services_.urlOpener.OpenExternally(session_->Portal().MailUrl()); });
    connect(cmdPlay, &QToolButton::clicked, this, [this] { session_->Playback().PlayClicked(); });
    connect(cmdPause, &QToolButton::clicked, this, [this] { session_->Playback().PauseClicked(); });
    connect(cmdStop, &QToolButton::clicked, this, [this] { session_->Playback().StopClicked(); });
    connect(sldVolume, &QSlider::valueChanged, this,
            [this](int value) { session_->Playback().VolumeChanged(value); });

    if (services.profile != nullptr) {
        BuildPanes(services.profile);
    } else if (QQuickWindow::graphicsApi() != QSGRendererInterface::Software) {
        // The browser views draw into textures that the window composes. A window that
        // gets its first such child once it is on screen is destroyed and made anew; a
        // hidden stand-in has it compose that way from the start. With the software scene
        // graph the views paint like any widget and need none.
        (new QOpenGLWidget(client_))->hide();
    }
}

frmMain::~frmMain() {
    // The pages must go before the views and the shared profile.
    if (webBrowser != nullptr) {
        delete webBrowser->page();
        delete webAd->page();
    }
}

void frmMain::BuildPanes(QWebEngineProfile* profile) {
    if (webBrowser != nullptr) {
        return;
    }
    webBrowser = new QWebEngineView(client_);
    webBrowser->setObjectName(u"webBrowser"_s);
    webBrowser->setAccessibleName(u"Portal"_s);
    webBrowser->setPage(new PlayerWebPage(
        profile, PlayerWebPage::Pane::Main, [this](const QUrl& url) { RunCommandLater(url); },
        [this](const QUrl& url) { OpenMainPopup(url); }));
    // No network or the portal down: the player's own page says so, not the engine's.
    new UnreachablePage(webBrowser->page(), session_->Portal().baseUrl);

    webAd = new QWebEngineView(client_);
    webAd->setObjectName(u"webAd"_s);
    webAd->setAccessibleName(u"Advertisements and brokers"_s);
    auto* adPage = new PlayerWebPage(profile, PlayerWebPage::Pane::Advertisement, nullptr,
                                     [this](const QUrl& url) { OpenAdPopup(url); });
    webAd->setPage(adPage);
    adPage->WatchUserInput(webAd);

    // Where the panes would stand had they been made with the window: right after the
    // logo in the keyboard's tab order, below the play bar and the status bar.
    QWidget::setTabOrder(imgLogo, webBrowser);
    QWidget::setTabOrder(webBrowser, webAd);
    for (QWidget* view : {static_cast<QWidget*>(webBrowser), static_cast<QWidget*>(webAd)}) {
        KeepDesktopColours(*view);
        view->stackUnder(picPlayBar);
        if (client_->isVisible()) {  // built after the window was shown
            view->show();
        }
    }
    ApplyLayout();

    mainPane_->Attach(std::make_unique<WebViewPane>(webBrowser));
    adPane_->Attach(std::make_unique<WebViewPane>(webAd));
}

void frmMain::ShowAndPaint() {
    show();
    // The map request has gone to the display server; its answer is awaited briefly so
    // that the first frame is drawn now, not once the browser engine has started. User
    // input is handled too (the panes take navigations before they exist): input held
    // back here would wait for the next event from the display server, a close request
    // included.
    QElapsedTimer waited;
    waited.start();
    const QWindow* handle = windowHandle();
    while (handle != nullptr && !handle->isExposed() && !session_->IsShutDown() &&
           waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents();
        if (!handle->isExposed()) {
            QThread::msleep(1);
        }
    }
    QCoreApplication::processEvents();
}

void frmMain::BuildPlayBar() {
    picPlayBar = new PlayBarStrip(client_);
    picPlayBar->setObjectName(u"picPlayBar"_s);
    picPlayBar->setCursor(Qt::SizeVerCursor);
    picPlayBar->onDrag = [this](int buttons, double y) {
        layout_.Drag(buttons, y);
        ApplyLayout();
    };

    // The button panel keeps its own arrow pointer and never starts a drag.
    Picture1 = new QWidget(picPlayBar);
    Picture1->setObjectName(u"Picture1"_s);
    Picture1->setAccessibleName(u"Play bar"_s);
    Picture1->setGeometry(-2, -2, 461, 40);
    Picture1->setCursor(Qt::ArrowCursor);
    Picture1->setAttribute(Qt::WA_NoMousePropagation);

    cmdPlay =
        pictureButton(Picture1, Glyph::Play, QRect(12, 8, 21, 21), 18, u"cmdPlay"_s, u"Play"_s);
    cmdPause =
        pictureButton(Picture1, Glyph::Pause, QRect(12, 8, 21, 21), 18, u"cmdPause"_s, u"Pause"_s);
    cmdStop =
        pictureButton(Picture1, Glyph::Stop, QRect(40, 8, 21, 21), 18, u"cmdStop"_s, u"Stop"_s);
    cmdPlay->setEnabled(false);
    cmdPause->setVisible(false);
    cmdStop->setEnabled(false);

    lblVolume = new QLabel(u"&Volume:"_s, Picture1);
    lblVolume->setGeometry(68, 11, 44, 15);
    QFont small = lblVolume->font();
    small.setPixelSize(11);
    lblVolume->setFont(small);

    sldVolume = new QSlider(Qt::Horizontal, Picture1);
    sldVolume->setObjectName(u"sldVolume"_s);
    sldVolume->setRange(0, 100);
    sldVolume->setGeometry(112, 8, 173, 21);
    // A screen reader says "Volume" and the slider's value; the label names it too.
    sldVolume->setAccessibleName(u"Volume"_s);
    sldVolume->setPageStep(10);
    lblVolume->setBuddy(sldVolume);

    cmdHome =
        pictureButton(Picture1, Glyph::Home, QRect(312, 3, 38, 33), 24, u"cmdHome"_s, u"Home"_s);
    cmdMail =
        pictureButton(Picture1, Glyph::Mail, QRect(364, 3, 39, 33), 24, u"cmdMail"_s, u"Mail"_s);
    cmdBrokers = pictureButton(Picture1, Glyph::Brokers, QRect(416, 3, 38, 33), 24, u"cmdBrokers"_s,
                               u"Online Brokers"_s);
}

bool frmMain::StartUp(const QString& commandLine, const QString& storeProblem) {
    const bool started = session_->StartUp(commandLine);
    if (started && !storeProblem.isEmpty()) {
        // Said over the shown window: start-up does not wait for the user to read it.
        QTimer::singleShot(0, this, [this, storeProblem] {
            services_.prompts.ShowMessage(storeProblem, MessageIcon::Exclamation);
        });
    }
    return started;
}

bool frmMain::StartUpShownFirst(const QString& commandLine,
                                const std::function<QWebEngineProfile*()>& createProfile,
                                const QString& storeProblem) {
    session_->RestoreWindow();
    ShowAndPaint();
    if (session_->IsShutDown()) {
        // Closed while it was being shown (a stop request): nothing more starts.
        return false;
    }
    QWebEngineProfile* profile = createProfile();
    if (session_->IsShutDown()) {
        return false;  // closed while the profile was waited for
    }
    BuildPanes(profile);
    return StartUp(commandLine, storeProblem);
}

bool frmMain::CheckMediaURL(const QString& theUrl, bool errorQuietly) {
    return lyrevane::CheckMediaURL(theUrl, services_.prompts, errorQuietly);
}

// Commands may open modal boxes: they run after the browser's navigation check returns.
void frmMain::RunCommandLater(const QUrl& url) {
    QTimer::singleShot(0, this, [this, url] {
        if (const std::optional<CommandUrl> command = MatchCommandUrl(url)) {
            session_->Commands().ExecuteCommand(command->command, command->parameters, false);
        }
    });
}

void frmMain::OpenMainPopup(const QUrl& url) {
    // Commands in new windows reach RunCommandLater through the page's origin check.
    if (url.scheme() != kCommandScheme) {
        services_.urlOpener.OpenExternally(url.toString(QUrl::FullyEncoded));
    }
}

void frmMain::OpenAdPopup(const QUrl& url) {
    // Commands from the advertisement pane are never run nor handed to the desktop.
    if (url.scheme() != kCommandScheme) {
        services_.urlOpener.OpenExternally(url.toString(QUrl::FullyEncoded));
    }
}

void frmMain::ApplyLayout() {
    imgLogo->setGeometry(layout_.Logo());
    picPlayBar->setGeometry(layout_.PlayBar());
    if (webBrowser != nullptr) {
        webBrowser->setGeometry(layout_.Content());
        webAd->setGeometry(layout_.Ad());
    }
    sbStatusBar->setGeometry(layout_.StatusBar());
    UpdateMinimumSize();
}

void frmMain::UpdateMinimumSize() {
    const int frameWidth = isVisible() ? frameGeometry().width() - width() : 0;
    // The drawn caption bar and borders lie inside the window, around the menu bar.
    const QMargins drawn = contentsMargins();
    const int aboveClient =
        drawn.top() + drawn.bottom() +
        (menuBar()->isVisible() || !isVisible() ? menuBar()->sizeHint().height() : 0);
    setMinimumSize(std::max(0, layout_.MinimumOuterWidth() - frameWidth),
                   layout_.MinimumClientHeight() + aboveClient);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        layout_.Resize(client_->size(), isMinimized());
        ApplyLayout();
    } else if (watched == client_ && event->type() == QEvent::Paint && webBrowser == nullptr) {
        // Until the browser views exist, their places show as empty pages.
        QPainter painter(client_);
        const QColor page = QApplication::palette(client_).color(QPalette::Base);
        painter.fillRect(layout_.Content(), page);
        painter.fillRect(layout_.Ad(), page);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    UpdateMinimumSize();
}

void frmMain::closeEvent(QCloseEvent* event) {
    session_->ShutDown();
    event->accept();
    Q_EMIT unloaded();
}

void frmMain::SetOuterSize(QSize size) {
    resize(size);
    // The client area is known before the window is first shown: below the menu bar.
    const QMargins drawn = contentsMargins();
    const QSize client(
        size.width() - drawn.left() - drawn.right(),
        size.height() - drawn.top() - drawn.bottom() - menuBar()->sizeHint().height());
    layout_.Resize(client, false);
    ApplyLayout();
}

QSize frmMain::OuterSize() const {
    return size();
}

int frmMain::StatusBarHeight() const {
    return sbStatusBar->sizeHint().height();
}

void frmMain::RestorePlayBar(float playBarBottom) {
    layout_.RestorePlayBar(playBarBottom);
    ApplyLayout();
}

float frmMain::PlayBarBottom() const {
    return layout_.PlayBarBottom();
}

void frmMain::SetVolumeSlider(int value) {
    const QSignalBlocker blocker(sldVolume);
    sldVolume->setValue(value);
}

int frmMain::VolumeSlider() const {
    return sldVolume->value();
}

void frmMain::Close() {
    close();
}

void frmMain::SetPlayEnabled(bool enabled) {
    cmdPlay->setEnabled(enabled);
}
void frmMain::SetPauseVisible(bool visible) {
    cmdPause->setVisible(visible);
}
void frmMain::SetStopEnabled(bool enabled) {
    cmdStop->setEnabled(enabled);
}
void frmMain::SetStatusText(const QString& text) {
    sbStatusBar->showMessage(text);
}

void frmMain::UpdateLiveMenu() {
    mnuLiveCatchUp->setEnabled(services_.engine.behindLive().count() > 0);
    const bool recording = services_.engine.recordingSeconds() >= 0;
    const QString refusal = services_.engine.recordRefusal();
    const QSignalBlocker quiet(mnuLiveRecord);
    mnuLiveRecord->setChecked(recording);
    mnuLiveRecord->setEnabled(recording || refusal.isEmpty());
    mnuLiveRecord->setToolTip(
        recording || refusal.isEmpty() ? u"Record the stream to the Music folder"_s : refusal);
}

void frmMain::UpdateNowPlaying() {
    // While a dropped stream is reconnected, since when and why; then the station again.
    QString text = IsolatedText(services_.engine.reconnecting());
    if (text.isEmpty()) {
        text = NowPlayingText(services_.engine.stationName(), services_.engine.nowPlaying());
        const QString behind =
            BehindLiveText(services_.engine.behindLive(), services_.engine.keepingStopped());
        for (const QString& part : {behind, RecordingText(services_.engine.recordingSeconds())}) {
            if (!part.isEmpty()) {
                text = text.isEmpty() ? part : part + u" \u00b7 "_s + text;
            }
        }
    }
    UpdateLiveMenu();
    const QFontMetrics metrics(lblNowPlaying->font());
    lblNowPlaying->setText(metrics.elidedText(text, Qt::ElideRight, lblNowPlaying->maximumWidth()));
    // Tooltips guess rich text: what a server sent is made plain text, so that markup in a
    // title neither shows nor loads anything.
    lblNowPlaying->setToolTip(
        text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
    setToolTip(text.isEmpty() ? QString()
                              : Qt::convertFromPlainText(kAppTitle.toString() + u"\n"_s + text,
                                                         Qt::WhiteSpaceNormal));
}

}  // namespace lyrevane
