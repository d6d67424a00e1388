#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>

namespace lyrevane::testing {

// Points the XDG folders at a fresh temporary folder for the life of the object, so
// that tests never touch the real user's settings.
class TempXdg {
public:
    TempXdg() {
        save("XDG_CONFIG_HOME", configHome_);
        save("XDG_RUNTIME_DIR", runtimeDir_);
        ::setenv("XDG_CONFIG_HOME", QFile::encodeName(config()).constData(), 1);
        ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime()).constData(), 1);
    }
    ~TempXdg() {
        restore("XDG_CONFIG_HOME", configHome_);
        restore("XDG_RUNTIME_DIR", runtimeDir_);
    }
    TempXdg(const TempXdg&) = delete;
    TempXdg& operator=(const TempXdg&) = delete;

    QString root() const { return dir_.path(); }
    QString config() const { return dir_.path() + QStringLiteral("/config"); }
    QString runtime() const { return dir_.path() + QStringLiteral("/runtime"); }
    QString storePath() const { return config() + QStringLiteral("/Lyrevane/settings.sqlite3"); }

private:
    struct Saved {
        bool set = false;
        QByteArray value;
    };
    static void save(const char* name, Saved& saved) {
        const char* value = std::getenv(name);
        saved.set = value != nullptr;
        saved.value = value != nullptr ? QByteArray(value) : QByteArray();
    }
    static void restore(const char* name, const Saved& saved) {
        if (saved.set) {
            ::setenv(name, saved.value.constData(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    QTemporaryDir dir_;
    Saved configHome_;
    Saved runtimeDir_;
};

}  // namespace lyrevane::testing
