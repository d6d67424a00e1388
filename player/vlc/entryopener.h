#pragma once

#include "engine/playstatemachine.h"
#include "vlc/enginenetwork.h"
#include "vlc/vlcplayer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace lyrevane {

// Opens the entries the play-state machine names and follows each to its end. An HTTP(S) entry
// is read by the stream feed, which checks the source and feeds libVLC; one the feed does not
// read (a segmented stream, a file of a known length) libVLC reads through the gateway; any
// other libVLC opens itself, at an address pinned here. A fed stream that ends while the
// listener is behind live is connected to again. What is learnt goes to the machine as events.
class EntryOpener final : public QObject, public FeedSource {
    Q_OBJECT

public:
    // What the engine does around an opening.
    struct Hooks {
        // Runs an event through the machine (queued while the machine's commands run).
        std::function<void(const PlayStateMachine::Event&)> dispatch;
        // A new entry: what was shown of the old one goes.
        std::function<void()> opening;
        std::function<void()> applyVolume;
        // A fed stream is read into a new buffer, or the same one again (joined again).
        std::function<void(FeedBuffer& buffer)> connecting;
        std::function<void()> rejoining;
        // A fed stream is set and about to play.
        std::function<void()> fedSet;
        // libVLC is about to open an entry by its URL.
        std::function<void()> openingUrl;
        // The feed started a stream (not one joined again), named `station`.
        std::function<void(const QString& station)> started;
    };

    EntryOpener(VlcPlayer& player, EngineNetwork& network, const SourceRules& rules, Hooks hooks,
                QObject* parent = nullptr);

    // Opens an entry: fed through the stream feed, or by URL.
    void open(const QString& url, std::chrono::milliseconds connectTimeout);
    // Stops libVLC, and makes the reports of what it played stale. The programme a live stream
    // kept stays (its reads end at once), for the same entry opened again: it goes on there.
    void halt();
    // Drops what a live stream kept (Stop, another stream).
    void endProgramme();
    // Makes every report stale and returns a read libVLC is blocked in (the engine is going).
    void abandon();
    // The end of an entry: the sub-items the rules allow (a playlist's entries), or a
    // refusal when it listed only refused ones.
    PlayStateMachine::Event subItemsEvent() const;

    const QString& entry() const override { return entry_; }
    // Whether a feed report tagged `ticket` is about the current media.
    bool isCurrent(quint64 ticket) const { return ticket == feedTicket_; }
    // The buffer of the last fed stream, and the same only while libVLC plays it fed.
    FeedBuffer* buffer() const override { return feedBuffer_.get(); }
    FeedBuffer* fed() const override { return player_.isFed() ? feedBuffer_.get() : nullptr; }

private:
    // Hands a checked URL to libVLC.
    void openUrl(const QString& url);
    // The feed's verdict on a source it does not feed.
    void onResolved(quint64 ticket, const SourceResolution& result);
    void onFeedFailed(quint64 ticket, const QString& line);
    // The checked address of a source libVLC opens itself.
    void onPinned(quint64 ticket, const QString& pinned, bool refused, const QString& line);
    // The gateway's reports on what libVLC asked of it.
    void onGatewayRefused(quint64 session, const QString& target);
    void onGatewayFailed(quint64 session, const QString& line);
    void failWith(const QString& line);
    // A stream that ends while the listener is behind live is connected to again, and what
    // comes is kept after what was: true when that is under way for `ticket`.
    bool rejoinWhileBehind(quint64 ticket);
    void rejoin();

    VlcPlayer& player_;
    EngineNetwork& network_;
    const SourceRules& rules_;
    const Hooks hooks_;
    MediaGateway& gateway_;
    // The session of the gateway's addresses given to the current media.
    quint64 gatewaySession_ = 0;
    std::shared_ptr<FeedBuffer> feedBuffer_;  // what the current media reads, when fed
    quint64 feedTicket_ = 0;                  // the feed's reports for older tickets are stale
    bool rejoining_ = false;
    int rejoinAttempts_ = 0;
    QElapsedTimer joined_;  // since the stream was last joined again
    QTimer rejoinTimer_;
    QString entry_;  // the entry being opened or played, as the machine named it
};

}  // namespace lyrevane
