#pragma once

#include "mediaengine.h"
#include "playstatemachine.h"

#include <QStringList>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <deque>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_t;
struct vlc_log_t;  // libvlc_log_t

namespace lyrevane {

struct VlcEngineOptions {
    // Extra libVLC command-line options, appended to the engine's own (for example
    // "--aout=dummy" where no sound server is available).
    QStringList vlcArguments;
    // Connect timeout, stall watchdog and reconnection backoff.
    PlayTimings timings;
};

// MediaEngine on libVLC. One libVLC instance and one media player per engine object.
// The play state lives in a PlayStateMachine; this class translates libVLC's events and
// the user's commands into its events, and carries out its commands on libVLC. All libVLC
// calls happen on the thread that owns the engine; libVLC's callbacks are queued to it.
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

    // False when libVLC could not be initialised; every URL then fails with an error.
    bool isValid() const;
    void setConnectTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds connectTimeout() const;
    // The volume libVLC's audio output currently applies, or -1 when there is none.
    int outputVolume() const;

private:
    using Event = PlayStateMachine::Event;
    using Command = PlayStateMachine::Command;

    struct VlcEvent {
        int type = 0;
        float cache = 0;
        int trackType = 0;
        qint64 time = 0;
    };

    static void onVlcEvent(const libvlc_event_t* event, void* data);
    static void onVlcLog(void* data, int level, const vlc_log_t* context, const char* format,
                         va_list args);

    void handleVlcEvent(const VlcEvent& event);
    // Runs an event through the state machine and carries out its commands; events raised
    // while doing so are queued and run after them.
    void dispatch(const Event& event);
    void execute(const Command& command);
    // The one place where an entry's URL becomes libVLC media and is handed to the player.
    void openEntry(const QString& url);
    // The entries of a playlist that libVLC has read (its sub-items), in order.
    QStringList takeSubItems();
    void haltPlayer();
    void releaseMedia();
    void applyVolume();
    QTimer& timer(PlayStateMachine::Timer which);

    VlcEngineOptions options_;
    PlayStateMachine machine_;
    libvlc_instance_t* instance_ = nullptr;
    libvlc_media_player_t* player_ = nullptr;
    libvlc_media_t* media_ = nullptr;  // the entry being played
    // Bumped whenever the player is stopped or restarted; callbacks tagged with an older
    // value belong to media that is gone and are dropped.
    std::atomic<quint64> generation_{0};
    std::array<QTimer, PlayStateMachine::kTimerCount> timers_;
    std::deque<Event> events_;
    bool dispatching_ = false;

    int volumeRepairs_ = 0;
    int volume_ = 50;
    QStringList errors_;
};

}  // namespace lyrevane
