#pragma once

#include "feed/feedplayer.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdarg>
#include <functional>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_t;
struct vlc_log_t;  // libvlc_log_t

namespace lyrevane {

// One libVLC instance and its media player, with no video and no interface of its own: the
// engine's every call to libVLC. libVLC's events and log lines, which come on its own threads,
// are reported on the thread that owns the player, and only while the media they are about
// still plays: halting the player makes the reports of what it played stale.
class VlcPlayer final : public QObject, public FeedPlayer {
    Q_OBJECT

public:
    enum class Happening {
        Playing,  // its demuxer runs
        Paused,
        Buffering,    // number: cache fill in percent
        AudioTrack,   // an audio track appeared
        TimeChanged,  // number: position in ms
        EndReached,
        Error,
        MetaChanged,
        VolumeChanged,  // the audio output's volume changed
    };
    struct Report {
        Happening what = Happening::Playing;
        qint64 number = 0;
    };

    // `mayOpen` is asked, on libVLC's threads, about every access libVLC opens; one it refuses
    // is reported as accessRefused.
    VlcPlayer(const QStringList& extraArguments, std::function<bool(const QString&)> mayOpen,
              QObject* parent = nullptr);
    ~VlcPlayer() override;
    VlcPlayer(const VlcPlayer&) = delete;
    VlcPlayer& operator=(const VlcPlayer&) = delete;

    // False when libVLC could not be initialised.
    bool isValid() const { return player_ != nullptr; }

    // Sets a URL or a local path to play, which libVLC opens itself; false when it cannot.
    bool setLocation(const QString& url);
    // Sets a live stream to play, read from `buffer` as libVLC plays it; false when it cannot.
    // The buffer outlives the media.
    bool setFed(FeedBuffer* buffer) override;
    // Plays what was set; false when libVLC cannot.
    bool play() override;
    // Stops what plays; its reports from here on are stale.
    void halt() override;
    void releaseMedia() override;
    bool hasMedia() const { return media_ != nullptr; }
    bool isFed() const { return fed_; }

    void setPaused(bool paused);
    void setVolume(int volume);
    // The volume the audio output applies, or -1 when there is none.
    int outputVolume() const;
    void setRate(double rate) override;
    double rate() const override { return rate_; }
    qint64 time() const override;
    bool lengthKnown() const;
    // Whether the media pauses in place: it can, and it is not live.
    bool pausesInPlace() const;
    // The entries of a playlist that libVLC has read (its sub-items), as their MRLs, in order.
    QStringList subItems() const;
    // The media's title and now-playing metadata (as libVLC has them), and its MRL.
    struct Metadata {
        QByteArray title;
        QByteArray nowPlaying;
        QString mrl;
    };
    Metadata metadata() const;

Q_SIGNALS:
    void reported(VlcPlayer::Report report);
    void accessRefused(const QString& target);
    void errorLogged(const QString& line);

private:
    static void onEvent(const libvlc_event_t* event, void* data);
    static void onLog(void* data, int level, const vlc_log_t* context, const char* format,
                      va_list args);
    // Queues `report` to the owner's thread, dropped there if stale by then.
    void post(std::function<void()> report);

    std::function<bool(const QString&)> mayOpen_;
    libvlc_instance_t* instance_ = nullptr;
    libvlc_media_player_t* player_ = nullptr;
    libvlc_media_t* media_ = nullptr;
    bool fed_ = false;  // the media is read from a feed buffer
    double rate_ = 1.0;
    // Bumped whenever the player is stopped or restarted; reports tagged with an older value
    // belong to media that is gone and are dropped.
    std::atomic<quint64> generation_{0};
};

}  // namespace lyrevane
