#pragma once

// A tiny HTTP/1.0 server for fixed pages, on a loopback address.
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace lyrevane::testing {

class PageServer final : public QObject {
public:
    explicit PageServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost)) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
        server_.listen(address, 0);
    }
    bool isListening() const { return server_.isListening(); }
    QString base() const {
        return QStringLiteral("http://%1:%2")
            .arg(server_.serverAddress().toString())
            .arg(server_.serverPort());
    }
    void add(const QString& path, const QString& html) { pages_.insert(path, html.toUtf8()); }
    QStringList requests;

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                buffers_[socket] += socket->readAll();
                const QByteArray& request = buffers_[socket];
                if (!request.contains("\r\n\r\n")) {
                    return;
                }
                const QString path = QString::fromLatin1(request.split(' ').value(1));
                buffers_.remove(socket);
                requests.append(path);
                const auto it = pages_.constFind(path);
                const QByteArray body = it != pages_.cend() ? *it : QByteArray("not found");
                const QByteArray status = it != pages_.cend() ? "200 OK" : "404 Not Found";
                socket->write("HTTP/1.0 " + status +
                              "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                              body);
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer server_;
    QHash<QString, QByteArray> pages_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace lyrevane::testing
