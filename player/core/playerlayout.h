#pragma once

#include <QRect>
#include <QSize>

namespace lyrevane {

// The main window's vertical stack in client pixels: logo, content pane, play bar,
// advertisement pane and status bar, with the play bar working as a splitter.
// Plain geometry: the window applies the rectangles to its widgets.
class PlayerLayout {
public:
    static constexpr int kMinContentHeight = 125;
    static constexpr int kMinAdHeight = 94;
    static constexpr int kMinWidthBeyondLogo = 30;
    static constexpr int kDesignPlayBarHeight = 36;
    // The play bar's grabbable strip starts right of its button panel.
    static constexpr int kGrabStripLeft = 459;

    // Button states of a splitter drag.
    static constexpr int kLeftButton = 1;

    PlayerLayout(QSize logo, int statusBarHeight, int playBarHeight = kDesignPlayBarHeight);

    void setLogoSize(QSize logo) { logo_.setSize(logo); }
    void setStatusBarHeight(int height) { statusBarHeight_ = height; }

    // Lays the stack out for a client area of `client`; does nothing while minimised.
    // A change of height goes entirely to the content pane.
    void resize(QSize client, bool minimised = false);
    // One mouse move over the play bar; `y` is relative to the bar's top. Moves the bar
    // only while `buttons` is exactly the left button, within both limits.
    void drag(int buttons, double y);
    // Places the bar `playBarBottom` pixels above the client's bottom edge, then drags
    // once at the bar's middle so that both limits apply.
    void restorePlayBar(double playBarBottom);
    // Distance from the play bar's bottom edge to the client's bottom edge.
    float playBarBottom() const;
    // The default for "PlayBarBottom": the status bar and the least advertisement pane.
    int defaultPlayBarBottom() const { return statusBarHeight_ + kMinAdHeight; }
    // Least outer window width, and least client height.
    int minimumOuterWidth() const { return logo_.width() + kMinWidthBeyondLogo; }
    int minimumClientHeight() const;

    QSize client() const { return client_; }
    QRect logo() const { return logo_; }
    QRect content() const { return content_; }
    QRect playBar() const { return playBar_; }
    QRect ad() const { return ad_; }
    QRect statusBar() const;

private:
    QSize client_;
    QRect logo_;
    QRect content_;
    QRect playBar_;
    QRect ad_;
    int statusBarHeight_;
};

}  // namespace lyrevane
