#include "desktop/mprisbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutexLocker>

#include <algorithm>
#include <optional>
#include <utility>

#include "desktop/mprisservice.h"
#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

MprisBusObject::MprisBusObject(MprisService& service) : service_(service) {
    new MprisRootAdaptor(this);
    auto* player = new MprisPlayerAdaptor(this);
    new LyrevaneStatusAdaptor(this);
    // Emitted on the service's thread, sent on the bus from this one.
    connect(&service, &MprisService::seeked, player, &MprisPlayerAdaptor::Seeked);
}

qlonglong MprisBusObject::position() const {
    const Published now = published();
    using Micro = std::chrono::duration<double, std::micro>;
    const double since = Micro(std::chrono::steady_clock::now() - now.taken).count();
    // Never past live, which itself moves on until the kept hour is full.
    constexpr qlonglong kHour = 3600LL * 1000 * 1000;
    const auto live = std::min(now.live + static_cast<qlonglong>(since), std::max(now.live, kHour));
    return std::min(now.position + static_cast<qlonglong>(since * now.pace), live);
}

MprisBusObject::Published MprisBusObject::published() const {
    const QMutexLocker lock(&mutex_);
    return published_;
}

void MprisBusObject::publish(Published values) {
    const QMutexLocker lock(&mutex_);
    published_ = std::move(values);
}

void MprisBusObject::relay(std::function<QString(MprisService&)> action,
                           QDBusError::ErrorType type) {
    std::optional<std::pair<QDBusConnection, QDBusMessage>> call;
    if (calledFromDBus()) {
        setDelayedReply(true);
        call.emplace(connection(), message());
    }
    QMetaObject::invokeMethod(
        &service_,
        [service = &service_, action = std::move(action), call, type] {
            const QString refusal = action(*service);
            if (call) {
                call->first.send(refusal.isEmpty() ? call->second.createReply()
                                                   : call->second.createErrorReply(type, refusal));
            }
        },
        Qt::QueuedConnection);
}

void MprisBusObject::post(std::function<void(MprisService&)> action) {
    QMetaObject::invokeMethod(
        &service_, [service = &service_, action = std::move(action)] { action(*service); },
        Qt::QueuedConnection);
}

void MprisBusObject::refuse(QDBusError::ErrorType type, const QString& why) {
    if (calledFromDBus()) {
        sendErrorReply(type, why);
    }
}

MprisRootAdaptor::MprisRootAdaptor(MprisBusObject* bus) : QDBusAbstractAdaptor(bus), bus_(bus) {}

QString MprisRootAdaptor::Identity() const {
    return kAppTitle.toString();
}

QStringList MprisRootAdaptor::SupportedUriSchemes() const {
    return {u"http"_s, u"https"_s};
}

QString MprisRootAdaptor::DesktopEntry() const {
    return u"lyrevane"_s;
}

void MprisRootAdaptor::Raise() {
    bus_->relay([](MprisService& service) {
        service.carry(service.actions().raise);
        return QString();
    });
}

void MprisRootAdaptor::Quit() {
    bus_->relay([](MprisService& service) {
        service.carry(service.actions().quit);
        return QString();
    });
}

void LyrevaneStatusAdaptor::CatchUpToLive() {
    bus_->relay([](MprisService& service) {
        service.catchUpToLive();
        return QString();
    });
}

void LyrevaneStatusAdaptor::Record(bool on) {
    bus_->relay([on](MprisService& service) { return service.record(on); },
                QDBusError::NotSupported);
}

LyrevaneStatusAdaptor::LyrevaneStatusAdaptor(MprisBusObject* bus)
    : QDBusAbstractAdaptor(bus), bus_(bus) {}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisBusObject* bus)
    : QDBusAbstractAdaptor(bus), bus_(bus) {}

// A property's Set is answered at once: the volume follows on the service's thread.
void MprisPlayerAdaptor::SetVolume(double volume) {
    const int value = volumeFromMpris(volume);
    bus_->post([value](MprisService& service) {
        if (service.actions().setVolume) {
            service.carry([&service, value] {
                service.actions().setVolume(value);
                service.refresh();
            });
        }
    });
}

void MprisPlayerAdaptor::Pause() {
    bus_->relay([](MprisService& service) {
        service.pause();
        return QString();
    });
}

void MprisPlayerAdaptor::Play() {
    bus_->relay([](MprisService& service) {
        service.play();
        return QString();
    });
}

void MprisPlayerAdaptor::PlayPause() {
    bus_->relay([](MprisService& service) {
        service.playPause();
        return QString();
    });
}

void MprisPlayerAdaptor::OpenUri(const QString& uri) {
    if (const QString refusal = MprisService::openUriRefusal(uri); !refusal.isEmpty()) {
        bus_->refuse(QDBusError::InvalidArgs, refusal);
        return;
    }
    bus_->relay([uri](MprisService& service) {
        service.openUri(uri);
        return QString();
    });
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
    bus_->relay([offset](MprisService& service) {
        service.seek(offset);
        return QString();
    });
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    bus_->relay([track, position](MprisService& service) {
        service.setPosition(track, position);
        return QString();
    });
}

void MprisPlayerAdaptor::Stop() {
    bus_->relay([](MprisService& service) {
        service.carry(service.actions().stop);
        return QString();
    });
}

}  // namespace lyrevane
