#include "desktop/mprisservice.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QUrl>

#include <utility>

#include "common/busnames.h"
#include "desktop/mprisbus.h"
#include "engine/mediaengine.h"
#include "platform/promptservice.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

using busnames::kObjectPath;
using busnames::kPlayerInterface;
constexpr QStringView kBaseName = busnames::kPlayerName;
const QString kOwnInterface = busnames::kStatusInterface.toString();
constexpr uint kDoNotQueue = 4;    // DBUS_NAME_FLAG_DO_NOT_QUEUE
constexpr uint kPrimaryOwner = 1;  // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER

}  // namespace

MprisService::MprisService(MediaEngine& engine, MprisActions actions, QObject* parent)
    : QObject(parent),
      engine_(engine),
      actions_(std::move(actions)),
      connection_(QString()),
      status_(readMprisStatus(engine, 0)) {
    bus_ = new MprisBusObject(*this);
    bus_->moveToThread(&busThread_);
    connect(&busThread_, &QThread::finished, bus_, &QObject::deleteLater);
    busThread_.setObjectName(u"Lyrevane MPRIS"_s);
    busThread_.start();
    publish();
    for (auto signal : {&MediaEngine::openStateChanged, &MediaEngine::playStateChanged}) {
        connect(&engine_, signal, this, &MprisService::refresh);
    }
    connect(&engine_, &MediaEngine::metadataChanged, this, &MprisService::refresh);
    connect(&engine_, &MediaEngine::positionJumped, this, [this] {
        refresh();
        Q_EMIT seeked(position());
    });
    connect(&engine_, &MediaEngine::errorOccurred, this, [this] {
        const int count = engine_.errorCount();
        lastError_ = count > 0 ? engine_.errorDescription(count - 1) : QString();
        if (lastError_.isEmpty()) {
            lastError_ = u"The stream could not be played."_s;
        }
        refresh();
        emitChanged(kOwnInterface, {{busnames::kLastError.toString(), lastError_}});
    });
}

MprisService::~MprisService() {
    if (started_) {
        connection_.unregisterObject(kObjectPath.toString(), QDBusConnection::UnregisterTree);
        if (!busName_.isEmpty()) {
            // Let the name go without waiting for the answer.
            QDBusMessage call = QDBusMessage::createMethodCall(
                u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s,
                u"ReleaseName"_s);
            call << busName_;
            connection_.call(call, QDBus::NoBlock);
        }
    }
    busThread_.quit();
    busThread_.wait();
}

bool MprisService::start(QDBusConnection connection) {
    connection_ = connection;
    if (!connection_.isConnected() ||
        !connection_.registerObject(kObjectPath.toString(), bus_,
                                    QDBusConnection::ExportAdaptors)) {
        return false;
    }
    started_ = true;
    requestName(kBaseName.toString(), true);
    return true;
}

void MprisService::requestName(const QString& name, bool fallBackToInstance) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"RequestName"_s);
    call << name << kDoNotQueue;
    auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name, fallBackToInstance](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isValid() && reply.value() == kPrimaryOwner) {
                    busName_ = name;
                    Q_EMIT busNameAcquired(name);
                } else if (fallBackToInstance) {
                    // Another player holds the plain name: this one is an instance.
                    requestName(kBaseName.toString() + u".instance"_s +
                                    QString::number(QCoreApplication::applicationPid()),
                                false);
                }
            });
}

