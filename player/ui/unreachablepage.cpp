#include "ui/unreachablepage.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// %1 what cannot be reached, %2 the address tried, %3 why, %4 the address to try again.
// Compact, so that "Try again" shows without scrolling in the pane of the default window;
// it takes the keyboard focus as the page opens.
constexpr QStringView kTemplate =
    uR"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Cannot be reached</title>
<style>
body { font-family: "DejaVu Sans", sans-serif; margin: 0.8em 1.2em; color: #12335c;
       background: #f4f6f8; font-size: 0.9em; }
h1 { font-size: 1.2em; margin: 0 0 0.5em; }
p { max-width: 40em; line-height: 1.35; margin: 0.5em 0; }
code { word-break: break-all; }
a.button { display: inline-block; padding: 0.4em 1.4em; background: #1d4e89; color: white;
           text-decoration: none; border-radius: 4px; }
a.button:focus { outline: 3px solid #e89a1c; }
</style></head>
<body>
<h1>%1 cannot be reached</h1>
<p>The player could not open <code>%2</code>: %3.</p>
<p><a id="retry" class="button" role="button" href="%4" autofocus>Try again</a></p>
<p>Check that this computer is connected to the internet. The pages load again by themselves
when the network comes back; the play bar keeps working meanwhile.</p>
<script>document.getElementById("retry").focus();</script>
</body></html>
)";

// The browser engine's code for a load given up for another.
constexpr int kAborted = -3;

// %1 the background colour, %2 the text colour.
constexpr QStringView kQuietTemplate =
    uR"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Advertisements</title></head>
<body bgcolor="%1" text="%2"></body></html>
)";

bool isPortalAddress(const QString& portalBase, const QUrl& url) {
    const QUrl base(portalBase);
    return base.host().compare(url.host(), Qt::CaseInsensitive) == 0 &&
           base.port(80) == url.port(80);
}

}  // namespace

UnreachablePage::UnreachablePage(QWebEnginePage* page, Kind kind, QString portalBase, Events events,
                                 std::function<std::pair<QColor, QColor>()> colours)
    : QObject(page),
      page_(page),
      kind_(kind),
      portalBase_(std::move(portalBase)),
      events_(std::move(events)),
      colours_(std::move(colours)) {
    if (kind_ == Kind::Quiet) {
        // Not even for a moment: the pane shows nothing until the quiet page is in.
        page_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    }
    connect(page_, &QWebEnginePage::loadingChanged, this, &UnreachablePage::onLoading);
}

QString UnreachablePage::html(const QString& portalBase, const QUrl& failed, const QString& error) {
    const QString what = isPortalAddress(portalBase, failed)
                             ? u"The Quillmoor portal at "_s + portalBase.toHtmlEscaped()
                             : u"This page"_s;
    const QString address = failed.toString().toHtmlEscaped();
    const QString why = error.isEmpty() ? u"no connection"_s : error;
    return kTemplate.toString().arg(what, address, why.toHtmlEscaped(),
                                    QString::fromLatin1(failed.toEncoded()).toHtmlEscaped());
}

QString UnreachablePage::quietHtml(const QColor& background, const QColor& text) {
    return kQuietTemplate.toString().arg(background.name(), text.name());
}

void UnreachablePage::onLoading(const QWebEngineLoadingInfo& info) {
    const QString scheme = info.url().scheme();
    if (scheme == u"data" || scheme == u"about") {
        return;  // the own page itself
    }
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            // Its "Try again" link leads back to the address it stands for.
            if (!shownFor_.isEmpty() && std::exchange(shownFor_, QUrl()) == info.url() &&
                events_.tryAgain) {
                events_.tryAgain();
            }
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            if (events_.loaded) {
                events_.loaded();
            }
            return;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            if (info.errorCode() == kAborted) {
                return;  // left for another address, which is being loaded
            }
            break;
        default:
            return;
    }
    if (kind_ == Kind::Quiet) {
        const auto [background, text] =
            colours_ ? colours_() : std::pair(QColor(Qt::white), QColor(Qt::black));
        page_->setHtml(quietHtml(background, text));
    } else {
        const bool unreachable =
            info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain ||
            info.errorDomain() == QWebEngineLoadingInfo::DnsErrorDomain;
        if (!unreachable || (scheme != u"http" && scheme != u"https")) {
            return;
        }
        page_->setHtml(html(portalBase_, info.url(), info.errorString()));
        // The keys go to it at once: Enter tries again.
        if (QWebEngineView* view = QWebEngineView::forPage(page_)) {
            view->setFocus(Qt::OtherFocusReason);
        }
    }
    shownFor_ = info.url();
    if (events_.failed) {
        events_.failed(info.url());
    }
}

}  // namespace lyrevane
