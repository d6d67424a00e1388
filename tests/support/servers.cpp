#include "servers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <algorithm>

#include <signal.h>

#include "../support/icecaststatus.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {

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

bool DemoStreams::setOnAir(bool onAir) {
    ::kill(static_cast<pid_t>(process_.processId()), onAir ? SIGUSR2 : SIGUSR1);
    return waitUntil(
        [&] {
            const auto status = IcecastStatus::read(QUrl(base_).port());
            return status && (status->listeners(u"/quillmoor.mp3"_s) >= 0) == onAir;
        },
        15s);
}

int DemoStreams::listeners(const QString& mount) const {
    const std::optional<IcecastStatus> status = IcecastStatus::read(QUrl(base_).port());
    return status ? std::max(0, status->listeners(mount)) : -1;
}

}  // namespace lyrevane::testing
