#pragma once

#include <QDateTime>

namespace lyrevane {

// The wall clock, injected so that time-dependent logic can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace lyrevane
