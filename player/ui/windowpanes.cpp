#include "ui/windowpanes.h"

#include <QNetworkInformation>
#include <QTimer>
#include <QWebEngineView>

#include "core/deferredpane.h"
#include "core/panerecovery.h"
#include "dialogs/dialogs.h"
#include "platform/platform.h"
#include "rules/commandurl.h"
#include "ui/unreachablepage.h"
#include "ui/webpanes.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

WindowPanes::WindowPanes(UrlOpener& opener, std::function<void(const QUrl&)> runCommand)
    : opener_(opener),
      runCommand_(std::move(runCommand)),
      main_(std::make_unique<DeferredPane>()),
      ad_(std::make_unique<DeferredPane>()),
      recovery_(std::make_unique<PaneRecovery>(
          *main_, *ad_, [this](std::chrono::milliseconds delay) { retry_->start(delay); })) {}

WindowPanes::~WindowPanes() {
    delete retry_;  // its connections call the recovery
    if (webBrowser != nullptr) {
        delete webBrowser->page();
        delete webAd->page();
    }
}

void WindowPanes::build(QWidget* client, QWebEngineProfile* profile, const QString& portalBaseUrl,
                        QWidget* after, QWidget* above) {
    webBrowser = new QWebEngineView(client);
    webBrowser->setObjectName(u"webBrowser"_s);
    webBrowser->setAccessibleName(tr("Portal"));
    webBrowser->setPage(new PlayerWebPage(
        profile, PlayerWebPage::Pane::Main, [this](const QUrl& url) { runCommand_(url); },
        [this](const QUrl& url) { openWindow(url); }));
    // No network or the portal down: the player's own page says so, not the engine's.
    using Pane = PaneRecovery::Pane;
    new UnreachablePage(
        webBrowser->page(), UnreachablePage::Kind::Portal, portalBaseUrl,
        {[this](const QUrl& url) { recovery_->failed(Pane::Main, url.toString()); },
         [this] { recovery_->loaded(Pane::Main); }, [this] { recovery_->tryAgain(Pane::Main); }});

    webAd = new QWebEngineView(client);
    webAd->setObjectName(u"webAd"_s);
    webAd->setAccessibleName(tr("Advertisements and brokers"));
    // Commands from the advertisement pane are never run nor handed to the desktop.
    auto* adPage = new PlayerWebPage(profile, PlayerWebPage::Pane::Advertisement, nullptr,
                                     [this](const QUrl& url) { openWindow(url); });
    webAd->setPage(adPage);
    adPage->watchUserInput(webAd);
    // Whatever fails there, a quiet page in the skin's colours stands in.
    new UnreachablePage(adPage, UnreachablePage::Kind::Quiet, portalBaseUrl,
                        {[this](const QUrl& url) { recovery_->failed(Pane::Ad, url.toString()); },
                         [this] { recovery_->loaded(Pane::Ad); }, nullptr},
                        [client] {
                            const QPalette& skin = client->palette();
                            return std::pair(skin.color(QPalette::Window),
                                             skin.color(QPalette::WindowText));
                        });
    retry_ = new QTimer(client);
    retry_->setSingleShot(true);
    QObject::connect(retry_, &QTimer::timeout, retry_, [this] { recovery_->retryDue(); });
    watchNetwork();

    // Where the panes would stand had they been made with the window: right after the
    // logo in the keyboard's tab order, below the play bar and the status bar.
    QWidget::setTabOrder(after, webBrowser);
    QWidget::setTabOrder(webBrowser, webAd);
    for (QWidget* view : {static_cast<QWidget*>(webBrowser), static_cast<QWidget*>(webAd)}) {
        keepDesktopColours(*view);
        view->stackUnder(above);
        if (client->isVisible()) {  // built after the window was shown
            view->show();
        }
    }
}

void WindowPanes::attach() {
    main_->attach(std::make_unique<WebViewPane>(webBrowser));
    ad_->attach(std::make_unique<WebViewPane>(webAd));
}

void WindowPanes::watchNetwork() {
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        return;  // no way to tell here: the recovery retries on a timer
    }
    recovery_->setNetworkWatched(true);
    QObject::connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged,
                     retry_, [this](QNetworkInformation::Reachability reachability) {
                         if (reachability != QNetworkInformation::Reachability::Disconnected &&
                             reachability != QNetworkInformation::Reachability::Unknown) {
                             recovery_->networkBack();
                         }
                     });
}

void WindowPanes::openWindow(const QUrl& url) {
    // Commands in new windows of the portal pane reach runCommand through the page's
    // origin check.
    if (url.scheme() != kCommandScheme) {
        opener_.openExternally(url.toString(QUrl::FullyEncoded));
    }
}

}  // namespace lyrevane
