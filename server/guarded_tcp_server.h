#pragma once
// The request server's listening socket, which counts what each connection sends
// before Qt's HTTP server reads it. Qt 6.4's HTTP server reads a request whole
// (however long its body) before a handler sees it; this cuts a connection off,
// with a 413 answer, as soon as it has sent more than `maxRequestBytes` since its
// last request was answered, so that no request larger than that is ever held
// in memory. The request handler calls answered() for each request it answers.
#include <QTcpServer>

class QTcpSocket;

namespace lyrvox {

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
  public:
    GuardedTcpServer(qint64 maxRequestBytes, QObject* parent = nullptr);

    // The connection's request was answered: its count starts again.
    static void answered(QTcpSocket* socket);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    void guard(QTcpSocket* socket);

    qint64 maxRequestBytes_;
};

}  // namespace lyrvox
