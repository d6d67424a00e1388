#include "ui/spokenname.h"

#include <QWidget>

namespace lyrevane {

SpokenName::SpokenName(QWidget* widget, std::chrono::milliseconds interval)
    : QObject(widget), widget_(widget) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(interval);
    connect(&quiet_, &QTimer::timeout, this, &SpokenName::announce);
}

void SpokenName::say(const QString& text) {
    latest_ = text;
    if (!quiet_.isActive()) {
        announce();
    }
}

void SpokenName::announce() {
    if (widget_->accessibleName() == latest_) {
        return;
    }
    widget_->setAccessibleName(latest_);  // sends the name-changed event
    quiet_.start();
}

}  // namespace lyrevane
