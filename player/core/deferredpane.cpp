#include "core/deferredpane.h"

#include <utility>

namespace lyrevane {

void DeferredPane::navigate(const QString& url) {
    if (target_) {
        target_->navigate(url);
    } else {
        waiting_.append(Call{false, url});
    }
}

void DeferredPane::refresh() {
    if (target_) {
        target_->refresh();
    } else {
        waiting_.append(Call{true, {}});
    }
}

void DeferredPane::attach(std::unique_ptr<BrowserPane> target) {
    target_ = std::move(target);
    if (!target_) {
        return;
    }
    const QList<Call> waiting = std::exchange(waiting_, {});
    for (const Call& call : waiting) {
        if (call.refresh) {
            target_->refresh();
        } else {
            target_->navigate(call.url);
        }
    }
}

}  // namespace lyrevane
