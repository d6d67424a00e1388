#pragma once

#include <QByteArray>

#include <cstdlib>
#include <ctime>

namespace lyrevane::testing {

// Sets TZ for one scope; POSIX rules ("EST5", "<+10>-10") need no time zone database.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
            had_ = true;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTz() {
        had_ ? ::setenv("TZ", old_.constData(), 1) : ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    QByteArray old_;
    bool had_ = false;
};

}  // namespace lyrevane::testing
