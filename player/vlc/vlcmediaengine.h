#pragma once

#include "engine/enginemetadata.h"
#include "engine/mediaengine.h"
#include "engine/playstatemachine.h"
#include "feed/fedstream.h"
#include "vlc/enginenetwork.h"
#include "vlc/entryopener.h"
#include "vlc/heldreports.h"
#include "vlc/vlcaccessguard.h"
#include "vlc/vlcplayer.h"

#include <QStringList>
#include <QTimer>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>

namespace lyrevane {

struct VlcEngineOptions {
    // Extra libVLC command-line options, appended to the engine's own (for example
    // "--aout=dummy" where no sound server is available).
    QStringList vlcArguments;
    // Connect timeout, stall watchdog and reconnection backoff.
    PlayTimings timings;
    // Where a paused live stream keeps what arrives beyond memory ($XDG_CACHE_HOME/Lyrevane
    // when empty).
    QString timeShiftFolder;
    // Where recordings go ($XDG_MUSIC_DIR/Lyrevane when empty).
    QString recordingFolder;
};

// MediaEngine on libVLC. One libVLC instance and one media player per engine object (a
// VlcPlayer, which makes every libVLC call; what the engine relies on beyond libVLC's API is in
// vlcquirks). The play state lives in a PlayStateMachine; this class translates the player's
// reports and the user's commands into its events, and carries out its commands, through its
// parts: EntryOpener opens the entries, FedStream does what a fed stream needs beyond playing
// (pace, keeping while paused, recording), EngineMetadata holds what is shown. All libVLC
// calls happen on the thread that owns the engine; libVLC's callbacks are queued to it.
// libVLC is handed only what passed the media rules. An HTTP(S) entry is read by a
// StreamFeed on the engine's network thread: it follows and checks the redirects, reads
// playlists, and feeds a stream's bytes to libVLC on the connection it checked, taking the
// station's name and titles from the stream itself. libVLC starts at once and waits for the
// bytes, so its own start-up overlaps the connection. It reads a fed stream at the pace it
// plays it; what the network sends beyond waits in the feed as a cushion against stalls, which
// the server's first burst starts and a slightly slower rate grows (CushionGovernor). Other HTTP(S)
// entries (files of a known length, segmented streams) libVLC reads through the MediaGateway on the
// same thread, which asks for them on checked connections and hands libVLC only its own loopback
// addresses; what the listener sees names the real source. The entries of playlists that libVLC
// reads itself are checked again.
class VlcMediaEngine final : public MediaEngine {
    Q_OBJECT

public:
    explicit VlcMediaEngine(VlcEngineOptions options = {}, QObject* parent = nullptr);
    ~VlcMediaEngine() override;
    VlcMediaEngine(const VlcMediaEngine&) = delete;
    VlcMediaEngine& operator=(const VlcMediaEngine&) = delete;

    void setUrl(const QString& url) override;
    QString url() const override;
    void play() override;
    void pause() override;
    void stop() override;
    bool isAvailable(Control control) const override;
    void setVolume(int volume) override;
    int volume() const override;
    int openState() const override;
    int playState() const override;
    int errorCount() const override;
    QString errorDescription(int index) const override;
    QString stationName() const override { return metadata_.station(); }
    QString nowPlaying() const override { return metadata_.title(); }
    QString reconnecting() const override { return metadata_.reconnecting(); }
    std::chrono::milliseconds behindLive() const override { return fed_->behind(); }
    bool keepingStopped() const override;
    void catchUpToLive() override;
    std::chrono::milliseconds keptBeforePosition() const override { return fed_->keptBefore(); }
    std::chrono::milliseconds moveInProgramme(std::chrono::milliseconds by) override;
    void catchUpFaster() override;
    bool catchingUp() const override { return fed_->catchingUp() && fed_->isBehind(); }
    QList<ProgrammeItem> programme() const override { return fed_->programme(); }
    void recordFrom(std::chrono::milliseconds at) override;
    QString recordRefusal() const override;
    void setRecording(bool on) override;
    qint64 recordingSeconds() const override;

    // Starts opening `url` before anyone listens to the engine (at program start, while the
    // window is still being built), so that the connection and libVLC's start-up overlap the
    // rest. What the engine would report meanwhile is held back. The first setUrl(url) then
    // adopts the opening as it stands and reports what was held, in order; any other command
    // drops what was held and goes on as usual.
    // `early`, when given, is a connection to `url` opened before the engine existed; the
    // stream is read on it when the answer is a live stream.
    void prestart(const QString& url, std::shared_ptr<EarlyConnection> early = {});
    // Closes a prestarted opening that no setUrl adopted, silently.
    void endPrestart();

    // False when libVLC could not be initialised; every URL then fails with an error.
    bool isValid() const;
    // Finishes the recordings a player that ended while recording left behind in the
    // recording folder (on the network thread), and says once where they are.
    void finishLeftBehind();

private:
    using Event = PlayStateMachine::Event;
    using Command = PlayStateMachine::Command;

    void onPlayerReport(VlcPlayer::Report report);
    // Runs an event through the state machine and carries out its commands; events raised
    // while doing so are queued and run after them.
    void dispatch(const Event& event);
    void execute(const Command& command);
    // Reads the station's name and the current title from the media's metadata.
    void readMetadata();
    // Emits now, or holds the signal back while prestarting.
    void announce(std::function<void()> signal) { held_.announce(std::move(signal)); }
    void applyVolume();
    QTimer& timer(PlayStateMachine::Timer which);

    VlcEngineOptions options_;
    PlayStateMachine machine_;
    const SourceRules rules_;  // also read on libVLC's threads
    // The network thread and the feed, the gateway and the host pinning that live on it.
    std::unique_ptr<EngineNetwork> network_;
    const VlcAccessGuard accessGuard_;
    EngineMetadata metadata_;
    std::unique_ptr<VlcPlayer> player_;  // always made; invalid when libVLC failed
    std::unique_ptr<EntryOpener> opener_;
    std::unique_ptr<FedStream> fed_;  // what is done with a fed stream beyond playing it
    std::array<QTimer, PlayStateMachine::kTimerCount> timers_;
    std::deque<Event> events_;
    bool dispatching_ = false;

    int volumeRepairs_ = 0;
    int volume_ = 50;
    QStringList errors_;
    HeldReports held_;  // while prestarting
};

}  // namespace lyrevane
