#include "ui/webpanes.h"

#include <QDir>
#include <QEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include "core/panepolicy.h"
#include "rules/commandurl.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How long a new window may take to name its target before it is dropped.
constexpr int kPopupPatienceMs = 30000;
// Commands let through but never requested are forgotten beyond this many.
constexpr qsizetype kMaxExpectedCommands = 32;

// Stands in for a new window just long enough to learn where it was meant to go. A
// command URL goes to `catchCommand` when there is one (it returns true to let the
// navigation through to the scheme handler); anything else to `handler`.
class PopupCatcher final : public QWebEnginePage {
public:
    using CommandCatcher = std::function<bool(const QUrl&, PopupCatcher*)>;

    PopupCatcher(QWebEngineProfile* profile, PlayerWebPage::PopupHandler handler,
                 CommandCatcher catchCommand, QObject* parent)
        : QWebEnginePage(profile, parent),
          handler_(std::move(handler)),
          catchCommand_(std::move(catchCommand)) {
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
        if (catchCommand_ && catchCommand_(url, this)) {
            return true;
        }
        if (handler_) {
            // Handled after this call returns: the handler may open modal boxes.
            QTimer::singleShot(0, parent(), [handler = handler_, url] { handler(url); });
        }
        deleteLater();
        return false;
    }

private:
    PlayerWebPage::PopupHandler handler_;
    CommandCatcher catchCommand_;
    bool done_ = false;
};

// Reports clicks and key presses in a view, and in the widgets it adds later (the
// browser engine renders into a child widget that it may replace).
class UserInputWatcher final : public QObject {
public:
    UserInputWatcher(QWidget* view, PlayerWebPage* page) : QObject(view), page_(page) {
        watch(view);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::ChildAdded:
                if (auto* child =
                        qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) {
                    watch(child);
                }
                break;
            case QEvent::MouseButtonPress:
            case QEvent::KeyPress:
            case QEvent::TouchBegin:
                if (page_) {
                    page_->noteUserInput();
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void watch(QWidget* widget) {
        widget->installEventFilter(this);
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            child->installEventFilter(this);
        }
    }
    QPointer<PlayerWebPage> page_;
};

QString originText(const QUrl& initiator) {
    const QString text = initiator.toString();
    return text.isEmpty() ? u"null"_s : text;
}

QString playerFolder(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location) + u"/Lyrevane/WebEngine"_s;
    QDir().mkpath(path);
    return path;
}

}  // namespace

void registerCommandScheme() {
    QWebEngineUrlScheme scheme(kCommandScheme.toUtf8());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* createPlayerProfile(QObject* parent) {
    auto* profile = new QWebEngineProfile(u"Lyrevane"_s, parent);
    profile->setPersistentStoragePath(playerFolder(QStandardPaths::GenericDataLocation));
    profile->setCachePath(playerFolder(QStandardPaths::GenericCacheLocation));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    profile->installUrlSchemeHandler(kCommandScheme.toUtf8(), new CommandSchemeHandler(profile));
    return profile;
}

CommandSchemeHandler* CommandSchemeHandler::of(QWebEngineProfile* profile) {
    const QWebEngineUrlSchemeHandler* handler =
        profile ? profile->urlSchemeHandler(kCommandScheme.toUtf8()) : nullptr;
    return qobject_cast<CommandSchemeHandler*>(const_cast<QWebEngineUrlSchemeHandler*>(handler));
}

void CommandSchemeHandler::expect(const QUrl& url, Decision decide) {
    if (expected_.size() >= kMaxExpectedCommands) {
        expected_.removeFirst();
    }
    expected_.append({url, std::move(decide)});
}

void CommandSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    for (qsizetype i = 0; i < expected_.size(); ++i) {
        if (expected_[i].first == url) {
            const Decision decide = std::move(expected_[i].second);
            expected_.removeAt(i);
            const QUrl initiator = job->initiator();
            // Aborted, not failed: the frame keeps its page and shows no error.
            job->fail(QWebEngineUrlRequestJob::RequestAborted);
            decide(initiator);
            return;
        }
    }
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
}

