// The sleep inhibitor against a fake desktop portal and a fake logind on a private bus
// (run under dbus-run-session): what each receives around Play, Pause, Stop, an error
// and exit.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>

#include <memory>

#include <poll.h>
#include <unistd.h>

#include "../support/busservice.h"
#include "../support/waituntil.h"
#include "desktop/sleepinhibitor.h"
#include "engine/mediaengine.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace lyrevane {
namespace {

using testing::waitUntil;

class FakePortal;

// One inhibition's request object; Close ends it.
class FakeRequest final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    FakeRequest(QObject* owner, QStringList* log, QString path)
        : QDBusAbstractAdaptor(owner), log_(log), path_(std::move(path)) {}
public Q_SLOTS:
    void Close() { log_->append(u"close "_s + path_); }

private:
    QStringList* log_;
    QString path_;
};

class FakePortal final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    FakePortal(QObject* owner, QDBusConnection connection)
        : QDBusAbstractAdaptor(owner), connection_(std::move(connection)) {}
    QStringList log;
    QList<uint> flags;
    QStringList reasons;

public Q_SLOTS:
    QDBusObjectPath Inhibit(const QString&, uint flagsValue, const QVariantMap& options) {
        const QString path =
            u"/org/freedesktop/portal/desktop/request/1/t"_s + QString::number(++count_);
        auto* object = new QObject(parent());
        new FakeRequest(object, &log, path);
        connection_.registerObject(path, object, QDBusConnection::ExportAdaptors);
        log.append(u"inhibit "_s + path);
        flags.append(flagsValue);
        reasons.append(options.value(u"reason"_s).toString());
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection connection_;
    int count_ = 0;
};

// logind's Manager: Inhibit hands out one end of a pipe; the lock ends when every copy of
// it is closed, which the other end sees as end of file.
class FakeLogind final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit FakeLogind(QObject* owner) : QDBusAbstractAdaptor(owner) {}
    ~FakeLogind() override {
        for (int fd : readEnds) {
            ::close(fd);
        }
    }
    QStringList calls;
    QList<int> readEnds;

    bool Released(int index) const {
        pollfd entry{readEnds.at(index), POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLIN));
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        calls.append(QStringList{what, who, why, mode}.join(u'|'));
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        readEnds.append(ends[0]);
        QDBusUnixFileDescriptor lock(ends[1]);  // a copy travels to the caller
        ::close(ends[1]);
        return lock;
    }
};

class SleepInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        ++round;
    }
    void TearDown() override {
        for (const QString& name : connections) {
            QDBusConnection::disconnectFromBus(name);
        }
    }

    QDBusConnection Connect(const QString& role) {
        const QString name = role + QString::number(round);
        connections.append(name);
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    }

    FakePortal* StartPortal() {
        QDBusConnection bus = Connect(u"portal"_s);
        return testing::serveOnBus<FakePortal>(bus, portalObject,
                                               u"/org/freedesktop/portal/desktop"_s,
                                               u"org.freedesktop.portal.Desktop"_s, bus);
    }

    FakeLogind* StartLogind(QDBusConnection bus) {
        return testing::serveOnBus<FakeLogind>(bus, logindObject, u"/org/freedesktop/login1"_s,
                                               u"org.freedesktop.login1"_s);
    }

    std::unique_ptr<QObject> portalObject;
    std::unique_ptr<QObject> logindObject;
    QStringList connections;
    static inline int round = 0;
};

TEST(KeepsMachineAwakeTest, OnlyWhileAStreamPlaysConnectsOrBuffers) {
    for (int state : {int(MediaEngine::Playing), int(MediaEngine::Buffering),
                      int(MediaEngine::Waiting), int(MediaEngine::Transitioning)}) {
        EXPECT_TRUE(keepsMachineAwake(state)) << state;
    }
    for (int state :
         {int(MediaEngine::PlayUndefined), int(MediaEngine::Stopped), int(MediaEngine::Paused),
          int(MediaEngine::MediaEnded), int(MediaEngine::Ready)}) {
        EXPECT_FALSE(keepsMachineAwake(state)) << state;
    }
}

