#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "../support/requesthead.h"

namespace lyrevane::testing {

// An HTTP/1.0 server for tests on a loopback address, answering each path with a fixed
// response, and recording every connection and request it gets. A path without a
// response is answered 404. "Streams" send their headers and a first chunk, then keep
// sending chunks until the client leaves, like a live radio stream.
class ScriptedServer final : public QObject {
public:
    explicit ScriptedServer(const QHostAddress& address = QHostAddress::LocalHost) {
        connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
        server_.listen(address, 0);
        stream_.setInterval(50);
        connect(&stream_, &QTimer::timeout, this, [this] { feedStreams(); });
        stream_.start();
    }
    ~ScriptedServer() override {
        const QList<QTcpSocket*> sockets = streaming_;
        streaming_.clear();
        for (QTcpSocket* socket : sockets) {
            socket->abort();
        }
    }

    bool isListening() const { return server_.isListening(); }
    // "http://address:port" + path.
    QString url(const QString& path) const {
        return QStringLiteral("http://") + server_.serverAddress().toString() + u':' +
               QString::number(server_.serverPort()) + path;
    }
    QString authority() const {
        return server_.serverAddress().toString() + u':' + QString::number(server_.serverPort());
    }

    void page(const QString& path, const QByteArray& contentType, const QByteArray& body) {
        respond(path, "200 OK",
                "Content-Type: " + contentType +
                    "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n",
                body);
    }
    void redirect(const QString& path, const QString& location, int status = 302) {
        respond(path, QByteArray::number(status) + " Moved",
                "Location: " + location.toUtf8() + "\r\nContent-Length: 0\r\n", {});
    }
    // After the response set for `path` has been given once, every later request for it
    // is redirected: a server that answers a second client differently from the first.
    void redirectLater(const QString& path, const QString& location) {
        later_.insert(path, Route{"HTTP/1.0 302 Found\r\nLocation: " + location.toUtf8() +
                                      "\r\nContent-Length: 0\r\n\r\n",
                                  {},
                                  false});
    }
    // `headers`: more header lines, each ending in "\r\n".
    void stream(const QString& path, const QByteArray& contentType, const QByteArray& chunk,
                const QByteArray& headers = {}) {
        routes_.insert(path, Route{"HTTP/1.0 200 OK\r\nContent-Type: " + contentType + "\r\n" +
                                       headers + "\r\n",
                                   chunk, true});
    }
    void respond(const QString& path, const QByteArray& status, const QByteArray& headers,
                 const QByteArray& body) {
        routes_.insert(path, Route{"HTTP/1.0 " + status + "\r\n" + headers + "\r\n", body, false});
    }
    // `head` sent exactly as given (status line, headers and any blank line), then `chunk`
    // again and again until the client leaves.
    void raw(const QString& path, const QByteArray& head, const QByteArray& chunk) {
        routes_.insert(path, Route{head, chunk, true});
    }
    // Connections still being streamed to: a client that left is no longer counted.
    qsizetype streaming() const { return streaming_.size(); }

    // Connections accepted so far (the backlog is taken in before counting).
    int connections() {
        accept();
        return connections_;
    }
    // Paths requested so far, in order, and the heads of those requests.
    QStringList requests;
    QList<QByteArray> heads;

private:
    struct Route {
        QByteArray head;
        QByteArray body;
        bool endless = false;
    };

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++connections_;
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                streaming_.removeAll(socket);
                buffers_.remove(socket);
                chunks_.remove(socket);
                socket->deleteLater();
            });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    }

    void answer(QTcpSocket* socket) {
        const std::optional<RequestHead> head = takeRequestHead(buffers_, socket);
        if (!head) {
            return;
        }
        heads.append(head->text);
        const QString& path = head->path;
        requests.append(path);
        if (requests.count(path) > 1 && later_.contains(path)) {
            routes_.insert(path, later_.take(path));
        }
        const auto it = routes_.constFind(path);
        if (it == routes_.cend()) {
            socket->write(
                "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n\r\n"
                "Not found");
            socket->disconnectFromHost();
            return;
        }
        socket->write(it->head + it->body);
        if (it->endless) {
            chunks_.insert(socket, it->body);
            streaming_.append(socket);
        } else {
            socket->disconnectFromHost();
        }
    }

    void feedStreams() {
        for (QTcpSocket* socket : std::as_const(streaming_)) {
            if (socket->bytesToWrite() < 256 * 1024) {
                socket->write(chunks_.value(socket));
            }
        }
    }

    QTcpServer server_;
    QTimer stream_;
    QHash<QString, Route> routes_;
    QHash<QString, Route> later_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QHash<QTcpSocket*, QByteArray> chunks_;
    QList<QTcpSocket*> streaming_;
    int connections_ = 0;
};

}  // namespace lyrevane::testing
