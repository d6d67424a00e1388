#pragma once

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

// A small HTTP/1.0 server on 127.0.0.1 for fixed pages and playlists; anything else is 404.
class PageServer final : public QObject {
public:
    PageServer();
    bool isListening() const { return server_.isListening(); }
    QString base() const;
    void add(const QString& path, const QString& body, const QByteArray& contentType);
    // Request paths in the order they arrived.
    QStringList requests;

private:
    void accept();
    void answer(QTcpSocket* socket);

    struct Page {
        QByteArray body;
        QByteArray contentType;
    };
    QTcpServer server_;
    QHash<QString, Page> pages_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

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

private:
    QProcess process_;
    QString base_;
};

// A port on 127.0.0.1 on which nothing listens.
int closedPort();

}  // namespace lyrevane::testing
