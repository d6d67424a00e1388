#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

#include "common/clock.h"
#include "scheduler/urllauncher.h"

namespace lyrevane {

// A Lyrevane player as the session bus shows it.
struct PlayerReport {
    QString id;              // its bus name
    QString url;             // the stream it plays or tries (MPRIS xesam:url)
    QString playbackStatus;  // "Playing", "Paused", "Stopped"
    QString lastError;       // its last error for that stream, empty when none
    bool recording = false;  // whether it records its stream
};

// A launched broadcast waiting for a player to play it.
struct PendingLaunch {
    QString name;
    QString time;  // the broadcast's time as the user wrote it
    QString mediaUrl;
    int attempt = 1;
    QDateTime deadline;
    QString lastProblem;
    // Players whose error already counted against this broadcast; their word no longer does.
    QStringList spentPlayers;
    // Handed to a player (or to the opener) already; until then it waits for a look at the bus.
    bool launched = true;
    // A retry: it goes to a player on the bus that tries its stream or plays nothing.
    bool toRunningPlayer = false;
    // The listener wants it recorded once a player plays it.
    bool record = false;
};

// What a launch that did not happen is reported through.
class LaunchReporter {
public:
    virtual ~LaunchReporter() = default;
    // One report per failed broadcast; `problem` says what went wrong. The user may ask
    // to try again, which calls LaunchConfirmation::tryAgain with `launch`.
    virtual void reportFailure(const PendingLaunch& launch, const QString& problem) = 0;
    // The launch was handed on, but the players cannot be seen (`why`): nothing confirms it.
    virtual void cannotConfirm(const PendingLaunch& launch, const QString& why) = 0;
};

// Makes sure a scheduled start really plays: a due broadcast that a player already plays
// (or connects to) counts as started; otherwise it is launched and awaited (up to
// `confirmTimeout`) until a player reports "Playing" with the broadcast's stream. If none
// does, or the player reports an error for that stream, it tries once more: by MPRIS OpenUri
// in a player that tries that stream or plays nothing, else in a new player, never in one
// that has another stream; if that fails too, it reports the failure once. Without a look
// at the players (no usable bus) a broadcast is launched once and let go unconfirmed.
// Everything is driven from outside: Observe with what the bus shows (Unseen when it
// cannot be looked at), Tick with the time.
class LaunchConfirmation {
public:
    static constexpr std::chrono::seconds kConfirmTimeout{60};
    inline static const QString kNoPlayer = QStringLiteral("no player started");

    LaunchConfirmation(UrlLauncher& launcher, const Clock& clock, LaunchReporter& reporter,
                       std::chrono::milliseconds confirmTimeout = kConfirmTimeout);

    // Asks the player with that bus name to open a stream (MPRIS OpenUri).
    using PlayerOpener = std::function<void(const QString& player, const QString& mediaUrl)>;
    void setPlayerOpener(PlayerOpener opener) { openInPlayer_ = std::move(opener); }
    // Told of every broadcast a player plays, with that player.
    using ConfirmedHandler =
        std::function<void(const PendingLaunch& launch, const PlayerReport& player)>;
    void setConfirmedHandler(ConfirmedHandler handler) { confirmed_ = std::move(handler); }

    // A broadcast is due: the next Observe confirms it or launches it.
    void due(const QString& name, const QString& time, const QString& mediaUrl,
             bool record = false);
    // A broadcast was launched (started: whether the opener ran; error: why not).
    void launched(const QString& name, const QString& time, const QString& mediaUrl, bool started,
                  const QString& error, bool record = false);
    // The players the bus shows now.
    void observe(const QList<PlayerReport>& players);
    // The bus cannot be looked at (`why`): broadcasts waiting for a look are launched by
    // the opener, and launched ones are let go, since no player could confirm them.
    void unseen(const QString& why);
    // Gives up on launches whose time is out.
    void tick();
    // The user asked to try a reported broadcast again: a fresh launch.
    void tryAgain(const PendingLaunch& launch);

    bool isWaiting() const { return !pending_.isEmpty(); }
    const QList<PendingLaunch>& pending() const { return pending_; }

private:
    // Hands the broadcast to a player (a running one for a retry) or to the opener.
    void start(PendingLaunch launch, const QList<PlayerReport>& players);
    // The attempt failed: try again after the first, report after the second.
    void failed(PendingLaunch launch, const QString& problem);

    UrlLauncher& launcher_;
    const Clock& clock_;
    LaunchReporter& reporter_;
    std::chrono::milliseconds timeout_;
    QList<PendingLaunch> pending_;
    PlayerOpener openInPlayer_;
    ConfirmedHandler confirmed_;
};

// Whether a player's stream is the broadcast's: equal, or equal once percent-decoded.
bool sameStream(const QString& playerUrl, const QString& mediaUrl);

}  // namespace lyrevane
