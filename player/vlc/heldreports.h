#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace lyrevane {

// What the engine reports while an opening is prestarted (before anyone listens), held back:
// the first setUrl of the same URL adopts the opening and hears what was held, in order; any
// other command drops it.
class HeldReports {
public:
    // Holds from now on, for an opening of `url`.
    void start(const QString& url);
    bool holding() const { return holding_; }
    // Reports now, or holds the report back while holding.
    void announce(std::function<void()> report);
    // When `url` is the one held for: stops holding and gives what was held, in order; true.
    bool adopt(const QString& url);
    // Drops what was held; true when holding.
    bool drop();

private:
    bool holding_ = false;
    QString url_;
    std::vector<std::function<void()>> held_;
};

}  // namespace lyrevane
