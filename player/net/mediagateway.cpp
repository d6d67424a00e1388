#include "net/mediagateway.h"

#include "net/gatewayexchange.h"

#include <QMutexLocker>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr qsizetype kTokenLength = 32;  // 128 bits in hex
// Of the name after the token: its end, which holds the extension, is enough for a hint.
constexpr qsizetype kMaxName = 120;

QByteArray newToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words).toHex();
}

// The last segment of the URL's path, percent-encoded, as it follows the token.
QString nameOf(const QString& url) {
    const QString name = QUrl(url).fileName(QUrl::FullyDecoded).right(kMaxName);
    return QString::fromLatin1(QUrl::toPercentEncoding(name));
}

}  // namespace

MediaGateway::MediaGateway(MediaGatewayOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), server_(this) {
    connect(&server_, &QTcpServer::newConnection, this, &MediaGateway::accept);
    server_.setMaxPendingConnections(options_.maxConnections * 4);
    if (server_.listen(QHostAddress::LocalHost, 0)) {
        origin_ = u"http://127.0.0.1:"_s + QString::number(server_.serverPort());
    }
}

MediaGateway::~MediaGateway() = default;

QString MediaGateway::publish(const QString& url) {
    return publishEntry(url, false, false);
}

QString MediaGateway::publishListed(const QString& url) {
    return publishEntry(url, false, true);
}

QString MediaGateway::publishRefused(const QString& target) {
    return publishEntry(target, true, true);
}

QString MediaGateway::publishEntry(const QString& url, bool refused, bool listed) {
    if (url.size() > kMaxUrl && !refused) {
        return publishEntry(url, true, listed);
    }
    const QString kept = url.left(kMaxUrl);
    const QString key = refused ? u'!' + kept : kept;
    QMutexLocker lock(&mutex_);
    QByteArray token = byUrl_.value(key);
    if (token.isEmpty()) {
        token = newToken();
        tokens_.insert(token, Entry{kept, key, refused, listed, false});
        byUrl_.insert(key, token);
        order_.push_back(token);
        while (std::cmp_greater(order_.size(), options_.maxTokens)) {
            byUrl_.remove(tokens_.take(order_.front()).key);
            order_.pop_front();
        }
    }
    return origin_ + u'/' + QString::fromLatin1(token) + u'/' +
           (refused ? QString() : nameOf(kept));
}

quint64 MediaGateway::revokeAll() {
    quint64 session = 0;
    {
        QMutexLocker lock(&mutex_);
        tokens_.clear();
        byUrl_.clear();
        order_.clear();
        session = ++session_;
    }
    QMetaObject::invokeMethod(this, &MediaGateway::endStale, Qt::QueuedConnection);
    return session;
}

QString MediaGateway::upstreamOf(const QString& url) const {
    if (origin_.isEmpty() || !url.startsWith(origin_ + u'/')) {
        return url;
    }
    const QString path = url.mid(origin_.size() + 1);
    const qsizetype slash = path.indexOf(u'/');
    const QByteArray token = (slash < 0 ? path : path.left(slash)).toLatin1();
    Entry entry;
    {
        QMutexLocker lock(&mutex_);
        const auto it = tokens_.constFind(token);
        if (it == tokens_.cend()) {
            return {};
        }
        entry = *it;
    }
    const QString rest = slash < 0 ? QString() : path.mid(slash + 1);
    if (entry.refused || rest.isEmpty() || rest == nameOf(entry.url)) {
        return entry.url;
    }
    // Below the token: what the media library resolved against the gateway's address, taken
    // against the real one instead.
    const QUrl relative(rest, QUrl::StrictMode);
    if (!relative.isValid() || !relative.isRelative() || rest.startsWith(u'/')) {
        return {};
    }
    return QUrl(entry.url).resolved(relative).toString(QUrl::FullyEncoded);
}

QString MediaGateway::unmasked(const QString& text) const {
    if (origin_.isEmpty() || !text.contains(origin_)) {
        return text;
    }
    static const QRegularExpression address(u"http://127\\.0\\.0\\.1:\\d+/[0-9a-f]+/[^\\s'\"]*"_s);
    QString result;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& match : address.globalMatch(text)) {
        result += text.mid(at, match.capturedStart() - at);
        const QString real = upstreamOf(match.captured());
        result += real.isEmpty() ? u"(gone)"_s : real;
        at = match.capturedEnd();
    }
    return result + text.mid(at);
}

MediaGateway::Lookup MediaGateway::lookup(const QByteArray& token) {
    QMutexLocker lock(&mutex_);
    Lookup found;
    found.session = session_;
    const auto it = tokens_.find(token);
    if (token.size() != kTokenLength || it == tokens_.end()) {
        return found;
    }
    found.found = true;
    found.url = it->url;
    found.refused = it->refused;
    found.listed = it->listed;
    found.firstRequest = !std::exchange(it->told, true);
    return found;
}

void MediaGateway::markRefused(const QByteArray& token) {
    QMutexLocker lock(&mutex_);
    const auto it = tokens_.find(token);
    if (it != tokens_.end()) {
        it->refused = true;
        it->told = true;
    }
}

void MediaGateway::reportRefused(quint64 session, const QString& target) {
    Q_EMIT refused(session, target);
}

void MediaGateway::reportFailed(quint64 session, const QString& line) {
    Q_EMIT failed(session, line);
}

bool MediaGateway::admit() const {
    const auto served = std::count_if(exchanges_.cbegin(), exchanges_.cend(),
                                      [](const QPointer<GatewayExchange>& exchange) {
                                          return exchange != nullptr && exchange->admitted();
                                      });
    return served < options_.maxConnections;
}

void MediaGateway::accept() {
    exchanges_.removeAll(nullptr);
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QList<GatewayExchange*> waiting;
        for (const QPointer<GatewayExchange>& exchange : std::as_const(exchanges_)) {
            if (exchange != nullptr && exchange->waiting()) {
                waiting.append(exchange);
            }
        }
        if (waiting.size() >= options_.maxWaiting) {
            waiting.constFirst()->end();  // the oldest that asked for nothing makes room
        }
        exchanges_.append(new GatewayExchange(*this, socket));
    }
}

// Ends the requests of revoked addresses.
void MediaGateway::endStale() {
    quint64 session = 0;
    {
        QMutexLocker lock(&mutex_);
        session = session_;
    }
    exchanges_.removeAll(nullptr);
    const QList<QPointer<GatewayExchange>> exchanges = exchanges_;
    for (const QPointer<GatewayExchange>& exchange : exchanges) {
        if (exchange != nullptr && exchange->session() != 0 && exchange->session() != session) {
            exchange->end();
        }
    }
}

}  // namespace lyrevane
