#include "rules/sourcerules.h"

#include "rules/commandurl.h"
#include "rules/hostnormaliser.h"
#include "rules/mediasourcecheck.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr qsizetype kMaxShownUrl = 200;

// A URL as a message shows it: on one line, without markup a message box could render,
// and short enough that a hostile server cannot fill the box.
QString shown(const QString& url) {
    QString text = url.simplified();
    text.replace(u'<', u"%3C"_s).replace(u'>', u"%3E"_s);
    if (text.size() > kMaxShownUrl) {
        text = text.left(kMaxShownUrl) + u"..."_s;
    }
    return text;
}

}  // namespace

SourceRules::SourceRules(QStringList extraRefused) : extraRefused_(std::move(extraRefused)) {
    for (const QString& entry : std::as_const(extraRefused_)) {
        if (!entry.contains(u"://"_s)) {
            const QString host = normaliseHost(entry);
            if (!host.isEmpty()) {
                extraHosts_.append(host);
            }
        }
    }
}

bool SourceRules::allows(const QString& url) const {
    if (url.isEmpty() || !isCommandMediaUrl(url)) {
        return false;
    }
    if (isRefusedSource(url)) {
        return false;
    }
    for (const QString& entry : extraRefused_) {
        if (!entry.isEmpty() && url.contains(entry, Qt::CaseInsensitive)) {
            return false;
        }
    }
    if (!extraHosts_.isEmpty()) {
        for (const QString& host : hostsOf(url)) {
            for (const QString& refused : extraHosts_) {
                if (hostIsWithin(host, refused)) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool SourceRules::allowsAddress(const sockaddr* address) const {
    char text[INET6_ADDRSTRLEN] = {};
    QString host;
    if (address == nullptr) {
        return false;
    }
    if (address->sa_family == AF_INET) {
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
        if (::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) == nullptr) {
            return false;
        }
        host = normaliseHost(QString::fromLatin1(text));
    } else if (address->sa_family == AF_INET6) {
        const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (::inet_ntop(AF_INET6, &ipv6->sin6_addr, text, sizeof text) == nullptr) {
            return false;
        }
        // Read as hosts are: IPv4 inside IPv6 is the IPv4 address.
        host = normaliseHost(u'[' + QString::fromLatin1(text) + u']');
    } else {
        return false;
    }
    for (const QStringList* list : {&refusedHosts(), &extraHosts_}) {
        for (const QString& refused : *list) {
            if (hostIsWithin(host, refused)) {
                return false;
            }
        }
    }
    return true;
}

namespace sourcemessages {

QString refusedRedirect(const QString& name, const QString& target) {
    return QCoreApplication::translate(
               "SourceMessages",
               "Cannot open %1: it redirects to %2, which this player does not open.")
        .arg(shown(name), shown(target));
}

QString refusedSource(const QString& name) {
    return QCoreApplication::translate("SourceMessages",
                                       "Cannot open %1: this player does not open such sources.")
        .arg(shown(name));
}

QString refusedPlaylist(const QString& name) {
    return QCoreApplication::translate("SourceMessages",
                                       "The playlist %1 lists no source this player may open.")
        .arg(shown(name));
}

QString tooManyRedirects(const QString& name) {
    return QCoreApplication::translate("SourceMessages", "Cannot open %1: too many redirects.")
        .arg(shown(name));
}

QString redirectLoop(const QString& name) {
    return QCoreApplication::translate("SourceMessages", "Cannot open %1: it redirects in a loop.")
        .arg(shown(name));
}

QString emptyPlaylist(const QString& name) {
    return QCoreApplication::translate("SourceMessages", "The playlist %1 has no entries.")
        .arg(shown(name));
}

QString timedOut(const QString& name) {
    return QCoreApplication::translate("SourceMessages", "Timed out connecting to %1.")
        .arg(shown(name));
}

QString playlistTooLarge(const QString& name) {
    return QCoreApplication::translate("SourceMessages", "The playlist %1 is too large.")
        .arg(shown(name));
}

QString playlistsTooDeep(const QString& name) {
    return QCoreApplication::translate("SourceMessages",
                                       "Cannot open %1: playlists nested too deeply.")
        .arg(shown(name));
}

}  // namespace sourcemessages

}  // namespace lyrevane