void MprisService::emitChanged(const QString& interface, const QVariantMap& values) {
    if (!started_ || values.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath.toString(), u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    signal << interface << values << QStringList();
    connection_.send(signal);
}

void MprisService::refresh() {
    if (engine_.url() != lastUrl_) {
        lastUrl_ = engine_.url();
        ++status_.track;
        if (!lastError_.isEmpty()) {
            lastError_.clear();
            emitChanged(kOwnInterface, {{busnames::kLastError.toString(), lastError_}});
        }
    }
    // While a dropped stream is reconnected, the last error says since when and why; it
    // goes when the stream is back, unless an error has replaced it.
    if (const QString reconnecting = engine_.reconnecting(); reconnecting != reconnecting_) {
        if (!reconnecting.isEmpty() || lastError_ == reconnecting_) {
            lastError_ = reconnecting;
            emitChanged(kOwnInterface, {{busnames::kLastError.toString(), lastError_}});
        }
        reconnecting_ = reconnecting;
    }
    QVariantMap own;
    if (recording() != recording_) {
        recording_ = recording();
        own.insert(busnames::kRecording.toString(), recording_);
    }
    if (behindLive() != behindLive_) {
        behindLive_ = behindLive();
        own.insert(busnames::kBehindLive.toString(), behindLive_);
    }
    emitChanged(kOwnInterface, own);
    const MprisStatus now = readMprisStatus(engine_, status_.track);
    const QStringList changed = changedPlayerProperties(status_, now);
    status_ = now;
    publish();
    if (changed.isEmpty() || !started_) {
        return;
    }
    QVariantMap values;
    for (const QString& property : changed) {
        if (property == u"PlaybackStatus") {
            values.insert(property, status_.playbackStatus);
        } else if (property == u"CanPlay") {
            values.insert(property, status_.canPlay);
        } else if (property == u"CanPause") {
            values.insert(property, status_.canPause);
        } else if (property == u"CanSeek") {
            values.insert(property, status_.canSeek);
        } else if (property == u"Volume") {
            values.insert(property, status_.volume);
        } else if (property == u"Metadata") {
            values.insert(property, metadata());
        }
    }
    emitChanged(kPlayerInterface.toString(), values);
}

void MprisService::publish() {
    MprisBusObject::Published values{status_, metadata(), lastError_, behindLive(), recording()};
    values.position = position();
    values.live =
        values.position +
        std::chrono::duration_cast<std::chrono::microseconds>(engine_.behindLive()).count();
    if (status_.playbackStatus == u"Playing") {
        values.pace = engine_.catchingUp() ? 1.5 : 1.0;
    }
    bus_->publish(std::move(values));
}

void MprisService::holdRequests() {
    holding_ = true;
}

void MprisService::releaseRequests() {
    holding_ = false;
    for (std::function<void()>& action : std::exchange(held_, {})) {
        carry(std::move(action));
    }
}

void MprisService::carry(std::function<void()> action) {
    if (!action) {
        return;
    }
    if (holding_) {
        held_.push_back(std::move(action));
        return;
    }
    QTimer::singleShot(0, this, std::move(action));
}

void MprisService::play() {
    if (status_.canPlay && status_.playbackStatus != u"Playing") {
        carry(actions_.play);
    }
}

void MprisService::pause() {
    if (!status_.canPause || status_.playbackStatus != u"Playing") {
        return;
    }
    // Pausing or stopping is decided when the request is carried out: a stream still
    // opening when it came may play by then, and one paused since stays as it is.
    carry([this] {
        if (playbackStatusFor(engine_.playState()) != u"Playing") {
            return;
        }
        const auto& action =
            engine_.isAvailable(MediaEngine::Control::Pause) ? actions_.pause : actions_.stop;
        if (action) {
            action();
        }
    });
}

void MprisService::playPause() {
    if (status_.playbackStatus == u"Playing") {
        pause();
    } else {
        play();
    }
}

void MprisService::catchUpToLive() {
    engine_.catchUpToLive();
    publish();
}

QString MprisService::record(bool on) {
    const QString refusal = on && !recording() ? engine_.recordRefusal() : QString();
    if (refusal.isEmpty()) {
        engine_.setRecording(on);
        publish();
    }
    return refusal;
}

bool MprisService::recording() const {
    return engine_.recordingSeconds() >= 0;
}

qlonglong MprisService::behindLive() const {
    return std::chrono::duration_cast<std::chrono::seconds>(engine_.behindLive()).count();
}

qlonglong MprisService::position() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(engine_.keptBeforePosition())
        .count();
}

void MprisService::seek(qlonglong offset) {
    if (!status_.canSeek) {
        return;
    }
    carry([this, offset] {
        engine_.moveInProgramme(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::microseconds(offset)));
    });
}

void MprisService::setPosition(const QDBusObjectPath& track, qlonglong target) {
    if (!status_.canSeek || track.path() != currentTrackPath() || target < 0) {
        return;
    }
    carry([this, target] {
        engine_.moveInProgramme(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::microseconds(target - position())));
    });
}

QString MprisService::currentTrackPath() const {
    return status_.url.isEmpty() ? u"/org/mpris/MediaPlayer2/TrackList/NoTrack"_s
                                 : u"/org/lyrevane/Track/"_s + QString::number(status_.track);
}

QString MprisService::openUriRefusal(const QString& uri) {
    const QUrl url(uri);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return u"Only http and https streams can be opened: "_s + uri;
    }
    return isRefusedSource(uri) ? kRefusedSourceMessage.toString() : QString();
}

QString MprisService::openUri(const QString& uri) {
    if (const QString refusal = openUriRefusal(uri); !refusal.isEmpty()) {
        return refusal;
    }
    if (!lastError_.isEmpty()) {
        lastError_.clear();
        emitChanged(kOwnInterface, {{busnames::kLastError.toString(), lastError_}});
        publish();
    }
    if (actions_.openUri) {
        carry([this, uri] { actions_.openUri(uri); });
    }
    return {};
}

QVariantMap MprisService::metadata() const {
    QVariantMap metadata;
    metadata.insert(u"mpris:trackid"_s, QVariant::fromValue(QDBusObjectPath(currentTrackPath())));
    if (status_.url.isEmpty()) {
        return metadata;
    }
    metadata.insert(u"xesam:url"_s, status_.url);
    const TitleParts parts = splitStreamTitle(status_.title);
    // Without a title, panels show the station (or the address) as what plays.
    QString title = parts.title;
    if (title.isEmpty()) {
        title = status_.station.isEmpty() ? status_.url : status_.station;
    }
    metadata.insert(u"xesam:title"_s, title);
    if (!parts.artist.isEmpty()) {
        metadata.insert(u"xesam:artist"_s, QStringList{parts.artist});
    }
    if (!status_.station.isEmpty()) {
        metadata.insert(u"xesam:album"_s, status_.station);
    }
    return metadata;
}

}  // namespace lyrevane