TEST_F(SleepInhibitorTest, ThePortalInhibitsSuspendOnlyAndIsReleasedOnPauseStopAndExit) {
    FakePortal* portal = StartPortal();
    auto inhibitor = std::make_unique<SleepInhibitor>(
        Connect(u"player"_s), QDBusConnection(u"none"_s), u"Playing the live programme"_s);
    // Play.
    inhibitor->setWanted(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor->isHeld(); }, 10s));
    ASSERT_EQ(portal->log.size(), 1);
    EXPECT_TRUE(portal->log[0].startsWith(u"inhibit "_s));
    EXPECT_EQ(portal->flags, QList<uint>{4u}) << "suspend only: the idle screen lock stays";
    EXPECT_EQ(portal->reasons, QStringList{u"Playing the live programme"_s});
    const QString first = portal->log[0].mid(8);

    // Pause.
    inhibitor->setWanted(false);
    EXPECT_FALSE(inhibitor->isHeld());
    ASSERT_TRUE(waitUntil([&] { return portal->log.size() == 2; }, 10s));
    EXPECT_EQ(portal->log[1], u"close "_s + first);

    // Play again, then Stop.
    inhibitor->setWanted(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor->isHeld(); }, 10s));
    inhibitor->setWanted(false);
    ASSERT_TRUE(waitUntil([&] { return portal->log.size() == 4; }, 10s));
    EXPECT_TRUE(portal->log[3].startsWith(u"close "_s));

    // Exit while playing.
    inhibitor->setWanted(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor->isHeld(); }, 10s));
    inhibitor.reset();
    ASSERT_TRUE(waitUntil([&] { return portal->log.size() == 6; }, 10s));
    EXPECT_EQ(portal->log[5], u"close "_s + portal->log[4].mid(8));
}

TEST_F(SleepInhibitorTest, APauseBeforeThePortalAnswersLeavesNothingHeld) {
    FakePortal* portal = StartPortal();
    SleepInhibitor inhibitor(Connect(u"player"_s), QDBusConnection(u"none"_s), u"x"_s);
    inhibitor.setWanted(true);
    inhibitor.setWanted(false);  // before the answer arrives
    ASSERT_TRUE(waitUntil([&] { return portal->log.size() == 2; }, 10s));
    EXPECT_TRUE(portal->log[1].startsWith(u"close "_s));
    EXPECT_FALSE(inhibitor.isHeld());
}

TEST_F(SleepInhibitorTest, WithoutAPortalLogindsSleepLockIsTakenAndClosed) {
    QDBusConnection system = Connect(u"system"_s);
    FakeLogind* logind = StartLogind(Connect(u"logind"_s));
    SleepInhibitor inhibitor(Connect(u"player"_s), system, u"Playing the live programme"_s);
    inhibitor.setWanted(true);
    ASSERT_TRUE(waitUntil([&] { return inhibitor.isHeld(); }, 10s));
    ASSERT_EQ(logind->calls, QStringList{u"sleep|Lyrevane|Playing the live programme|block"_s});
    EXPECT_FALSE(logind->Released(0));

    inhibitor.setWanted(false);  // Stop, or an error
    EXPECT_TRUE(waitUntil([&] { return logind->Released(0); }, 10s));
    EXPECT_FALSE(inhibitor.isHeld());
}

TEST_F(SleepInhibitorTest, WithNeitherServiceNothingIsHeldAndNothingBreaks) {
    SleepInhibitor inhibitor(Connect(u"player"_s), Connect(u"system"_s), u"x"_s);
    bool changed = false;
    QObject::connect(&inhibitor, &SleepInhibitor::heldChanged, [&] { changed = true; });
    inhibitor.setWanted(true);
    // Both requests fail: wait until the inhibitor has stopped asking.
    QCoreApplication::processEvents();
    EXPECT_TRUE(waitUntil([&] { return changed || !inhibitor.isHeld(); }, 10s));
    inhibitor.setWanted(false);
    EXPECT_FALSE(inhibitor.isHeld());
    EXPECT_FALSE(changed);
}

}  // namespace
}  // namespace lyrevane

#include "sleepinhibitor_test.moc"
