#include "webpanes.h"

#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include "commandurl.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How long a new window may take to name its target before it is dropped.
constexpr int kPopupPatienceMs = 30000;

// Stands in for a new window just long enough to learn where it was meant to go.
class PopupCatcher final : public QWebEnginePage {
public:
    PopupCatcher(QWebEngineProfile* profile, PlayerWebPage::PopupHandler handler, QObject* parent)
        : QWebEnginePage(profile, parent), handler_(std::move(handler)) {
        QTimer::singleShot(kPopupPatienceMs, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (done_ || !isMainFrame) {
            return false;
        }
        // A window opened without an address starts on a blank page; wait for the real one.
        if (url.isEmpty() || url.toString() == u"about:blank"_s) {
            return true;
        }
        done_ = true;
        if (handler_) {
            // Handled after this call returns: the handler may open modal boxes.
            QTimer::singleShot(0, parent(), [handler = handler_, url] { handler(url); });
        }
        deleteLater();
        return false;
    }

private:
    PlayerWebPage::PopupHandler handler_;
    bool done_ = false;
};

QString playerFolder(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location) + u"/Lyrevane/WebEngine"_s;
    QDir().mkpath(path);
    return path;
}

}  // namespace

void RegisterCommandScheme() {
    QWebEngineUrlScheme scheme(kCommandScheme.toUtf8());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* CreatePlayerProfile(QObject* parent) {
    auto* profile = new QWebEngineProfile(u"Lyrevane"_s, parent);
    profile->setPersistentStoragePath(playerFolder(QStandardPaths::GenericDataLocation));
    profile->setCachePath(playerFolder(QStandardPaths::GenericCacheLocation));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    profile->installUrlSchemeHandler(kCommandScheme.toUtf8(), new CommandSchemeRefuser(profile));
    return profile;
}

void CommandSchemeRefuser::requestStarted(QWebEngineUrlRequestJob* job) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
}

PlayerWebPage::PlayerWebPage(QWebEngineProfile* profile, NavigationFilter cancelNavigation,
                             PopupHandler openPopup, QObject* parent)
    : QWebEnginePage(profile, parent),
      cancelNavigation_(std::move(cancelNavigation)),
      openPopup_(std::move(openPopup)) {}

bool PlayerWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                            bool isMainFrame) {
    if (cancelNavigation_ && cancelNavigation_(url)) {
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* PlayerWebPage::createWindow(WebWindowType) {
    return new PopupCatcher(profile(), openPopup_, this);
}

void WebViewPane::Navigate(const QString& url) {
    if (!view_) {
        return;
    }
    QUrl target(url, QUrl::TolerantMode);
    const bool schemeless = !target.isValid() || target.scheme().isEmpty() ||
                            target.scheme() == u"localhost"_s;  // "localhost:8080/x"
    if (schemeless && !url.trimmed().isEmpty()) {
        // An address typed without a scheme ("www.example.com") means a web page.
        target = QUrl::fromUserInput(url);
    }
    view_->setUrl(target);
}

void WebViewPane::Refresh() {
    if (view_) {
        view_->reload();
    }
}

}  // namespace lyrevane
