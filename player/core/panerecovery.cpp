#include "core/panerecovery.h"

#include <algorithm>
#include <utility>

namespace lyrevane {

PaneRecovery::PaneRecovery(BrowserPane& main, BrowserPane& ad, RetryTimer retryLater)
    : panes_{&main, &ad}, retryLater_(std::move(retryLater)) {}

void PaneRecovery::failed(Pane pane, const QString& url) {
    failed_[index(pane)] = url;
    if (!networkWatched_ && !retryAsked_ && retryLater_) {
        retryAsked_ = true;
        retryLater_(nextRetry_);
    }
}

void PaneRecovery::loaded(Pane pane) {
    failed_[index(pane)].clear();
    if (!isFailed(Pane::Main) && !isFailed(Pane::Ad)) {
        nextRetry_ = kFirstRetry;
    }
}

void PaneRecovery::tryAgain(Pane from) {
    if (isFailed(from)) {
        failed_[index(from)].clear();
        reload(index(from), true);
    }
}

void PaneRecovery::networkBack() {
    if (isFailed(Pane::Main) || isFailed(Pane::Ad)) {
        reload(-1, false);
    }
}

void PaneRecovery::retryDue() {
    retryAsked_ = false;
    if (isFailed(Pane::Main) || isFailed(Pane::Ad)) {
        nextRetry_ = std::min(nextRetry_ * 2, kLongestRetry);
        reload(-1, false);
    }
}

void PaneRecovery::reload(int except, bool all) {
    for (int i = 0; i < 2; ++i) {
        if (i == except) {
            continue;
        }
        if (failed_[i].isEmpty()) {
            if (all) {
                panes_[i]->refresh();
            }
        } else {
            panes_[i]->navigate(std::exchange(failed_[i], QString()));
        }
    }
}

}  // namespace lyrevane
