#include "core/panepolicy.h"

#include <QStringList>

#include <libpsl.h>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

bool isAddress(const QString& host) {
    if (host.contains(u':')) {
        return true;  // IPv6
    }
    const QStringList parts = host.split(u'.');
    return parts.size() == 4 && std::all_of(parts.cbegin(), parts.cend(), [](const QString& p) {
               bool ok = false;
               p.toUInt(&ok);
               return ok;
           });
}

// The registrable domain of a lower-case ASCII host by the Public Suffix List: the
// distribution's list when it is newer than the one libpsl was built with. A host that
// is itself a public suffix ("github.io", "co.uk") is its own site.
QString registrableDomain(const QString& host) {
    const QByteArray ascii = host.toLatin1();
    psl_ctx_t* list = psl_latest(nullptr);
    const char* domain =
        list != nullptr ? psl_registrable_domain(list, ascii.constData()) : nullptr;
    const QString result = domain != nullptr ? QString::fromLatin1(domain) : host;
    psl_free(list);
    return result;
}

}  // namespace

QString siteOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    QString host = url.host(QUrl::EncodeUnicode).toLower();
    while (host.endsWith(u'.')) {
        host.chop(1);
    }
    if (scheme.isEmpty() || host.isEmpty()) {
        return {};
    }
    if (!isAddress(host)) {
        host = registrableDomain(host);
    }
    return scheme + u"://"_s + host;
}

CommandOrigin judgeCommandOrigin(const QUrl& topPage, const QUrl& initiator) {
    const QString initiatorSite = siteOf(initiator);
    if (initiatorSite.isEmpty()) {
        return CommandOrigin::Opaque;
    }
    return initiatorSite == siteOf(topPage) ? CommandOrigin::SameSite : CommandOrigin::OtherSite;
}

}  // namespace lyrevane
