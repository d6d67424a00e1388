#pragma once

// A small HTTP/1.0 server on a loopback address (127.0.0.1 unless told otherwise) for
// fixed pages and playlists; anything else is answered 404. Runs on the test's event loop.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include "../support/requesthead.h"

namespace lyrevane::testing {

class PageServer final : public QObject {
public:
    explicit PageServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                        quint16 port = 0) {
        connect(&server_, &QTcpServer::newConnection, this, &PageServer::accept);
        server_.listen(address, port);
    }
    bool isListening() const { return server_.isListening(); }
    QString base() const {
        return QStringLiteral("http://%1:%2")
            .arg(server_.serverAddress().toString())
            .arg(server_.serverPort());
    }
    void add(const QString& path, const QString& body,
             const QByteArray& contentType = "text/html; charset=utf-8") {
        pages_.insert(path, Page{body.toUtf8(), contentType});
    }
    // Request paths in the order they arrived.
    QStringList requests;

private:
    void answer(QTcpSocket* socket) {
        const std::optional<RequestHead> head = takeRequestHead(buffers_, socket);
        if (!head) {
            return;
        }
        const QString& path = head->path;
        requests.append(path);
        const auto it = pages_.constFind(path);
        const bool found = it != pages_.cend();
        const QByteArray body =
            found ? it->body : QByteArray("<html><body>Not found</body></html>");
        const QByteArray type = found ? it->contentType : QByteArray("text/html; charset=utf-8");
        socket->write("HTTP/1.0 " + QByteArray(found ? "200 OK" : "404 Not Found") +
                      "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    }

    struct Page {
        QByteArray body;
        QByteArray contentType;
    };
    QTcpServer server_;
    QHash<QString, Page> pages_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace lyrevane::testing
