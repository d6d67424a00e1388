#pragma once

#include <QList>
#include <QPointer>
#include <QSet>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <functional>
#include <utility>

#include "core/panepolicy.h"
#include "platform/platform.h"

class QWebEngineNewWindowRequest;
class QWebEngineProfile;

namespace lyrevane {

// Makes "lyrev:" a scheme the browser engine knows, so that every navigation to it
// reaches the pages' navigation checks. Must run before the application object exists.
void registerCommandScheme();

// The one persistent browser profile that both panes share, with cookies and storage
// under $XDG_DATA_HOME/Lyrevane and the cache under $XDG_CACHE_HOME/Lyrevane.
QWebEngineProfile* createPlayerProfile(QObject* parent);

// Every "lyrev:" request ends here and is aborted, so the page that asked stays as it
// was. A request that a page let through on purpose (see Expect) first hands the origin
// that started it to that page's decision; any other is refused quietly.
class CommandSchemeHandler final : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using Decision = std::function<void(const QUrl& initiator)>;
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // The handler installed in `profile`, if it is this kind.
    static CommandSchemeHandler* of(QWebEngineProfile* profile);

    // The next request for `url` goes to `decide`.
    void expect(const QUrl& url, Decision decide);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

    // Notes a command or window that was not let through; each kind is logged to stderr
    // the first time it occurs.
    void dropped(const QString& kind);

private:
    QList<std::pair<QUrl, Decision>> expected_;
    QSet<QString> logged_;
};

// A pane's page. In the main pane, "lyrev:" navigations of the top page, of its frames
// and of the windows it opens reach `runCommand` when the origin that asked is of the
// top page's site; in the advertisement pane they never run. `openPopup` receives the
// target of every new window the page may open (target=_blank, window.open); in the
// advertisement pane only a window asked for with a click or key press opens, and at
// most one per click.
class PlayerWebPage final : public QWebEnginePage {
    Q_OBJECT

public:
    enum class Pane { Main, Advertisement };
    using CommandRunner = std::function<void(const QUrl&)>;
    using PopupHandler = std::function<void(const QUrl&)>;

    PlayerWebPage(QWebEngineProfile* profile, Pane pane, CommandRunner runCommand,
                  PopupHandler openPopup, QObject* parent = nullptr);

    // Counts the user's clicks and key presses in `view`, the view that shows this page.
    void watchUserInput(QWebEngineView* view);
    // A click or key press: allows one new window.
    void noteUserInput() { windowGate_.userInput(); }

    // Lets the command `url` through to the scheme handler, which hands its initiator to
    // the judgement against `topPage`; `holder`, if any, goes once the command is judged.
    void expectCommand(const QUrl& url, const QUrl& topPage, const QString& where,
                       QPointer<QObject> holder = {});

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    void onNewWindow(QWebEngineNewWindowRequest& request);
    void dropped(const QString& kind);

    Pane pane_;
    CommandRunner runCommand_;
    PopupHandler openPopup_;
    NewWindowGate windowGate_;
};

// A browser pane as the player's logic drives it.
class WebViewPane final : public BrowserPane {
public:
    explicit WebViewPane(QWebEngineView* view) : view_(view) {}
    void navigate(const QString& url) override;
    void refresh() override;

private:
    QPointer<QWebEngineView> view_;
};

}  // namespace lyrevane
