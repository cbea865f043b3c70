#pragma once
// The request server's listening socket, which counts what each connection sends
// before Qt's HTTP server reads it. Qt 6.4's HTTP server reads a request whole
// (however long its body) before a handler sees it; this cuts a connection off,
// with a 413 answer, as soon as it has sent more than `maxRequestBytes` since its
// last request was answered, so that no request larger than that is ever held
// in memory. The request handler calls answered() for each request it answers.
// At most `maxConnections` are open at once; one more is closed as it comes.
#include <QTcpServer>

class QTcpSocket;

namespace lyrvox {

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
  public:
    GuardedTcpServer(qint64 maxRequestBytes, int maxConnections, QObject* parent = nullptr);

    // The connections open now.
    int connections() const { return connections_; }

    // The connection's request was answered: its count starts again.
    static void answered(QTcpSocket* socket);
    // The connection became a WebSocket: no longer counted or guarded here.
    void handedOver(QTcpSocket* socket);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    void guard(QTcpSocket* socket);

    qint64 maxRequestBytes_;
    int maxConnections_;
    int connections_ = 0;
};

}  // namespace lyrvox
