#pragma once
// One HTTP exchange with a server on 127.0.0.1, for the page tests: the answer's
// status, headers and body, read until the connection closes. A `body` goes out
// with its Content-Length (`headers` names its type).
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

namespace lyrvox::testing {

struct HttpAnswer {
    int status = 0;
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

inline HttpAnswer httpExchange(quint16 port, const QByteArray& method, const QByteArray& path,
                               const QByteArray& headers = {}, const QByteArray& body = {}) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                 "\r\nConnection: close\r\n" + headers +
                 (body.isEmpty() ? QByteArray()
                                 : "Content-Length: " + QByteArray::number(body.size()) + "\r\n") +
                 "\r\n" + body);
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000 && socket.state() != QAbstractSocket::UnconnectedState) {
        QTest::qWait(5);
        got += socket.readAll();
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end < 0) continue;
        HttpAnswer a;
        a.head = got.left(end);
        const qsizetype length = a.header("Content-Length").toLongLong();
        if (got.size() - end - 4 >= length) break;
    }
    got += socket.readAll();
    HttpAnswer answer;
    const qsizetype end = got.indexOf("\r\n\r\n");
    answer.head = got.left(end);
    answer.body = got.mid(end + 4);
    answer.status = answer.head.mid(9, 3).toInt();
    return answer;
}

}  // namespace lyrvox::testing
