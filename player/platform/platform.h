#pragma once

#include <QString>

namespace lyrevane {

// One browser pane as the player's logic drives it.
class BrowserPane {
public:
    virtual ~BrowserPane() = default;
    // Starts an asynchronous navigation to `url`; a later call supersedes it.
    virtual void navigate(const QString& url) = 0;
    virtual void refresh() = 0;
};

// Opens a web page or a mail address with the user's default application.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void openExternally(const QString& url) = 0;
};

// Reports usage to the portal's tracker; start-up sends the first report.
class UsageTracker {
public:
    virtual ~UsageTracker() = default;
    virtual void trackUsage() = 0;
};

}  // namespace lyrevane
