#include "vlc/entryopener.h"

#include "engine/vlcmessages.h"
#include "vlc/vlcaccessguard.h"

#include <algorithm>
#include <array>
#include <utility>

namespace lyrevane {

namespace {

// How long a stream joined again must hold before a drop counts as a new one, tried at once.
constexpr std::chrono::milliseconds kSteadyPlay{30000};

}  // namespace

EntryOpener::EntryOpener(VlcPlayer& player, EngineNetwork& network, const SourceRules& rules,
                         Hooks hooks, QObject* parent)
    : QObject(parent),
      player_(player),
      network_(network),
      rules_(rules),
      hooks_(std::move(hooks)),
      gateway_(*network.gateway()) {
    StreamFeed* const feed = network_.feed();
    connect(&gateway_, &MediaGateway::refused, this, &EntryOpener::onGatewayRefused);
    connect(&gateway_, &MediaGateway::failed, this, &EntryOpener::onGatewayFailed);
    connect(network_.pinning(), &HostPinning::done, this, &EntryOpener::onPinned);
    connect(feed, &StreamFeed::resolved, this, &EntryOpener::onResolved);
    connect(feed, &StreamFeed::failed, this, &EntryOpener::onFeedFailed);
    connect(feed, &StreamFeed::started, this, [this](quint64 ticket, const QString& station) {
        if (ticket != feedTicket_) {
            return;
        }
        if (std::exchange(rejoining_, false)) {
            // Joined again: what is heard keeps its title. The waits start over only once the
            // stream has held for a while: a server that answers and closes is not hammered.
            joined_.start();
            return;
        }
        hooks_.started(station);
    });
    connect(feed, &StreamFeed::ended, this, [this](quint64 ticket, const QString& line) {
        if (rejoinWhileBehind(ticket)) {
            return;
        }
        // libVLC reads what is left and then reaches the end; the reason goes first.
        if (ticket == feedTicket_ && !line.isEmpty()) {
            hooks_.dispatch(PlayStateMachine::logError(line));
        }
    });
    // A backstop should libVLC ever open something else than it was given: it ends the entry.
    connect(&player_, &VlcPlayer::accessRefused, this, [this](const QString& target) {
        halt();
        hooks_.dispatch(PlayStateMachine::refused(sourcemessages::refusedRedirect(entry_, target)));
    });
    rejoinTimer_.setSingleShot(true);
    connect(&rejoinTimer_, &QTimer::timeout, this, &EntryOpener::rejoin);
}

void EntryOpener::open(const QString& url, std::chrono::milliseconds connectTimeout) {
    // The same live stream connected to again goes on after what it kept, the gap marked.
    const bool goesOn = url == entry_ && feedBuffer_ && feedBuffer_->keeping();
    if (!goesOn) {
        endProgramme();
    }
    halt();
    player_.releaseMedia();
    entry_ = url;
    if (!player_.isValid()) {
        hooks_.dispatch(PlayStateMachine::openFailed(vlcmessages::engineUnavailable()));
        return;
    }
    // A new connection starts without the old station's title.
    hooks_.opening();
    const QString source = url.trimmed();
    if (!rules_.allows(source)) {
        hooks_.dispatch(PlayStateMachine::openFailed(sourcemessages::refusedSource(source)));
        return;
    }
    if (!isHttpUrl(source)) {
        // libVLC opens these itself: at an address checked here, never by the name.
        const quint64 ticket = ++feedTicket_;
        network_.pin(ticket, source, connectTimeout);
        return;
    }
    // libVLC starts now and waits for the bytes the feed checks and hands on.
    const quint64 ticket = ++feedTicket_;
    rejoining_ = false;
    rejoinAttempts_ = 0;
    joined_.invalidate();
    rejoinTimer_.stop();
    if (!goesOn || !feedBuffer_->goOn()) {
        feedBuffer_ = std::make_shared<FeedBuffer>();
    }
    hooks_.connecting(*feedBuffer_);
    network_.openFeed(ticket, source, feedBuffer_);
    if (!player_.setFed(feedBuffer_.get())) {
        hooks_.dispatch(PlayStateMachine::openFailed());
        return;
    }
    hooks_.applyVolume();
    hooks_.fedSet();
    if (!player_.play()) {
        hooks_.dispatch(PlayStateMachine::openFailed());
    }
}

void EntryOpener::halt() {
    // The feed's reports for this media are stale from here on; a read libVLC is blocked in
    // returns at once, so that the stop below does not wait for the network.
    ++feedTicket_;
    rejoining_ = false;
    rejoinTimer_.stop();
    const bool keeps = feedBuffer_ && feedBuffer_->keeping();
    if (feedBuffer_) {
        if (keeps) {
            feedBuffer_->interruptReads(true);
        } else {
            feedBuffer_->abort();
        }
        network_.closeFeed();
    }
    // Whatever libVLC still asks of the gateway for this media is refused from here on.
    gatewaySession_ = gateway_.revokeAll();
    player_.halt();
}

void EntryOpener::endProgramme() {
    if (feedBuffer_) {
        feedBuffer_->abort();
    }
}

void EntryOpener::abandon() {
    ++feedTicket_;
    if (feedBuffer_) {
        feedBuffer_->abort();  // a read libVLC is blocked in returns, so that stop can join
    }
}

void EntryOpener::openUrl(const QString& url) {
    hooks_.openingUrl();
    // libVLC reads HTTP(S) from the gateway only, which checks each of its requests.
    if (isHttpUrl(url) && !gateway_.isListening()) {
        hooks_.dispatch(PlayStateMachine::openFailed());
        return;
    }
    if (!player_.setLocation(isHttpUrl(url) ? gateway_.publish(url) : url)) {
        hooks_.dispatch(PlayStateMachine::openFailed());
        return;
    }
    hooks_.applyVolume();
    player_.setRate(1.0);
    if (!player_.play()) {
        hooks_.dispatch(PlayStateMachine::openFailed());
    }
}

void EntryOpener::onResolved(quint64 ticket, const SourceResolution& result) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    halt();
    player_.releaseMedia();
    switch (result.kind) {
        case SourceResolution::Kind::Media:
            // A source the feed does not read (a segmented stream, a status line only
            // libVLC understands): libVLC opens the URL the feed checked.
            openUrl(result.url);
            return;
        case SourceResolution::Kind::Playlist:
            // The machine takes a playlist the feed read as it takes one libVLC read.
            hooks_.dispatch(PlayStateMachine::endReached(result.entries));
            return;
        case SourceResolution::Kind::Failed:
            hooks_.dispatch(result.refused.isEmpty() ? PlayStateMachine::openFailed(result.message)
                                                     : PlayStateMachine::refused(result.message));
            return;
    }
}

