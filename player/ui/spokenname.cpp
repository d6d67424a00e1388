#include "ui/spokenname.h"

#include <QWidget>

namespace lyrevane {

SpokenName::SpokenName(QWidget* widget, std::chrono::milliseconds interval)
    : QObject(widget), widget_(widget) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(interval);
    connect(&quiet_, &QTimer::timeout, this, &SpokenName::Announce);
}

void SpokenName::Say(const QString& text) {
    latest_ = text;
    if (!quiet_.isActive()) {
        Announce();
    }
}

void SpokenName::Announce() {
    if (widget_->accessibleName() == latest_) {
        return;
    }
    widget_->setAccessibleName(latest_);  // sends the name-changed event
    quiet_.start();
}

}  // namespace lyrevane
