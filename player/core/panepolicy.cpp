#include "panepolicy.h"

#include <QStringList>

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

// Second-level labels under which registries hand out names ("example.co.uk").
bool isCommonSecondLevel(const QString& label) {
    static const QStringList kLabels = {u"co"_s,  u"com"_s, u"net"_s, u"org"_s, u"gov"_s,
                                        u"edu"_s, u"ac"_s,  u"ne"_s,  u"or"_s,  u"go"_s};
    return kLabels.contains(label);
}

}  // namespace

QString SiteOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    QString host = url.host().toLower();
    while (host.endsWith(u'.')) {
        host.chop(1);
    }
    if (scheme.isEmpty() || host.isEmpty()) {
        return {};
    }
    if (!isAddress(host)) {
        const QStringList labels = host.split(u'.');
        qsizetype keep = 2;
        if (labels.size() >= 3 && labels.back().size() == 2 &&
            isCommonSecondLevel(labels[labels.size() - 2])) {
            keep = 3;
        }
        if (labels.size() > keep) {
            host = labels.mid(labels.size() - keep).join(u'.');
        }
    }
    return scheme + u"://"_s + host;
}

CommandOrigin JudgeCommandOrigin(const QUrl& topPage, const QUrl& initiator) {
    const QString initiatorSite = SiteOf(initiator);
    if (initiatorSite.isEmpty()) {
        return CommandOrigin::Opaque;
    }
    return initiatorSite == SiteOf(topPage) ? CommandOrigin::SameSite : CommandOrigin::OtherSite;
}

}  // namespace lyrevane
