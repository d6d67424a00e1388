#include "rules/mediasourcecheck.h"

#include "platform/promptservice.h"
#include "rules/hostnormaliser.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

const QStringList& refusedSources() {
    static const QStringList kSources = {
        // Playlist files on an internet-radio directory's web server.
        u"http://www.radiodial.example/ram/jazzcorner.ram"_s,
        u"http://www.radiodial.example/ram/tradingfloorlive.ram"_s,
        // Playlists on streaming servers by address and port.
        u"http://192.0.2.17:8000/listen.pls"_s,
        u"http://198.51.100.42:8010/listen.pls"_s,
        u"http://203.0.113.9:9000/listen.pls"_s,
        // An audio stream on a radio-streaming host.
        u"http://media.wavecastle.example/live/marketbeat.wma"_s,
        // Hosts.
        u"radiodial.example"_s,
        u"wavecastle.example"_s,
        u"tickertalk.example"_s,
        u"bullhornfm.example"_s,
        u"streamharbor.example"_s,
        u"192.0.2.17"_s,
        u"pennystockradio.example"_s,
        u"openbell.example"_s,
        u"198.51.100.42"_s,
        u"tickertalk.example"_s,
        u"capitalairwaves.example"_s,
        u"marketmic.example"_s,
        u"203.0.113.9"_s,
        u"wavecastle.example"_s,
        u"bourseband.example"_s,
        u"192.0.2.17"_s,
        u"closingbell.example"_s,
    };
    return kSources;
}

const QStringList& refusedHosts() {
    static const QStringList kHosts = [] {
        QStringList hosts;
        for (const QString& entry : refusedSources()) {
            if (entry.contains(u"://"_s)) {
                continue;  // a stream URL; its host is a host entry as well
            }
            const QString host = normaliseHost(entry);
            if (!hosts.contains(host)) {
                hosts.append(host);
            }
        }
        return hosts;
    }();
    return kHosts;
}

bool isRefusedSource(const QString& theUrl) {
    for (const QString& entry : refusedSources()) {
        if (theUrl.contains(entry, Qt::CaseInsensitive)) {
            return true;
        }
    }
    for (const QString& host : hostsOf(theUrl)) {
        for (const QString& refused : refusedHosts()) {
            if (hostIsWithin(host, refused)) {
                return true;
            }
        }
    }
    return false;
}

bool checkMediaURL(const QString& theUrl, PromptService& prompts, bool errorQuietly) {
    if (!isRefusedSource(theUrl)) {
        return true;
    }
    if (!errorQuietly) {
        prompts.showMessage(kRefusedSourceMessage.toString(), MessageIcon::Exclamation);
    }
    return false;
}

}  // namespace lyrevane