void EntryOpener::onFeedFailed(quint64 ticket, const QString& line) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    halt();
    player_.releaseMedia();
    failWith(line);
}

void EntryOpener::onPinned(quint64 ticket, const QString& pinned, bool refused,
                           const QString& line) {
    if (ticket != feedTicket_) {
        return;
    }
    if (refused) {
        hooks_.dispatch(PlayStateMachine::refused(sourcemessages::refusedSource(entry_)));
    } else if (pinned.isEmpty()) {
        failWith(line);
    } else {
        openUrl(pinned);
    }
}

void EntryOpener::onGatewayRefused(quint64 session, const QString& target) {
    if (session != gatewaySession_ || !player_.hasMedia() || player_.isFed()) {
        return;
    }
    halt();
    hooks_.dispatch(PlayStateMachine::refused(
        target == entry_ ? sourcemessages::refusedSource(entry_)
                         : sourcemessages::refusedRedirect(entry_, target)));
}

// Before libVLC's own error for the gateway's answer, which names no cause.
void EntryOpener::onGatewayFailed(quint64 session, const QString& line) {
    if (session != gatewaySession_ || !player_.hasMedia() || player_.isFed()) {
        return;
    }
    halt();
    player_.releaseMedia();
    failWith(line);
}

// The entry failed for a reason the player's own input found: the machine reads it as it reads
// libVLC's.
void EntryOpener::failWith(const QString& line) {
    hooks_.dispatch(PlayStateMachine::logError(line));
    PlayStateMachine::Event failure;
    failure.kind = PlayStateMachine::Event::Kind::Error;
    hooks_.dispatch(failure);
}

// Only the sub-items' URLs are kept, and only those the rules allow: each is resolved
// like any other entry before it opens. A sub-item at a gateway address stands for its real
// source (relative entries of a playlist libVLC read through the gateway); one the gateway
// no longer knows is dropped.
PlayStateMachine::Event EntryOpener::subItemsEvent() const {
    QStringList allowed;
    const QStringList subItems = player_.subItems();
    for (const QString& mrl : subItems) {
        const QString url = gateway_.upstreamOf(mrl);
        if (!url.isEmpty() && rules_.allows(url)) {
            allowed.append(url);
        }
    }
    if (allowed.isEmpty() && !subItems.isEmpty()) {
        return PlayStateMachine::refused(sourcemessages::refusedPlaylist(entry_));
    }
    return PlayStateMachine::endReached(allowed);
}

bool EntryOpener::rejoinWhileBehind(quint64 ticket) {
    if (ticket != feedTicket_ || fed() == nullptr || (!rejoining_ && !feedBuffer_->behindLive())) {
        return false;
    }
    if (!feedBuffer_->reopen()) {
        return false;
    }
    // At once the first time, then after 1, 2, 4, 8 and every 15 seconds.
    static constexpr std::array<int, 6> kWaits{0, 1, 2, 4, 8, 15};
    if (!rejoining_) {
        hooks_.rejoining();
        if (joined_.isValid() && joined_.hasExpired(kSteadyPlay.count())) {
            rejoinAttempts_ = 0;
        }
    }
    const int wait = kWaits.at(std::min<std::size_t>(rejoinAttempts_, kWaits.size() - 1));
    ++rejoinAttempts_;
    rejoining_ = true;
    rejoinTimer_.start(std::chrono::seconds(wait));
    return true;
}

void EntryOpener::rejoin() {
    if (!rejoining_ || fed() == nullptr) {
        return;
    }
    const quint64 ticket = ++feedTicket_;
    network_.reopenFeed(ticket, entry_.trimmed(), feedBuffer_);
}

}  // namespace lyrevane
