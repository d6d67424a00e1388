#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <functional>

#include "desktop/mprisstatus.h"

namespace lyrevane {

class MprisService;

// The object the session bus sees of an MprisService, on a thread of its own: reads are
// answered from what the service last published, so that a panel waits for no busy window
// (the browser engine takes the window's thread for a second when it starts on a slow machine);
// calls are carried to the service's thread and answered once done there, so that a read that
// follows a call sees what it did.
class MprisBusObject final : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit MprisBusObject(MprisService& service);

    struct Published {
        MprisStatus status;
        QVariantMap metadata;
        QString lastError;
        qlonglong behindLive = 0;
        bool recording = false;
        // Where what plays was in the kept programme (microseconds from its oldest audio), how
        // fast it moves on while it plays (0 when it does not), and where live was, all when
        // published: a read between two publications reckons the position from them.
        qlonglong position = 0;
        double pace = 0.0;
        qlonglong live = 0;
        std::chrono::steady_clock::time_point taken = std::chrono::steady_clock::now();
    };
    // The position in the kept programme now, as a panel reads it (MPRIS Position); any thread.
    qlonglong position() const;
    // Any thread.
    Published published() const;
    void publish(Published values);

    // Runs `action` on the service's thread; the bus call that asked for it (if any) is
    // answered then, with `action`'s refusal as an error of `type` when it gives one.
    void relay(std::function<QString(MprisService&)> action,
               QDBusError::ErrorType type = QDBusError::Failed);
    // Runs `action` on the service's thread, answering nothing.
    void post(std::function<void(MprisService&)> action);
    // Refuses the bus call being answered.
    void refuse(QDBusError::ErrorType type, const QString& why);

private:
    MprisService& service_;
    mutable QMutex mutex_;
    Published published_;
};

// org.mpris.MediaPlayer2: the application as a whole.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisBusObject* bus);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    MprisBusObject* bus_;
};

// The player's own facts besides MPRIS's: the last error for the current stream, so that
// the scheduler can tell a listener why a scheduled broadcast did not start; how far behind
// live a paused stream plays (seconds) and the way back; recording.
class LyrevaneStatusAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.quillmoor.Lyrevane")
    Q_PROPERTY(QString LastError READ LastError)
    Q_PROPERTY(qlonglong BehindLive READ BehindLive)
    Q_PROPERTY(bool Recording READ Recording)

public:
    explicit LyrevaneStatusAdaptor(MprisBusObject* bus);
    QString LastError() const { return bus_->published().lastError; }
    qlonglong BehindLive() const { return bus_->published().behindLive; }
    bool Recording() const { return bus_->published().recording; }

public Q_SLOTS:
    void CatchUpToLive();
    void Record(bool on);

private:
    MprisBusObject* bus_;
};

// org.mpris.MediaPlayer2.Player: transport, volume and what is playing. A live stream
// cannot skip; it seeks within the part of it that is kept.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    explicit MprisPlayerAdaptor(MprisBusObject* bus);

    QString PlaybackStatus() const { return bus_->published().status.playbackStatus; }
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const { return bus_->published().metadata; }
    double Volume() const { return bus_->published().status.volume; }
    void SetVolume(double volume);
    qlonglong Position() const { return bus_->position(); }
    bool CanGoNext() const { return false; }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const { return bus_->published().status.canPlay; }
    bool CanPause() const { return bus_->published().status.canPause; }
    bool CanSeek() const { return bus_->published().status.canSeek; }
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri);

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisBusObject* bus_;
};

}  // namespace lyrevane
