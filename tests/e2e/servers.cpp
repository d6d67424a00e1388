#include "servers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {

PageServer::PageServer() {
    connect(&server_, &QTcpServer::newConnection, this, &PageServer::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

QString PageServer::base() const {
    return u"http://127.0.0.1:"_s + QString::number(server_.serverPort());
}

void PageServer::add(const QString& path, const QString& body, const QByteArray& contentType) {
    pages_.insert(path, Page{body.toUtf8(), contentType});
}

void PageServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
    }
}

void PageServer::answer(QTcpSocket* socket) {
    QByteArray& request = buffers_[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) {
        return;
    }
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    buffers_.remove(socket);
    requests.append(path);
    const auto it = pages_.constFind(path);
    const bool found = it != pages_.cend();
    const QByteArray body = found ? it->body : QByteArray("<html><body>Not found</body></html>");
    const QByteArray type = found ? it->contentType : QByteArray("text/html; charset=utf-8");
    socket->write("HTTP/1.0 " + QByteArray(found ? "200 OK" : "404 Not Found") +
                  "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

SilentServer::SilentServer() {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++connections_;
            // Read and drop the request; the socket stays open until the client leaves.
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    server_.listen(QHostAddress::LocalHost, 0);
}

QString SilentServer::url(const QString& path) const {
    return u"http://127.0.0.1:"_s + QString::number(server_.serverPort()) + path;
}

QString DemoStreams::start() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(u"python3"_s,
                   {QStringLiteral(LYREVANE_SOURCE_DIR "/demo/streams.py"), u"--port"_s, u"0"_s});
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000 && !output.contains('\n')) {
        if (!process_.waitForReadyRead(500) && process_.state() == QProcess::NotRunning) {
            return u"demo/streams.py ended with status "_s + QString::number(process_.exitCode());
        }
        output += process_.readAllStandardOutput();
    }
    const QByteArray line = output.left(output.indexOf('\n')).trimmed();
    if (!line.startsWith("READY ")) {
        return u"demo/streams.py did not report READY: "_s + QString::fromUtf8(line);
    }
    base_ = QString::fromUtf8(line.mid(6));
    return {};
}

DemoStreams::~DemoStreams() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

int DemoStreams::listeners(const QString& mount) const {
    const QUrl url(base_);
    QTcpSocket socket;
    socket.connectToHost(url.host(), static_cast<quint16>(url.port()));
    if (!socket.waitForConnected(2000)) {
        return -1;
    }
    socket.write("GET /status-json.xsl HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(2000)) {
        reply += socket.readAll();
    }
    reply += socket.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    if (body < 0) {
        return -1;
    }
    const QJsonValue source = QJsonDocument::fromJson(reply.mid(body + 4))
                                  .object()
                                  .value(u"icestats"_s)
                                  .toObject()
                                  .value(u"source"_s);
    // Icecast gives a bare object when one mount is live.
    const QJsonArray sources = source.isArray() ? source.toArray() : QJsonArray{source};
    for (const QJsonValue& entry : sources) {
        const QJsonObject object = entry.toObject();
        if (object.value(u"listenurl"_s).toString().endsWith(mount)) {
            return object.value(u"listeners"_s).toInt();
        }
    }
    return 0;
}

int closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const int port = server.serverPort();
    server.close();
    return port;
}

}  // namespace lyrevane::testing
