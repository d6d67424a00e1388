#pragma once

#include "engine/playevents.h"

#include <array>
#include <chrono>
#include <vector>

namespace lyrevane {

// The commands a PlayStateMachine gives out for one event, in order, and what they leave
// standing: the timers that run and the open and play states last published. A state or a
// stopped timer is only given out when it changes.
class PlayOutput {
public:
    // The commands given out since the last take.
    std::vector<PlayCommand> take();

    void openEntry(const QString& url);
    void pauseInPlace();
    void resumeInPlace();
    // Stops every timer, then the player.
    void haltPlayer();
    void startTimer(PlayTimer timer, std::chrono::milliseconds duration);
    void stopTimer(PlayTimer timer);
    void stopAllTimers();
    // True when `timer` was running; it is not any more. A timer fired after it was stopped
    // is stale.
    bool takeFired(PlayTimer timer);
    void setOpenState(int state);
    void setPlayState(int state);
    void reportError(const QString& description);

    int openState() const { return openState_; }
    int playState() const { return playState_; }

private:
    void add(PlayCommand::Kind kind, const QString& text = {}, PlayTimer timer = {});
    bool& running(PlayTimer timer);

    std::vector<PlayCommand> out_;
    std::array<bool, kPlayTimerCount> timerRunning_{};
    int openState_ = 0;
    int playState_ = 0;
};

}  // namespace lyrevane
