#pragma once

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <functional>

#include "platform.h"

class QWebEngineProfile;

namespace lyrevane {

// Makes "lyrev:" a scheme the browser engine knows, so that every navigation to it
// reaches the pages' navigation checks. Must run before the application object exists.
void RegisterCommandScheme();

// The one persistent browser profile that both panes share, with cookies and storage
// under $XDG_DATA_HOME/Lyrevane and the cache under $XDG_CACHE_HOME/Lyrevane.
QWebEngineProfile* CreatePlayerProfile(QObject* parent);

// Fails every "lyrev:" request that gets past the navigation checks, quietly.
class CommandSchemeRefuser final : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

// A pane's page. `cancelNavigation` sees every navigation the page is about to make
// (top level and frames) and returns true to cancel it; `openPopup` receives the target
// of every new window the page asks for (target=_blank, window.open).
class PlayerWebPage final : public QWebEnginePage {
    Q_OBJECT

public:
    using NavigationFilter = std::function<bool(const QUrl&)>;
    using PopupHandler = std::function<void(const QUrl&)>;

    PlayerWebPage(QWebEngineProfile* profile, NavigationFilter cancelNavigation,
                  PopupHandler openPopup, QObject* parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    NavigationFilter cancelNavigation_;
    PopupHandler openPopup_;
};

// A browser pane as the player's logic drives it.
class WebViewPane final : public BrowserPane {
public:
    explicit WebViewPane(QWebEngineView* view) : view_(view) {}
    void Navigate(const QString& url) override;
    void Refresh() override;

private:
    QPointer<QWebEngineView> view_;
};

}  // namespace lyrevane
