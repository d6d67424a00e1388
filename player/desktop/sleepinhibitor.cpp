#include "desktop/sleepinhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "engine/mediaengine.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr uint kInhibitSuspend = 4;  // the portal's flag for suspending; 8 would be idle

}  // namespace

bool keepsMachineAwake(int playState) {
    switch (playState) {
        case MediaEngine::Playing:
        case MediaEngine::Buffering:
        case MediaEngine::Waiting:
        case MediaEngine::Transitioning:
            return true;
        default:
            return false;
    }
}

SleepInhibitor::SleepInhibitor(QDBusConnection sessionBus, QDBusConnection systemBus,
                               QString reason, QObject* parent)
    : QObject(parent),
      sessionBus_(std::move(sessionBus)),
      systemBus_(std::move(systemBus)),
      reason_(std::move(reason)) {}

SleepInhibitor::~SleepInhibitor() {
    wanted_ = false;
    release();
}

void SleepInhibitor::setWanted(bool wanted) {
    if (wanted == wanted_) {
        return;
    }
    wanted_ = wanted;
    settle();
}

// Brings what is held in line with what is wanted, unless a request is on its way (its
// answer settles again).
void SleepInhibitor::settle() {
    if (requesting_) {
        return;
    }
    if (wanted_ && !isHeld()) {
        acquire();
    } else if (!wanted_ && isHeld()) {
        release();
    }
}

void SleepInhibitor::acquire() {
    if (!sessionBus_.isConnected()) {
        acquireFromLogind();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.portal.Desktop"_s, u"/org/freedesktop/portal/desktop"_s,
        u"org.freedesktop.portal.Inhibit"_s, u"Inhibit"_s);
    call << QString() << kInhibitSuspend << QVariantMap{{u"reason"_s, reason_}};
    requesting_ = true;
    auto* watcher = new QDBusPendingCallWatcher(sessionBus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                requesting_ = false;
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isValid()) {
                    portalHandle_ = reply.value().path();
                    Q_EMIT heldChanged(true);
                    settle();
                } else if (wanted_) {
                    acquireFromLogind();
                }
            });
}

void SleepInhibitor::acquireFromLogind() {
    if (!systemBus_.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                                       u"org.freedesktop.login1.Manager"_s, u"Inhibit"_s);
    call << u"sleep"_s << u"Lyrevane"_s << reason_ << u"block"_s;
    requesting_ = true;
    auto* watcher = new QDBusPendingCallWatcher(systemBus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                requesting_ = false;
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isValid() && reply.value().isValid()) {
                    lock_ = reply.value();
                    Q_EMIT heldChanged(true);
                    settle();
                }
            });
}

void SleepInhibitor::release() {
    if (!portalHandle_.isEmpty()) {
        QDBusMessage close =
            QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s, portalHandle_,
                                           u"org.freedesktop.portal.Request"_s, u"Close"_s);
        sessionBus_.call(close, QDBus::NoBlock);
        portalHandle_.clear();
        Q_EMIT heldChanged(false);
    }
    if (lock_.isValid()) {
        // logind keeps the lock while any copy of the descriptor is open: this was the one.
        lock_ = QDBusUnixFileDescriptor();
        Q_EMIT heldChanged(false);
    }
}

}  // namespace lyrevane
