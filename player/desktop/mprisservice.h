#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <functional>
#include <vector>

#include "desktop/mprisstatus.h"

namespace lyrevane {

class MediaEngine;
class MprisBusObject;

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
// here waits for the bus: the name is requested asynchronously. What the bus sees is an object
// on a thread of its own (MprisBusObject): a panel's reads are answered from what this service
// last published even while the window's thread is busy, and its calls are carried out here.
class MprisService final : public QObject {
    Q_OBJECT

public:
    MprisService(MediaEngine& engine, MprisActions actions, QObject* parent = nullptr);
    ~MprisService() override;

    // Exports the object and requests the bus name; false when the bus refuses the object.
    bool start(QDBusConnection connection);
    // The bus name once it is owned, empty before.
    QString busName() const { return busName_; }
    // Reads the engine again and tells the bus what changed.
    void refresh();
    // While the player starts up, the requests that arrive are held, then carried out in the
    // order they came: a Pause pressed while the command line's stream was still opening
    // comes after that stream's play instead of being undone by it.
    void holdRequests();
    void releaseRequests();
    // Carries out `action` after the bus call that asked for it has returned, so that
    // whatever it opens (a message box, a closing window) is not inside the bus's call stack;
    // after start-up when requests are held.
    void carry(std::function<void()> action);

    const MprisStatus& status() const { return status_; }
    // The engine's last error for the current stream, empty when it had none.
    const QString& lastError() const { return lastError_; }
    const MprisActions& actions() const { return actions_; }
    QVariantMap metadata() const;

    // The transport as MPRIS defines it, whatever the play bar shows: Play acts unless the
    // stream plays, Pause pauses what plays (a stream that cannot pause, one still
    // connecting, is stopped), PlayPause toggles between the two.
    void play();
    void pause();
    void playPause();
    // Plays `uri` when it is an http or https stream the media rules allow; otherwise
    // says why not. The last error is cleared at once: the stream is tried anew.
    QString openUri(const QString& uri);
    // Why OpenUri would not play `uri`, or empty; any thread.
    static QString openUriRefusal(const QString& uri);
    // The live stream as the listener controls it: back to live, and recording (which only
    // the listener starts: here, the menu or the keyboard). A refusal is the error reply.
    void catchUpToLive();
    QString record(bool on);
    bool recording() const;
    qlonglong behindLive() const;
    // Within the kept programme of a live stream: where what plays is (microseconds from the
    // oldest audio kept), and moving by `offset` or to `target` (clamped to what is kept,
    // never past live). SetPosition acts only on the current track.
    qlonglong position() const;
    void seek(qlonglong offset);
    void setPosition(const QDBusObjectPath& track, qlonglong target);

Q_SIGNALS:
    void busNameAcquired(const QString& name);
    // What plays jumped to `position` (microseconds, as Position).
    void seeked(qlonglong position);

private:
    void requestName(const QString& name, bool fallBackToInstance);
    // The mpris:trackid of what is loaded.
    QString currentTrackPath() const;
    void emitChanged(const QString& interface, const QVariantMap& values);
    // Hands what the bus reads to the bus's thread.
    void publish();

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
    QThread busThread_;
    MprisBusObject* bus_ = nullptr;
};

}  // namespace lyrevane
