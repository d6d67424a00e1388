#include "scheduler/launchconfirmation.h"

#include <QUrl>

#include <utility>

#include "scheduler/schedulerlog.h"
#include "scheduler/schedulerservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// "Name (time)", as the log names a broadcast.
QString said(const PendingLaunch& launch) {
    return launch.name + u" ("_s + launch.time + u")"_s;
}

}  // namespace

bool sameStream(const QString& playerUrl, const QString& mediaUrl) {
    if (playerUrl.isEmpty()) {
        return false;
    }
    return playerUrl == mediaUrl || QUrl::fromPercentEncoding(playerUrl.toUtf8()) ==
                                        QUrl::fromPercentEncoding(mediaUrl.toUtf8());
}

LaunchConfirmation::LaunchConfirmation(UrlLauncher& launcher, const Clock& clock,
                                       LaunchReporter& reporter,
                                       std::chrono::milliseconds confirmTimeout)
    : launcher_(launcher), clock_(clock), reporter_(reporter), timeout_(confirmTimeout) {}

void LaunchConfirmation::launched(const QString& name, const QString& time, const QString& mediaUrl,
                                  bool started, const QString& error, bool record) {
    PendingLaunch launch{name, time, mediaUrl, 1, {}, {}, {}};
    launch.record = record;
    qCDebug(lcScheduler).noquote() << said(launch) << (started ? "launched" : "launched in vain");
    if (!started) {
        failed(launch, error.isEmpty() ? kNoPlayer : kNoPlayer + u": "_s + error);
        return;
    }
    launch.deadline = clock_.now().addMSecs(timeout_.count());
    pending_.append(launch);
}

void LaunchConfirmation::due(const QString& name, const QString& time, const QString& mediaUrl,
                             bool record) {
    PendingLaunch launch{name, time, mediaUrl, 1, clock_.now().addMSecs(timeout_.count()), {}, {}};
    launch.launched = false;
    launch.record = record;
    qCDebug(lcScheduler).noquote() << said(launch) << (record ? "is due, to be recorded" : "is due")
                                   << "- launched unless a player already plays it";
    pending_.append(launch);
}

void LaunchConfirmation::tryAgain(const PendingLaunch& launch) {
    PendingLaunch fresh = launch;
    fresh.attempt = 1;
    fresh.lastProblem.clear();
    fresh.launched = false;
    fresh.toRunningPlayer = true;
    fresh.deadline = clock_.now().addMSecs(timeout_.count());
    qCDebug(lcScheduler).noquote() << "the listener asked to try" << said(fresh) << "again";
    pending_.append(fresh);
}

void LaunchConfirmation::start(PendingLaunch launch, const QList<PlayerReport>& players) {
    launch.launched = true;
    launch.deadline = clock_.now().addMSecs(timeout_.count());
    // Players open only http and https streams through the bus; others go to the opener.
    const QString scheme = QUrl(launch.mediaUrl).scheme().toLower();
    const bool openable = scheme == u"http" || scheme == u"https";
    // The player that tries this stream, else one that plays nothing; never one that has
    // another stream loaded, which the listener may be hearing or coming back to.
    const auto rank = [&launch](const PlayerReport& player) {
        if (sameStream(player.url, launch.mediaUrl)) {
            return 0;
        }
        const bool idle =
            player.url.isEmpty() && player.playbackStatus == u"Stopped" && !player.recording;
        return idle ? 1 : 2;
    };
    const PlayerReport* chosen = nullptr;
    for (const PlayerReport& player : players) {
        if (rank(player) < 2 && (chosen == nullptr || rank(player) < rank(*chosen))) {
            chosen = &player;
        }
    }
    if (launch.toRunningPlayer && openInPlayer_ && openable && chosen != nullptr) {
        // It clears its error as it opens the stream: its word counts again.
        launch.spentPlayers.removeAll(chosen->id);
        qCDebug(lcScheduler).noquote() << "attempt" << launch.attempt << "of" << said(launch)
                                       << "opens it in the running player" << chosen->id;
        openInPlayer_(chosen->id, launch.mediaUrl);
        pending_.append(launch);
        return;
    }
    QString error;
    qCDebug(lcScheduler).noquote() << "attempt" << launch.attempt << "of" << said(launch)
                                   << "starts a player for" << launch.mediaUrl;
    if (!launcher_.open(playCommandUrl(launch.mediaUrl), &error)) {
        qCDebug(lcScheduler).noquote() << "the opener could not start a player:" << error;
        failed(launch, error.isEmpty() ? kNoPlayer : kNoPlayer + u": "_s + error);
        return;
    }
    pending_.append(launch);
}

