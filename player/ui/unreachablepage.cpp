#include "ui/unreachablepage.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// %1 what cannot be reached, %2 the address tried, %3 why, %4 the address to try again.
constexpr QStringView kTemplate =
    uR"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Cannot be reached</title>
<style>
body { font-family: "DejaVu Sans", sans-serif; margin: 2em; color: #12335c; background: #f4f6f8; }
h1 { font-size: 1.3em; }
p { max-width: 38em; line-height: 1.4; }
code { word-break: break-all; }
a.button { display: inline-block; padding: 0.5em 1.4em; background: #1d4e89; color: white;
           text-decoration: none; border-radius: 4px; }
a.button:focus { outline: 3px solid #e89a1c; }
</style></head>
<body>
<h1>%1 cannot be reached</h1>
<p>The player could not open <code>%2</code>: %3.</p>
<p>Check that this computer is connected to the internet, then try again. The play bar keeps
working meanwhile: a stream that plays goes on playing.</p>
<p><a id="retry" class="button" role="button" href="%4">Try again</a></p>
</body></html>
)";

bool IsPortalAddress(const QString& portalBase, const QUrl& url) {
    const QUrl base(portalBase);
    return base.host().compare(url.host(), Qt::CaseInsensitive) == 0 &&
           base.port(80) == url.port(80);
}

}  // namespace

UnreachablePage::UnreachablePage(QWebEnginePage* page, QString portalBase)
    : QObject(page), page_(page), portalBase_(std::move(portalBase)) {
    connect(page_, &QWebEnginePage::loadingChanged, this, &UnreachablePage::OnLoading);
}

QString UnreachablePage::Html(const QString& portalBase, const QUrl& failed, const QString& error) {
    const QString what = IsPortalAddress(portalBase, failed)
                             ? u"The Quillmoor portal at "_s + portalBase.toHtmlEscaped()
                             : u"This page"_s;
    const QString address = failed.toString().toHtmlEscaped();
    const QString why = error.isEmpty() ? u"no connection"_s : error;
    return kTemplate.toString().arg(what, address, why.toHtmlEscaped(),
                                    QString::fromLatin1(failed.toEncoded()).toHtmlEscaped());
}

void UnreachablePage::OnLoading(const QWebEngineLoadingInfo& info) {
    const bool unreachable = info.errorDomain() == QWebEngineLoadingInfo::ConnectionErrorDomain ||
                             info.errorDomain() == QWebEngineLoadingInfo::DnsErrorDomain;
    const QString scheme = info.url().scheme();
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus || !unreachable ||
        (scheme != u"http" && scheme != u"https")) {
        return;
    }
    page_->setHtml(Html(portalBase_, info.url(), info.errorString()));
}

}  // namespace lyrevane
