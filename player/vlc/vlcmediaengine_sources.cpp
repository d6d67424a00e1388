// Where an entry's bytes come from: the stream feed, or libVLC's own access by URL; and the
// entries of playlists that libVLC reads itself.
#include "vlc/vlcmediaengine.h"

#include "engine/vlcmessages.h"

#include <QUrl>

#include <cstdint>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QString VlcMediaEngine::urlOfMrl(const QString& mrl) const {
    return gateway_->upstreamOf(mrl);
}

void VlcMediaEngine::openEntry(const QString& url) {
    haltPlayer();
    releaseMedia();
    volumeRepairs_ = 0;
    entry_ = url;
    if (!player_->isValid()) {
        events_.push_back(PlayStateMachine::openFailed(vlcmessages::engineUnavailable()));
        return;
    }
    // A new connection starts without the old station's title.
    setMetadata({}, {});
    const QString source = url.trimmed();
    if (!rules_.allows(source)) {
        events_.push_back(PlayStateMachine::openFailed(sourcemessages::refusedSource(source)));
        return;
    }
    if (!isHttpUrl(source)) {
        // libVLC opens these itself: at an address checked here, never by the name.
        const quint64 ticket = ++feedTicket_;
        network_->pin(ticket, source, connectTimeout());
        return;
    }
    // libVLC starts now and waits for the bytes the feed checks and hands on.
    const quint64 ticket = ++feedTicket_;
    rejoining_ = false;
    rejoinAttempts_ = 0;
    rejoinTimer_.stop();
    feedBuffer_ = std::make_shared<FeedBuffer>();
    // A recording goes on across connections: the gap is noted.
    recording_.noteGap();
    recording_.tap(*feedBuffer_);
    network_->openFeed(ticket, source, feedBuffer_);
    if (!player_->setFed(feedBuffer_.get())) {
        events_.push_back(PlayStateMachine::openFailed());
        return;
    }
    applyVolume();
    // Set before it plays, so that the rate changes at most once more, when the cushion is
    // grown.
    pacing_.start(*player_);
    cushionTimer_.start();
    shift_.reset();
    keptAllTold_ = false;
    shownBehind_ = 0;
    if (!player_->play()) {
        events_.push_back(PlayStateMachine::openFailed());
    }
}

void VlcMediaEngine::openUrlMedia(const QString& url) {
    stopRecording();
    // libVLC reads HTTP(S) from the gateway only, which checks each of its requests.
    if (isHttpUrl(url) && !gateway_->isListening()) {
        dispatch(PlayStateMachine::openFailed());
        return;
    }
    if (!player_->setLocation(isHttpUrl(url) ? gateway_->publish(url) : url)) {
        dispatch(PlayStateMachine::openFailed());
        return;
    }
    applyVolume();
    player_->setRate(1.0);
    if (!player_->play()) {
        dispatch(PlayStateMachine::openFailed());
    }
}

void VlcMediaEngine::governCushion() {
    if (!player_->isFed() || !feedBuffer_) {
        cushionTimer_.stop();
        return;
    }
    followAudioHeard();
    if (machine_.phase() != PlayStateMachine::Phase::Playing) {
        return;
    }
    pacing_.look(*player_, *feedBuffer_);
}

void VlcMediaEngine::followAudioHeard() {
    if (!player_->isFed() || !feedBuffer_) {
        return;
    }
    if (const std::optional<QString> title = shift_.titleAt(feedBuffer_->position())) {
        setMetadata(station_, *title);
    }
    const qint64 behind = std::chrono::duration_cast<std::chrono::seconds>(shift_.behind()).count();
    const qint64 recorded = recordingSeconds();
    if (behind != shownBehind_ || recorded != shownRecorded_) {
        shownBehind_ = behind;
        shownRecorded_ = recorded;
        announce([this] { Q_EMIT metadataChanged(); });
    }
    if (const QString error = recording_.untoldError(); !error.isEmpty()) {
        Q_EMIT recordingMessage(error);
    }
    if (!keptAllTold_ && feedBuffer_->keptAll()) {
        keptAllTold_ = true;
        Q_EMIT recordingMessage(
            u"No more of the programme can be kept while it is paused: "_s + timeShiftFolder() +
            u" cannot be written, or its disk is nearly full. Play goes on from where it was."_s);
    }
}

void VlcMediaEngine::onResolved(quint64 ticket, const SourceResolution& result) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    haltPlayer();
    releaseMedia();
    switch (result.kind) {
        case SourceResolution::Kind::Media:
            // A source the feed does not read (a segmented stream, a status line only
            // libVLC understands): libVLC opens the URL the feed checked.
            openUrlMedia(result.url);
            return;
        case SourceResolution::Kind::Playlist:
            // The machine takes a playlist the feed read as it takes one libVLC read.
            dispatch(PlayStateMachine::endReached(result.entries));
            return;
        case SourceResolution::Kind::Failed:
            dispatch(result.refused.isEmpty() ? PlayStateMachine::openFailed(result.message)
                                              : PlayStateMachine::refused(result.message));
            return;
    }
}

void VlcMediaEngine::onGatewayRefused(quint64 session, const QString& target) {
    if (session != gatewaySession_ || !player_->hasMedia() || player_->isFed()) {
        return;
    }
    haltPlayer();
    dispatch(PlayStateMachine::refused(target == entry_
                                           ? sourcemessages::refusedSource(entry_)
                                           : sourcemessages::refusedRedirect(entry_, target)));
}

// The entry failed for a reason the player's own input found: the machine reads it as it reads
// libVLC's.
void VlcMediaEngine::failWith(const QString& line) {
    dispatch(PlayStateMachine::logError(line));
    Event failure;
    failure.kind = Event::Kind::Error;
    dispatch(failure);
}

// Before libVLC's own error for the gateway's answer, which names no cause.
void VlcMediaEngine::onGatewayFailed(quint64 session, const QString& line) {
    if (session != gatewaySession_ || !player_->hasMedia() || player_->isFed()) {
        return;
    }
    haltPlayer();
    releaseMedia();
    failWith(line);
}

void VlcMediaEngine::onPinned(quint64 ticket, const QString& pinned, bool refused,
                              const QString& line) {
    if (ticket != feedTicket_) {
        return;
    }
    if (refused) {
        dispatch(PlayStateMachine::refused(sourcemessages::refusedSource(entry_)));
    } else if (pinned.isEmpty()) {
        failWith(line);
    } else {
        openUrlMedia(pinned);
    }
}

void VlcMediaEngine::onFeedFailed(quint64 ticket, const QString& line) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    haltPlayer();
    releaseMedia();
    failWith(line);
}

// Only the sub-items' URLs are kept, and only those the rules allow: each is resolved
// like any other entry before it opens. A sub-item at a gateway address stands for its real
// source (relative entries of a playlist libVLC read through the gateway); one the gateway
// no longer knows is dropped.
PlayStateMachine::Event VlcMediaEngine::subItemsEvent() {
    QStringList allowed;
    const QStringList subItems = player_->subItems();
    for (const QString& mrl : subItems) {
        const QString url = urlOfMrl(mrl);
        if (!url.isEmpty() && rules_.allows(url)) {
            allowed.append(url);
        }
    }
    if (allowed.isEmpty() && !subItems.isEmpty()) {
        return PlayStateMachine::refused(sourcemessages::refusedPlaylist(entry_));
    }
    return PlayStateMachine::endReached(allowed);
}

}  // namespace lyrevane
