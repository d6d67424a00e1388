#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QWebEngineLoadingInfo;
class QWebEnginePage;

namespace lyrevane {

// The player's own page for a pane's address that cannot be loaded, instead of the browser
// engine's. In the main pane it is said for an address that cannot be reached (no network,
// the portal down, a name that does not resolve): the page names the portal and the address
// and offers "Try again"; pages that a server did send, an HTTP error page such as a 404
// included, are left as they are. In the advertisement pane any failure shows a quiet page
// in the skin's colours, with no wording. Built into the player, they need no network.
class UnreachablePage final : public QObject {
public:
    enum class Kind { Portal, Quiet };
    // What becomes of the pane's loads: `failed` (the own page shows for that address),
    // `loaded` (a page of its own loaded), `tryAgain` (the listener chose "Try again").
    struct Events {
        std::function<void(const QUrl& url)> failed;
        std::function<void()> loaded;
        std::function<void()> tryAgain;
    };
    // Watches `page` (and lives as long as it); `colours` gives the quiet page's background
    // and text colours when it is shown.
    UnreachablePage(QWebEnginePage* page, Kind kind, QString portalBase, Events events,
                    std::function<std::pair<QColor, QColor>()> colours = {});

    // The page's HTML for `failed`, which could not be reached because of `error`.
    static QString html(const QString& portalBase, const QUrl& failed, const QString& error);
    // The quiet page in `background` and `text`.
    static QString quietHtml(const QColor& background, const QColor& text);

private:
    void onLoading(const QWebEngineLoadingInfo& info);

    QWebEnginePage* page_;
    Kind kind_;
    QString portalBase_;
    Events events_;
    std::function<std::pair<QColor, QColor>()> colours_;
    QUrl shownFor_;  // the address the own page stands for while it shows
};

}  // namespace lyrevane
