#pragma once

#include <QByteArray>

#include <clocale>

namespace lyrevane::testing {

// Switches the C library's numeric conventions to German (decimal comma) for the life of
// the object, as a Qt application started under LC_ALL=de_DE.UTF-8 would. `active()` is
// false when the machine has no such locale (scripts/install-deps generates it).
class ScopedCommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    ScopedCommaLocale() {
        saved_ = QByteArray(std::setlocale(LC_ALL, nullptr));
        active_ = std::setlocale(LC_ALL, kName) != nullptr;
    }
    ~ScopedCommaLocale() { std::setlocale(LC_ALL, saved_.constData()); }
    ScopedCommaLocale(const ScopedCommaLocale&) = delete;
    ScopedCommaLocale& operator=(const ScopedCommaLocale&) = delete;

    bool active() const { return active_; }
    // True when the decimal separator really is a comma now.
    static bool commaIsDecimal() { return std::localeconv()->decimal_point[0] == ','; }

private:
    QByteArray saved_;
    bool active_ = false;
};

}  // namespace lyrevane::testing
