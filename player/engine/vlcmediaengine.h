#pragma once

#include "mediaengine.h"

#include <QStringList>
#include <QTimer>

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
    // How long a stream or playlist may take to open before the engine gives up on it.
    std::chrono::milliseconds connectTimeout{20000};
};

// MediaEngine on libVLC. One libVLC instance and one media player per engine object.
// Playlists (.pls, .m3u, .asx, ...) are fetched and their entries played in order; an
// entry that fails is skipped for the next one. All libVLC calls happen on the thread
// that owns the engine; libVLC's callbacks are queued back to it.
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
    enum class Phase { Idle, Opening, Playing, Paused, Finished };
    struct VlcEvent {
        int type = 0;
        float cache = 0;
        int trackType = 0;
        qint64 time = 0;
    };

    static void onVlcEvent(const libvlc_event_t* event, void* data);
    static void onVlcLog(void* data, int level, const vlc_log_t* context, const char* format,
                         va_list args);

    void handleEvent(const VlcEvent& event);
    void handleEndReached();
    void startFromTop();
    void startNext();
    void failEntry(const QString& description);
    void reportError(const QString& description);
    void markOpened();
    void markPlaying();
    void haltPlayer();
    void clearPending();
    void applyVolume();
    void setOpenState(int state);
    void setPlayState(int state);

    VlcEngineOptions options_;
    libvlc_instance_t* instance_ = nullptr;
    libvlc_media_player_t* player_ = nullptr;
    // The entry being played and the entries still to try, each with the text that
    // names it in error descriptions.
    struct Entry {
        libvlc_media_t* media = nullptr;
        QString name;
    };
    Entry current_;
    std::deque<Entry> pending_;
    // Bumped whenever the player is stopped or restarted; callbacks tagged with an older
    // value belong to media that is gone and are dropped.
    std::atomic<quint64> generation_{0};
    QTimer connectTimer_;

    QString url_;
    bool hasMedia_ = false;
    Phase phase_ = Phase::Idle;
    bool currentLooksLikePlaylist_ = false;
    bool vlcPlaying_ = false;    // libVLC opened the current entry (its demuxer runs)
    bool sawAudio_ = false;      // the current entry has an audio track
    bool opened_ = false;        // the current entry was reported as open and buffering
    bool pausedByStop_ = false;  // the entry could not pause and was stopped instead
    int volumeRepairs_ = 0;
    int expansions_ = 0;    // playlists opened since the URL was set, against loops
    QStringList entryLog_;  // libVLC error lines for the current entry
    QString firstFailure_;  // first entry failure since audio last played

    int volume_ = 50;
    int openState_ = OpenUndefined;
    int playState_ = PlayUndefined;
    QStringList errors_;
};

}  // namespace lyrevane
