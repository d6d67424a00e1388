#pragma once

#include <QString>

#include <chrono>
#include <functional>

#include "platform/platform.h"

namespace lyrevane {

// Brings the window's two browser panes back after a page of theirs could not be loaded.
// A pane that failed shows a page of the player's own in its place; this remembers what
// the pane was loading. "Try again" on such a page reloads both panes; the network coming
// back reloads the panes that failed: told by the platform where it can tell, otherwise
// found by retries that come more slowly each time (30 seconds to 15 minutes).
class PaneRecovery {
public:
    enum class Pane { Main, Ad };
    // Asks for one call of retryDue after the delay, in place of any asked for before.
    using RetryTimer = std::function<void(std::chrono::milliseconds delay)>;

    static constexpr std::chrono::milliseconds kFirstRetry{30000};
    static constexpr std::chrono::milliseconds kLongestRetry{15 * 60000};

    PaneRecovery(BrowserPane& main, BrowserPane& ad, RetryTimer retryLater);

    // The platform tells when the network comes back: no timed retries are needed.
    void setNetworkWatched(bool watched) { networkWatched_ = watched; }
    // `pane` could not load `url` and shows the player's page instead.
    void failed(Pane pane, const QString& url);
    // `pane` loaded a page.
    void loaded(Pane pane);
    // The listener chose "Try again" on the page of `from`, which reloads itself.
    void tryAgain(Pane from);
    // The network is reachable again.
    void networkBack();
    // The retry asked for is due.
    void retryDue();

    bool isFailed(Pane pane) const { return !failed_[index(pane)].isEmpty(); }

private:
    static int index(Pane pane) { return pane == Pane::Main ? 0 : 1; }
    // Each pane but `except` loads again what it failed to load; with `all`, a pane that
    // shows its page reloads it.
    void reload(int except, bool all);

    BrowserPane* panes_[2];
    RetryTimer retryLater_;
    QString failed_[2];  // what each pane could not load; empty while it shows its page
    bool networkWatched_ = false;
    bool retryAsked_ = false;
    std::chrono::milliseconds nextRetry_ = kFirstRetry;
};

}  // namespace lyrevane