void CommandSchemeHandler::dropped(const QString& kind) {
    if (!logged_.contains(kind)) {
        logged_.insert(kind);
        qWarning().noquote() << u"Lyrevane: ignored %1 (further ones are ignored silently)."_s.arg(
            kind);
    }
}

PlayerWebPage::PlayerWebPage(QWebEngineProfile* profile, Pane pane, CommandRunner runCommand,
                             PopupHandler openPopup, QObject* parent)
    : QWebEnginePage(profile, parent),
      pane_(pane),
      runCommand_(std::move(runCommand)),
      openPopup_(std::move(openPopup)) {
    if (pane_ == Pane::Advertisement) {
        // Scripts open windows only while handling a click or key press.
        settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    }
    connect(this, &QWebEnginePage::newWindowRequested, this, &PlayerWebPage::onNewWindow);
}

void PlayerWebPage::watchUserInput(QWebEngineView* view) {
    new UserInputWatcher(view, this);
}

void PlayerWebPage::dropped(const QString& kind) {
    if (CommandSchemeHandler* handler = CommandSchemeHandler::of(profile())) {
        handler->dropped(kind);
    }
}

void PlayerWebPage::expectCommand(const QUrl& url, const QUrl& topPage, const QString& where,
                                  QPointer<QObject> holder) {
    CommandSchemeHandler* handler = CommandSchemeHandler::of(profile());
    if (!handler) {
        return;
    }
    handler->expect(url, [page = QPointer<PlayerWebPage>(this), url, topPage, where,
                          holder](const QUrl& initiator) {
        if (holder) {
            holder->deleteLater();
        }
        if (!page) {
            return;
        }
        switch (judgeCommandOrigin(topPage, initiator)) {
            case CommandOrigin::SameSite:
                if (page->runCommand_) {
                    page->runCommand_(url);
                }
                break;
            case CommandOrigin::Opaque:
                page->dropped(
                    u"\"lyrev:\" commands that a sandboxed frame asked for in %1"_s.arg(where));
                break;
            case CommandOrigin::OtherSite:
                page->dropped(
                    u"\"lyrev:\" commands that a page of another site (%2) asked for in %1"_s.arg(
                        where, originText(initiator)));
                break;
        }
    });
}

bool PlayerWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                            bool isMainFrame) {
    if (url.scheme() == kCommandScheme) {
        if (pane_ != Pane::Main) {
            dropped(u"\"lyrev:\" commands from the advertisement pane"_s);
            return false;
        }
        if (matchCommandUrl(url) && type == NavigationTypeTyped && isMainFrame) {
            // Typed by the user (Browse To...): no page asked for it.
            if (runCommand_) {
                runCommand_(url);
            }
            return false;
        }
        if (matchCommandUrl(url)) {
            // Let through to the scheme handler, which knows the origin that asked.
            expectCommand(url, this->url(), isMainFrame ? u"the top frame"_s : u"a frame"_s);
            return true;
        }
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void PlayerWebPage::onNewWindow(QWebEngineNewWindowRequest& request) {
    if (pane_ == Pane::Advertisement) {
        switch (windowGate_.ask(request.isUserInitiated())) {
            case NewWindowGate::Verdict::Open:
                break;
            case NewWindowGate::Verdict::NotFromTheUser:
                dropped(u"a new window the advertisement pane opened without a click"_s);
                return;
            case NewWindowGate::Verdict::OneAlreadyOpened:
                dropped(u"more than one new window for one click in the advertisement pane"_s);
                return;
        }
    }
    PopupCatcher::CommandCatcher catchCommand;
    if (pane_ == Pane::Main) {
        catchCommand = [page = QPointer<PlayerWebPage>(this), topPage = url()](
                           const QUrl& target, PopupCatcher* catcher) {
            if (!page || target.scheme() != kCommandScheme || !matchCommandUrl(target)) {
                return false;
            }
            page->expectCommand(target, topPage, u"a new window"_s, catcher);
            return true;
        };
    }
    request.openIn(new PopupCatcher(profile(), openPopup_, std::move(catchCommand), this));
}

void WebViewPane::navigate(const QString& url) {
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

void WebViewPane::refresh() {
    if (view_) {
        view_->reload();
    }
}

}  // namespace lyrevane
