#pragma once

#include "../support/pageserver.h"
#include "../support/ports.h"
#include "../support/waituntil.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <chrono>
#include <functional>

class QTcpSocket;

namespace lyrevane::testing {

using namespace std::chrono_literals;

// Accepts connections on 127.0.0.1 and never answers them.
class SilentServer final : public QObject {
public:
    SilentServer();
    QString url(const QString& path) const;
    int connections() const { return connections_; }

private:
    QTcpServer server_;
    int connections_ = 0;
};

// The demo programme on a local Icecast 2 server (demo/streams.py).
class DemoStreams {
public:
    // Empty when it started; otherwise why not.
    QString start();
    ~DemoStreams();
    DemoStreams() = default;
    DemoStreams(const DemoStreams&) = delete;
    DemoStreams& operator=(const DemoStreams&) = delete;

    QString base() const { return base_; }
    QString mp3() const { return base_ + QStringLiteral("/quillmoor.mp3"); }
    // Listeners of `mount` as Icecast reports them, or -1 when the status cannot be read.
    int listeners(const QString& mount) const;
    // Takes the programme off the air (its encoder stops, the mounts go away) or puts it
    // back, and waits until the MP3 mount is gone or live again.
    bool setOnAir(bool onAir);

private:
    QProcess process_;
    QString base_;
};

}  // namespace lyrevane::testing
