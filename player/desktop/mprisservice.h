#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <vector>

#include "desktop/mprisstatus.h"

namespace lyrevane {

class MediaEngine;

// What the desktop's media controls may ask of the player; each runs the same handler as
// the play bar or the window would.
struct MprisActions {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> stop;
    std::function<void(int volume)> setVolume;  // 0-100
    std::function<void()> raise;
    std::function<void()> quit;
    // Plays an http or https stream that has passed the media rules.
    std::function<void(const QString& url)> openUri;
};

// The player on the session bus as an MPRIS 2 media player
// ("org.mpris.MediaPlayer2.lyrevane", or ".instance<pid>" after it when another player
// holds that name), so that media keys, panels and lock screens control it. Nothing
// here waits for the bus: the name is requested asynchronously.
class MprisService final : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    MprisService(MediaEngine& engine, MprisActions actions, QObject* parent = nullptr);
    ~MprisService() override;

    // Exports the object and requests the bus name; false when the bus refuses the object.
    bool Start(QDBusConnection connection);
    // The bus name once it is owned, empty before.
    QString BusName() const { return busName_; }
    // Reads the engine again and tells the bus what changed.
    void Refresh();
    // While the player starts up, the requests that arrive are held, then carried out in the
    // order they came: a Pause pressed while the command line's stream was still opening
    // comes after that stream's play instead of being undone by it.
    void HoldRequests();
    void ReleaseRequests();
    // Carries out `action` after the bus call that asked for it has returned, so that
    // whatever it opens (a message box, a closing window) is not inside the bus's call stack;
    // after start-up when requests are held.
    void Carry(std::function<void()> action);

    const MprisStatus& Status() const { return status_; }
    // The engine's last error for the current stream, empty when it had none.
    const QString& LastError() const { return lastError_; }
    const MprisActions& Actions() const { return actions_; }
    QVariantMap Metadata() const;

    // The transport as MPRIS defines it, whatever the play bar shows: Play acts unless the
    // stream plays, Pause pauses what plays (a stream that cannot pause, one still
    // connecting, is stopped), PlayPause toggles between the two.
    void Play();
    void Pause();
    void PlayPause();
    // Plays `uri` when it is an http or https stream the media rules allow; otherwise
    // says why not (as the error reply of a bus call). The last error is cleared at once:
    // the stream is tried anew.
    QString OpenUri(const QString& uri);
    // The live stream as the listener controls it: back to live, and recording (which only
    // the listener starts: here, the menu or the keyboard). A refusal is the error reply.
    void CatchUpToLive();
    QString Record(bool on);
    bool Recording() const;
    qlonglong BehindLive() const;
    // Within the kept programme of a live stream: where what plays is (microseconds from the
    // oldest audio kept), and moving by `offset` or to `position` (clamped to what is kept,
    // never past live). SetPosition acts only on the current track.
    qlonglong Position() const;
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);

Q_SIGNALS:
    void busNameAcquired(const QString& name);
    // What plays jumped to `position` (microseconds, as Position).
    void seeked(qlonglong position);

private:
    void RequestName(const QString& name, bool fallBackToInstance);
    // The mpris:trackid of what is loaded.
    QString CurrentTrackPath() const;
    void EmitChanged(const QString& interface, const QVariantMap& values);

    MediaEngine& engine_;
    MprisActions actions_;
    QDBusConnection connection_;
    MprisStatus status_;
    QString lastUrl_;
    QString lastError_;
    QString reconnecting_;  // the engine's reconnecting() as last seen
    bool recording_ = false;
    qlonglong behindLive_ = 0;
    QString busName_;
    bool started_ = false;
    bool holding_ = false;
    std::vector<std::function<void()>> held_;
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
    explicit MprisRootAdaptor(MprisService* service);

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
    MprisService* service_;
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
    explicit LyrevaneStatusAdaptor(MprisService* service);
    QString LastError() const { return service_->LastError(); }
    qlonglong BehindLive() const { return service_->BehindLive(); }
    bool Recording() const { return service_->Recording(); }

public Q_SLOTS:
    void CatchUpToLive() { service_->CatchUpToLive(); }
    void Record(bool on) { service_->Record(on); }

private:
    MprisService* service_;
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
    explicit MprisPlayerAdaptor(MprisService* service);

    QString PlaybackStatus() const { return service_->Status().playbackStatus; }
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const { return service_->Metadata(); }
    double Volume() const { return service_->Status().volume; }
    void SetVolume(double volume);
    qlonglong Position() const { return service_->Position(); }
    bool CanGoNext() const { return false; }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const { return service_->Status().canPlay; }
    bool CanPause() const { return service_->Status().canPause; }
    bool CanSeek() const { return service_->Status().canSeek; }
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset) { service_->Seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        service_->SetPosition(track, position);
    }
    void OpenUri(const QString& uri);

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisService* service_;
};

}  // namespace lyrevane
