#include "server/guarded_tcp_server.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace lyrvox {
namespace {

// Bytes the connection sent since its last answer; past the limit, -1.
constexpr const char* kUnanswered = "lyrvoxUnanswered";

}  // namespace

GuardedTcpServer::GuardedTcpServer(qint64 maxRequestBytes, int maxConnections, QObject* parent)
    : QTcpServer(parent), maxRequestBytes_(maxRequestBytes), maxConnections_(maxConnections) {}

void GuardedTcpServer::answered(QTcpSocket* socket) {
    if (socket->property(kUnanswered).toLongLong() >= 0) socket->setProperty(kUnanswered, 0);
}

void GuardedTcpServer::handedOver(QTcpSocket* socket) {
    if (disconnect(socket, nullptr, this, nullptr)) --connections_;
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_ >= maxConnections_) {
        socket->abort();
        delete socket;
        return;
    }
    ++connections_;
    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // The socket's own buffer stays unbounded: Qt 6.4's HTTP server stops reading
    // a connection whose buffer is capped once it is full. What one arrival holds
    // is dropped below when it is too much.
    // Connected before the HTTP server's own reader (it connects when it takes the
    // connection), so that this runs first on every arrival.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { guard(socket); });
    addPendingConnection(socket);
}

void GuardedTcpServer::guard(QTcpSocket* socket) {
    const qint64 sent = socket->property(kUnanswered).toLongLong();
    if (sent >= 0 && sent + socket->bytesAvailable() <= maxRequestBytes_) {
        socket->setProperty(kUnanswered, sent + socket->bytesAvailable());
        return;
    }
    // Too much: whatever arrives is dropped unread, the client told once, and
    // the connection closed.
    socket->readAll();
    if (sent < 0) return;
    socket->setProperty(kUnanswered, -1);
    const QByteArray body =
        QJsonDocument(
            QJsonObject{{QStringLiteral("error"), QStringLiteral("The request is too large.")}})
            .toJson(QJsonDocument::Compact);
    socket->write(
        "HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json\r\n"
        "Connection: close\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}

}  // namespace lyrvox
