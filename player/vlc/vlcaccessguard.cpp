#include "vlc/vlcaccessguard.h"

#include "net/mediagateway.h"
#include "vlc/vlcquirks.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

bool isHttpUrl(const QString& url) {
    return url.startsWith(u"http://"_s, Qt::CaseInsensitive) ||
           url.startsWith(u"https://"_s, Qt::CaseInsensitive);
}

bool VlcAccessGuard::mayOpen(const QString& target) const {
    return vlcquirks::isFedAccess(target) ||
           (gateway_.isListening() && target.startsWith(gateway_.origin() + u'/')) ||
           (!isHttpUrl(target) && rules_.allows(target));
}

}  // namespace lyrevane
