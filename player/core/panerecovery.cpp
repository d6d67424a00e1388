#include "core/panerecovery.h"

#include <algorithm>
#include <utility>

namespace lyrevane {

PaneRecovery::PaneRecovery(BrowserPane& main, BrowserPane& ad, RetryTimer retryLater)
    : panes_{&main, &ad}, retryLater_(std::move(retryLater)) {}

void PaneRecovery::Failed(Pane pane, const QString& url) {
    failed_[index(pane)] = url;
    if (!networkWatched_ && !retryAsked_ && retryLater_) {
        retryAsked_ = true;
        retryLater_(nextRetry_);
    }
}

void PaneRecovery::Loaded(Pane pane) {
    failed_[index(pane)].clear();
    if (!IsFailed(Pane::Main) && !IsFailed(Pane::Ad)) {
        nextRetry_ = kFirstRetry;
    }
}

void PaneRecovery::TryAgain(Pane from) {
    if (IsFailed(from)) {
        failed_[index(from)].clear();
        Reload(index(from), true);
    }
}

void PaneRecovery::NetworkBack() {
    if (IsFailed(Pane::Main) || IsFailed(Pane::Ad)) {
        Reload(-1, false);
    }
}

void PaneRecovery::RetryDue() {
    retryAsked_ = false;
    if (IsFailed(Pane::Main) || IsFailed(Pane::Ad)) {
        nextRetry_ = std::min(nextRetry_ * 2, kLongestRetry);
        Reload(-1, false);
    }
}

void PaneRecovery::Reload(int except, bool all) {
    for (int i = 0; i < 2; ++i) {
        if (i == except) {
            continue;
        }
        if (failed_[i].isEmpty()) {
            if (all) {
                panes_[i]->Refresh();
            }
        } else {
            panes_[i]->Navigate(std::exchange(failed_[i], QString()));
        }
    }
}

}  // namespace lyrevane
