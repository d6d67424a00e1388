#include "ui/windowpanes.h"

#include <QWebEngineView>

#include "core/deferredpane.h"
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
      ad_(std::make_unique<DeferredPane>()) {}

WindowPanes::~WindowPanes() {
    if (webBrowser != nullptr) {
        delete webBrowser->page();
        delete webAd->page();
    }
}

void WindowPanes::Build(QWidget* client, QWebEngineProfile* profile, const QString& portalBaseUrl,
                        QWidget* after, QWidget* above) {
    webBrowser = new QWebEngineView(client);
    webBrowser->setObjectName(u"webBrowser"_s);
    webBrowser->setAccessibleName(u"Portal"_s);
    webBrowser->setPage(new PlayerWebPage(
        profile, PlayerWebPage::Pane::Main, [this](const QUrl& url) { runCommand_(url); },
        [this](const QUrl& url) { OpenWindow(url); }));
    // No network or the portal down: the player's own page says so, not the engine's.
    new UnreachablePage(webBrowser->page(), portalBaseUrl);

    webAd = new QWebEngineView(client);
    webAd->setObjectName(u"webAd"_s);
    webAd->setAccessibleName(u"Advertisements and brokers"_s);
    // Commands from the advertisement pane are never run nor handed to the desktop.
    auto* adPage = new PlayerWebPage(profile, PlayerWebPage::Pane::Advertisement, nullptr,
                                     [this](const QUrl& url) { OpenWindow(url); });
    webAd->setPage(adPage);
    adPage->WatchUserInput(webAd);

    // Where the panes would stand had they been made with the window: right after the
    // logo in the keyboard's tab order, below the play bar and the status bar.
    QWidget::setTabOrder(after, webBrowser);
    QWidget::setTabOrder(webBrowser, webAd);
    for (QWidget* view : {static_cast<QWidget*>(webBrowser), static_cast<QWidget*>(webAd)}) {
        KeepDesktopColours(*view);
        view->stackUnder(above);
        if (client->isVisible()) {  // built after the window was shown
            view->show();
        }
    }
}

void WindowPanes::Attach() {
    main_->Attach(std::make_unique<WebViewPane>(webBrowser));
    ad_->Attach(std::make_unique<WebViewPane>(webAd));
}

void WindowPanes::OpenWindow(const QUrl& url) {
    // Commands in new windows of the portal pane reach runCommand through the page's
    // origin check.
    if (url.scheme() != kCommandScheme) {
        opener_.OpenExternally(url.toString(QUrl::FullyEncoded));
    }
}

}  // namespace lyrevane
