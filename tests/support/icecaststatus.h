#pragma once

// What an Icecast 2 server on 127.0.0.1 reports about its mounts (status-json.xsl).
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTcpSocket>

#include <optional>

namespace lyrevane::testing {

class IcecastStatus {
public:
    // The server's status now; nullopt when it cannot be read.
    static std::optional<IcecastStatus> read(int port) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!socket.waitForConnected(2000)) {
            return std::nullopt;
        }
        socket.write("GET /status-json.xsl HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray reply;
        while (socket.waitForReadyRead(2000)) {
            reply += socket.readAll();
        }
        reply += socket.readAll();
        const qsizetype body = reply.indexOf("\r\n\r\n");
        if (body < 0) {
            return std::nullopt;
        }
        const QJsonDocument document = QJsonDocument::fromJson(reply.mid(body + 4));
        if (!document.isObject()) {
            return std::nullopt;
        }
        const QJsonValue source = document.object()
                                      .value(QStringLiteral("icestats"))
                                      .toObject()
                                      .value(QStringLiteral("source"));
        IcecastStatus status;
        // Icecast gives a bare object when one mount is live, an array for several.
        if (source.isArray()) {
            status.sources_ = source.toArray();
        } else if (source.isObject()) {
            status.sources_.append(source);
        }
        return status;
    }

    // Listeners of `mount` ("/live.mp3"), or -1 when the server has no such mount.
    int listeners(const QString& mount) const {
        for (const QJsonValue& entry : sources_) {
            const QJsonObject object = entry.toObject();
            if (object.value(QStringLiteral("listenurl")).toString().endsWith(mount)) {
                return object.value(QStringLiteral("listeners")).toInt();
            }
        }
        return -1;
    }

private:
    QJsonArray sources_;
};

}  // namespace lyrevane::testing
