#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QWebEngineLoadingInfo;
class QWebEnginePage;

namespace lyrevane {

// The player's own page for a main-pane address that cannot be reached (no network, the
// portal down, a name that does not resolve), instead of the browser engine's: it names
// the portal and the address, and offers "Try again". Built into the player, it needs no
// network. Pages that a server did send, an HTTP error page such as a 404 included, are
// left as they are: they are the server's to show.
class UnreachablePage final : public QObject {
public:
    // Watches `page` (and lives as long as it) for the portal at `portalBase`.
    UnreachablePage(QWebEnginePage* page, QString portalBase);

    // The page's HTML for `failed`, which could not be reached because of `error`.
    static QString Html(const QString& portalBase, const QUrl& failed, const QString& error);

private:
    void OnLoading(const QWebEngineLoadingInfo& info);

    QWebEnginePage* page_;
    QString portalBase_;
};

}  // namespace lyrevane
