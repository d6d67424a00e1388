#include "core/playerlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lyrevane {

namespace {

// Nearest whole number, halves to the even neighbour, kept within 16 bits.
int toInt16(double value) {
    const double rounded = std::nearbyint(value);
    return int(std::clamp(rounded, double(INT16_MIN), double(INT16_MAX)));
}

}  // namespace

PlayerLayout::PlayerLayout(QSize logo, int statusBarHeight, int playBarHeight)
    : client_(512, 238),
      logo_(QPoint(220, 4), logo),
      content_(4, 72, 205, 93),
      playBar_(4, 176, 501, playBarHeight),
      ad_(220, 72, 197, kMinAdHeight),
      statusBarHeight_(statusBarHeight) {}

void PlayerLayout::resize(QSize client, bool minimised) {
    if (minimised) {
        return;
    }
    client_ = client;
    logo_.moveTo(client.width() / 2 - logo_.width() / 2, 0);
    const int contentHeight =
        client.height() - (statusBarHeight_ + ad_.height() + playBar_.height() + logo_.height());
    content_.setRect(0, logo_.height(), client.width(), std::max(0, contentHeight));
    playBar_.setRect(0, content_.height() + logo_.height(), client.width(), playBar_.height());
    ad_.setRect(0, content_.height() + logo_.height() + playBar_.height(), client.width(),
                ad_.height());
}

void PlayerLayout::drag(int buttons, double y) {
    if (buttons != kLeftButton) {
        return;
    }
    const double half = playBar_.height() / 2.0;
    const int logoHeight = logo_.height();
    const int clientHeight = client_.height();
    int c = toInt16(y - half + playBar_.top() + half);
    // Upper limit: the content pane keeps its least height.
    if (float(logoHeight + kMinContentHeight) >= float(c - half)) {
        c = toInt16(half + logoHeight + kMinContentHeight);
    }
    // Lower limit, which wins over the upper one: the advertisement pane keeps its least height.
    if (float(statusBarHeight_ + kMinAdHeight) >= float(clientHeight - (half + c))) {
        c = toInt16(clientHeight - (statusBarHeight_ + kMinAdHeight) - half);
    }
    playBar_.moveTop(toInt16(c - half));
    content_.setHeight(std::max(0, toInt16(c - half - logoHeight)));
    ad_.setRect(ad_.left(), toInt16(c + half), ad_.width(),
                std::max(0, toInt16(clientHeight - (half + c) - statusBarHeight_)));
}

void PlayerLayout::restorePlayBar(double playBarBottom) {
    playBar_.moveTop(toInt16(client_.height() - playBarBottom - playBar_.height()));
    drag(kLeftButton, playBar_.height() / 2.0);
}

float PlayerLayout::playBarBottom() const {
    return float(client_.height() - (playBar_.top() + playBar_.height()));
}

int PlayerLayout::minimumClientHeight() const {
    return statusBarHeight_ + ad_.height() + logo_.height() + playBar_.height() + kMinContentHeight;
}

QRect PlayerLayout::statusBar() const {
    return QRect(0, client_.height() - statusBarHeight_, client_.width(), statusBarHeight_);
}

}  // namespace lyrevane
