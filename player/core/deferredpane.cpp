#include "core/deferredpane.h"

#include <utility>

namespace lyrevane {

void DeferredPane::Navigate(const QString& url) {
    if (target_) {
        target_->Navigate(url);
    } else {
        waiting_.append(Call{false, url});
    }
}

void DeferredPane::Refresh() {
    if (target_) {
        target_->Refresh();
    } else {
        waiting_.append(Call{true, {}});
    }
}

void DeferredPane::Attach(std::unique_ptr<BrowserPane> target) {
    target_ = std::move(target);
    if (!target_) {
        return;
    }
    const QList<Call> waiting = std::exchange(waiting_, {});
    for (const Call& call : waiting) {
        if (call.refresh) {
            target_->Refresh();
        } else {
            target_->Navigate(call.url);
        }
    }
}

}  // namespace lyrevane
