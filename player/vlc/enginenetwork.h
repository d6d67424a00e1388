#pragma once

#include "early/earlyconnection.h"
#include "feed/feedbuffer.h"
#include "net/hostpinning.h"
#include "net/mediagateway.h"
#include "net/streamfeed.h"
#include "rules/sourcerules.h"

#include <QThread>

#include <chrono>
#include <memory>

namespace lyrevane {

// The engine's network thread and what lives on it: the stream feed, the media gateway and the
// host pinning. Its calls are made from the engine's thread and queued to the network thread;
// the objects' signals are connected by the engine.
class EngineNetwork {
public:
    EngineNetwork(const SourceRules& rules, std::chrono::milliseconds connectTimeout);
    ~EngineNetwork();
    EngineNetwork(const EngineNetwork&) = delete;
    EngineNetwork& operator=(const EngineNetwork&) = delete;

    StreamFeed* feed() const { return feed_; }
    MediaGateway* gateway() const { return gateway_; }
    HostPinning* pinning() const { return pinning_; }

    // The feed reads `source` into `buffer`, its reports tagged with `ticket`; the buffer
    // wakes the feed whenever it has room again.
    void openFeed(quint64 ticket, const QString& source, const std::shared_ptr<FeedBuffer>& buffer);
    // Reads `source` into `buffer` again, after what it holds (the same buffer, a new ticket).
    void reopenFeed(quint64 ticket, const QString& source,
                    const std::shared_ptr<FeedBuffer>& buffer);
    void closeFeed();
    void pin(quint64 ticket, const QString& source, std::chrono::milliseconds deadline);
    void setEarlyConnection(std::shared_ptr<EarlyConnection> early);

private:
    QThread thread_;
    StreamFeed* feed_ = nullptr;
    MediaGateway* gateway_ = nullptr;
    HostPinning* pinning_ = nullptr;
};

}  // namespace lyrevane
