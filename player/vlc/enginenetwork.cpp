#include "vlc/enginenetwork.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The resolver gives up a little after the machine's own connect timeout would.
constexpr std::chrono::milliseconds kResolverGrace{1000};

SourceResolverOptions resolverOptions(const SourceRules& rules,
                                      std::chrono::milliseconds connectTimeout) {
    SourceResolverOptions options;
    options.rules = rules;
    options.deadline = connectTimeout + kResolverGrace;
    return options;
}

}  // namespace

EngineNetwork::EngineNetwork(const SourceRules& rules, std::chrono::milliseconds connectTimeout) {
    feed_ = new StreamFeed(resolverOptions(rules, connectTimeout));
    MediaGatewayOptions options;
    options.rules = rules;
    gateway_ = new MediaGateway(options);
    pinning_ = new HostPinning(rules);
    for (QObject* object : std::initializer_list<QObject*>{feed_, gateway_, pinning_}) {
        object->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, object, &QObject::deleteLater);
    }
    thread_.setObjectName(u"Lyrevane stream feed"_s);
    thread_.start();
}

EngineNetwork::~EngineNetwork() {
    closeFeed();
    thread_.quit();
    thread_.wait();
}

void EngineNetwork::openFeed(quint64 ticket, const QString& source,
                             const std::shared_ptr<FeedBuffer>& buffer) {
    buffer->setOnRoom([feed = feed_] {
        QMetaObject::invokeMethod(feed, &StreamFeed::pump, Qt::QueuedConnection);
    });
    reopenFeed(ticket, source, buffer);
}

void EngineNetwork::reopenFeed(quint64 ticket, const QString& source,
                               const std::shared_ptr<FeedBuffer>& buffer) {
    QMetaObject::invokeMethod(
        feed_, [feed = feed_, ticket, source, buffer] { feed->open(ticket, source, buffer); },
        Qt::QueuedConnection);
}

void EngineNetwork::closeFeed() {
    QMetaObject::invokeMethod(feed_, &StreamFeed::close, Qt::QueuedConnection);
}

void EngineNetwork::pin(quint64 ticket, const QString& source, std::chrono::milliseconds deadline) {
    QMetaObject::invokeMethod(
        pinning_,
        [pinning = pinning_, ticket, source, deadline] { pinning->pin(ticket, source, deadline); },
        Qt::QueuedConnection);
}

void EngineNetwork::setEarlyConnection(std::shared_ptr<EarlyConnection> early) {
    QMetaObject::invokeMethod(
        feed_, [feed = feed_, early] { feed->setEarlyConnection(early); }, Qt::QueuedConnection);
}

}  // namespace lyrevane
