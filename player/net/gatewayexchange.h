#pragma once

#include "net/curltransfer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QTcpSocket;

namespace lyrevane {

class MediaGateway;

// One request the media library made of the gateway, on one connection: read (its head
// capped in size and time), asked upstream (redirects followed and checked here), and
// answered with a head of our own making; the body follows as the media library reads it.
// An HLS index is read whole and rewritten before it is answered. The connection closes
// after the answer.
class GatewayExchange final : public QObject {
    Q_OBJECT

public:
    // Takes `socket` over.
    GatewayExchange(MediaGateway& gateway, QTcpSocket* socket);
    ~GatewayExchange() override;
    GatewayExchange(const GatewayExchange&) = delete;
    GatewayExchange& operator=(const GatewayExchange&) = delete;

    // The gateway's session of the address asked for; 0 while the request is being read.
    quint64 session() const { return session_; }
    // Closes the connection and ends the request now.
    void end();
    // Still to ask for a live address; asked for one and let in.
    bool waiting() const { return stage_ == Stage::Request; }
    bool admitted() const { return admitted_; }

private:
    enum class Stage { Request, Asking, Sniffing, Index, Piping, Closing };

    void readRequest();
    void ask(const QString& url);
    void onHead();
    void onUpstream();
    void sniff();
    void readIndex();
    void serveIndex();
    void pump();
    void refuse(const QString& target);
    void fail(const QString& line);
    void answer(int status, const QByteArray& headers = {}, const QByteArray& body = {});
    void writeHead(int status, const QByteArray& headers);
    void close();

    MediaGateway& gateway_;
    QPointer<QTcpSocket> socket_;
    CurlTransfer transfer_;
    QTimer deadline_;
    Stage stage_ = Stage::Request;
    quint64 session_ = 0;
    QByteArray token_;
    bool listed_ = false;  // asked for by way of an index
    bool admitted_ = false;
    QByteArray request_;
    bool headOnly_ = false;
    bool typedIndex_ = false;  // upstream called its answer an HLS index
    QByteArray range_;
    QByteArray userAgent_;
    QString current_;  // the upstream URL being asked
    int redirects_ = 0;
    QByteArray pending_;  // upstream bytes read ahead of the answer's head
};

}  // namespace lyrevane
