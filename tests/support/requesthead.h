#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTcpSocket>

#include <optional>

namespace lyrevane::testing {

struct RequestHead {
    QByteArray text;  // up to the blank line
    QString path;     // what the request line asks for
};

// Adds what `socket` has sent to its text in `buffers`. Once the request's head is all
// there, takes the socket's text out and returns the head.
inline std::optional<RequestHead> takeRequestHead(QHash<QTcpSocket*, QByteArray>& buffers,
                                                  QTcpSocket* socket) {
    QByteArray& request = buffers[socket];
    request += socket->readAll();
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0) {
        return std::nullopt;
    }
    RequestHead head{request.left(end), {}};
    head.path = QString::fromLatin1(head.text.split(' ').value(1));
    buffers.remove(socket);
    return head;
}

}  // namespace lyrevane::testing
