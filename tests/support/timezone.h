#pragma once

#include <QByteArray>

#include <cstdlib>
#include <ctime>

namespace lyrevane::testing {

// Sets TZ for the life of the object (a POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3"
// needs no time zone database), then restores what was there.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        old_ = old != nullptr ? QByteArray(old) : QByteArray();
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (hadOld_) {
            ::setenv("TZ", old_.constData(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool hadOld_ = false;
    QByteArray old_;
};

}  // namespace lyrevane::testing
