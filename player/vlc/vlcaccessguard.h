#pragma once

#include "rules/sourcerules.h"

#include <QString>

namespace lyrevane {

class MediaGateway;

// Whether an address is HTTP(S), which libVLC only ever reads from the gateway or the feed.
bool isHttpUrl(const QString& url);

// A second line behind the gateway, for the accesses libVLC opens (read from its log): the
// gateway is what keeps libVLC from unchecked places, and this is only a backstop should libVLC
// ever open something else. libVLC is handed gateway addresses and the other stream schemes the
// rules allow, and reads fed streams from memory: nothing else. Any thread.
class VlcAccessGuard {
public:
    VlcAccessGuard(const SourceRules& rules, const MediaGateway& gateway)
        : rules_(rules), gateway_(gateway) {}

    bool mayOpen(const QString& target) const;

private:
    const SourceRules& rules_;
    const MediaGateway& gateway_;
};

}  // namespace lyrevane
