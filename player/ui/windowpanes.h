#pragma once

#include <QCoreApplication>

#include <functional>
#include <memory>

class QString;
class QTimer;
class QUrl;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

namespace lyrevane {

class DeferredPane;
class PaneRecovery;
class UrlOpener;

// The window's two browser panes, the portal and the advertisements. The session
// navigates them from the start; their views are built later, on a browser profile,
// and then take the navigations that waited. A new window either pane asks for opens
// on the desktop, a command link never. A pane whose page cannot be loaded shows the
// player's own page, and both come back with "Try again" or when the network does.
class WindowPanes final {
    Q_DECLARE_TR_FUNCTIONS(WindowPanes)

public:
    // `runCommand`: a command link followed in the portal pane.
    WindowPanes(UrlOpener& opener, std::function<void(const QUrl&)> runCommand);
    // The pages go before the views and the shared profile.
    ~WindowPanes();

    DeferredPane& mainPane() { return *main_; }
    DeferredPane& ad() { return *ad_; }
    bool isBuilt() const { return webBrowser != nullptr; }
    // Builds both views in `client` on `profile`: in the tab order right after `after`,
    // under `above`, shown if `client` is. Then Attach, once they are placed.
    void build(QWidget* client, QWebEngineProfile* profile, const QString& portalBaseUrl,
               QWidget* after, QWidget* above);
    // The views take the navigations that waited and all that come.
    void attach();

    QWebEngineView* webBrowser = nullptr;
    QWebEngineView* webAd = nullptr;

private:
    void openWindow(const QUrl& url);
    // Reloads the panes that failed when the network comes back, told by the platform's
    // reachability where it can tell, else by timed retries.
    void watchNetwork();

    UrlOpener& opener_;
    std::function<void(const QUrl&)> runCommand_;
    std::unique_ptr<DeferredPane> main_;
    std::unique_ptr<DeferredPane> ad_;
    std::unique_ptr<PaneRecovery> recovery_;
    QTimer* retry_ = nullptr;  // the recovery's next timed retry
};

}  // namespace lyrevane