void LaunchConfirmation::failed(PendingLaunch launch, const QString& problem) {
    if (launch.attempt == 1) {
        ++launch.attempt;
        launch.lastProblem = problem;
        launch.launched = false;
        launch.toRunningPlayer = true;
        launch.deadline = clock_.now().addMSecs(timeout_.count());
        qCDebug(lcScheduler).noquote()
            << u"%1 did not start (%2): tried once more"_s.arg(said(launch), problem);
        pending_.append(launch);
        return;
    }
    qCDebug(lcScheduler).noquote()
        << u"%1 did not start again (%2): reported"_s.arg(said(launch), problem);
    reporter_.reportFailure(launch, problem);
}

void LaunchConfirmation::observe(const QList<PlayerReport>& players) {
    QList<PendingLaunch> gaveUp;
    QList<PendingLaunch> toStart;
    QList<std::pair<PendingLaunch, PlayerReport>> playing;
    for (qsizetype i = 0; i < pending_.size();) {
        const PendingLaunch& launch = pending_[i];
        bool confirmed = false;
        QString error;
        QStringList erring;
        for (const PlayerReport& player : players) {
            if (!sameStream(player.url, launch.mediaUrl)) {
                continue;
            }
            if (player.playbackStatus == u"Playing") {
                confirmed = true;
                playing.append({launch, player});
                break;
            }
            if (launch.launched && !player.lastError.isEmpty() &&
                !launch.spentPlayers.contains(player.id)) {
                error = player.lastError;
                erring.append(player.id);
            }
        }
        if (!confirmed && !launch.launched) {
            toStart.append(pending_.takeAt(i));  // no player has it yet
        } else if (confirmed || !error.isEmpty()) {
            if (!confirmed) {
                PendingLaunch copy = launch;
                copy.lastProblem = error;
                copy.spentPlayers += erring;
                gaveUp.append(copy);
            }
            pending_.removeAt(i);
        } else {
            ++i;
        }
    }
    for (const PendingLaunch& launch : gaveUp) {
        failed(launch, launch.lastProblem);
    }
    for (const PendingLaunch& launch : toStart) {
        start(launch, players);
    }
    for (const auto& [launch, player] : playing) {
        qCDebug(lcScheduler).noquote()
            << said(launch) << "confirmed: the player" << player.id << "plays it";
        if (confirmed_) {
            confirmed_(launch, player);
        }
    }
}

void LaunchConfirmation::unseen(const QString& why) {
    QList<PendingLaunch> toStart;
    for (qsizetype i = 0; i < pending_.size();) {
        if (!pending_[i].launched) {
            toStart.append(pending_.takeAt(i));
        } else {
            ++i;
        }
    }
    for (const PendingLaunch& launch : toStart) {
        start(launch, {});  // to the opener; one that could not start stays for its retry
    }
    for (const PendingLaunch& launch : std::exchange(pending_, {})) {
        if (launch.launched) {
            reporter_.cannotConfirm(launch, why);
        } else {
            pending_.append(launch);
        }
    }
}

void LaunchConfirmation::tick() {
    const QDateTime now = clock_.now();
    QList<PendingLaunch> expired;
    for (qsizetype i = 0; i < pending_.size();) {
        if (now >= pending_[i].deadline) {
            expired.append(pending_.takeAt(i));
        } else {
            ++i;
        }
    }
    for (const PendingLaunch& launch : expired) {
        failed(launch, kNoPlayer);
    }
}

}  // namespace lyrevane
