#pragma once

#include <QList>
#include <QString>

#include <memory>

#include "platform/platform.h"

namespace lyrevane {

// A browser pane whose view is built later than the logic that drives it. Navigations
// and refreshes wait, in the order they were asked for, until the view's pane is
// attached; then they reach it, and every later call goes straight through.
class DeferredPane final : public BrowserPane {
public:
    void navigate(const QString& url) override;
    void refresh() override;

    // Hands every waiting call to `target`, in order, and keeps it for the calls to come.
    void attach(std::unique_ptr<BrowserPane> target);
    bool isAttached() const { return target_ != nullptr; }

private:
    struct Call {
        bool refresh = false;
        QString url;  // for a navigation
    };
    std::unique_ptr<BrowserPane> target_;
    QList<Call> waiting_;
};

}  // namespace lyrevane
