#include "server/guarded_tcp_server.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

namespace lyrvox {
namespace {

// Bytes the connection sent since its last request was taken; past the limit, -1.
constexpr const char* kUnanswered = "lyrvoxUnanswered";
// The connection's one timer: idle between requests, then the request's own.
constexpr const char* kTimerName = "lyrvoxConnectionTimer";

QTimer* timerOf(QTcpSocket* socket) {
    return socket->findChild<QTimer*>(QLatin1String(kTimerName), Qt::FindDirectChildrenOnly);
}

}  // namespace

GuardedTcpServer::GuardedTcpServer(Limits limits, QObject* parent)
    : QTcpServer(parent), limits_(limits) {}

void GuardedTcpServer::taken(QTcpSocket* socket) {
    if (socket->property(kUnanswered).toLongLong() >= 0) socket->setProperty(kUnanswered, 0);
    if (QTimer* timer = timerOf(socket)) timer->start(limits_.idleTimeoutMs);
}

void GuardedTcpServer::handedOver(QTcpSocket* socket) {
    delete timerOf(socket);
    if (disconnect(socket, nullptr, this, nullptr)) --connections_;
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_ >= limits_.maxConnections) {
        socket->abort();
        delete socket;
        return;
    }
    ++connections_;
    connect(socket, &QObject::destroyed, this, [this] { --connections_; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A slow or silent client is let go: nothing waits on it, its place frees.
    auto* timer = new QTimer(socket);
    timer->setObjectName(QLatin1String(kTimerName));
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->disconnectFromHost(); });
    timer->start(limits_.idleTimeoutMs);
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
    if (sent >= 0 && sent + socket->bytesAvailable() <= limits_.maxRequestBytes) {
        // A request's first byte: its whole must follow within the time.
        if (sent == 0 && socket->bytesAvailable() > 0) {
            if (QTimer* timer = timerOf(socket)) timer->start(limits_.requestTimeoutMs);
        }
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
