#pragma once

#include "../support/ports.h"
#include "../support/waituntil.h"

#include "vlc/vlcmediaengine.h"

#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lyrevane::testing {

using namespace std::chrono_literals;

// Processes events for `duration`.
void settle(std::chrono::milliseconds duration);

// Runs a shell-free command and returns whether it exited with status 0.
bool runProgram(const QString& program, const QStringList& arguments);

// An engine that needs no sound server.
std::unique_ptr<VlcMediaEngine> makeEngine(std::chrono::milliseconds connectTimeout = 20s);
std::unique_ptr<VlcMediaEngine> makeEngine(const PlayTimings& timings);

// Whether the engine's play state comes to `state` within `timeout`.
bool reaches(const MediaEngine& engine, MediaEngine::PlayState state,
             std::chrono::milliseconds timeout = 10s);

// The transport controls the engine offers now: "play pause stop" without those it does not.
std::string availableControls(const MediaEngine& engine);

// The engine's state signals in order, as "open:N", "play:N" and "error".
class SignalLog : public QObject {
public:
    explicit SignalLog(MediaEngine& engine);

    std::vector<std::string> events;
    int count(const std::string& event) const;
    // Index of the first occurrence of `event`, or -1.
    int indexOf(const std::string& event) const;
};

// stream_server.py on 127.0.0.1, serving a folder of test media and playlists.
class StreamServer {
public:
    explicit StreamServer(const QString& root);
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    bool isRunning() const { return port_ != 0; }
    QString url(const QString& path) const;
    // Paths requested so far, in order.
    QStringList requests();
    // Paths the player itself looked at before handing a source to libVLC, in order.
    QStringList looks();
    // How much a flooding path has sent so far, in whole MiB.
    qint64 sent(const QString& path);

private:
    void readOutput();

    QProcess process_;
    int port_ = 0;
    QStringList requests_;
    QStringList looks_;
    QHash<QString, qint64> sent_;
    QByteArray pending_;
};

}  // namespace lyrevane::testing
