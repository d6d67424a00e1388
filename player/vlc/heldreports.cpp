#include "vlc/heldreports.h"

#include <utility>

namespace lyrevane {

void HeldReports::start(const QString& url) {
    drop();
    holding_ = true;
    url_ = url;
}

void HeldReports::announce(std::function<void()> report) {
    if (holding_) {
        held_.push_back(std::move(report));
    } else {
        report();
    }
}

bool HeldReports::adopt(const QString& url) {
    if (!holding_ || url != url_) {
        return false;
    }
    holding_ = false;
    url_.clear();
    const std::vector<std::function<void()>> held = std::exchange(held_, {});
    for (const auto& report : held) {
        report();
    }
    return true;
}

bool HeldReports::drop() {
    const bool was = std::exchange(holding_, false);
    url_.clear();
    held_.clear();
    return was;
}

}  // namespace lyrevane
