#pragma once
// The request server's listening socket, which counts what each connection sends
// before Qt's HTTP server reads it, and times each connection. Qt 6.4's HTTP
// server reads a request whole (however long its body) before a handler sees it;
// this cuts a connection off, with a 413 answer, as soon as it has sent more
// than `maxRequestBytes` since its last request was taken, so that no request
// larger than that is ever held in memory. A connection that takes longer than
// `requestTimeoutMs` from a request's first byte to its end (a slow client
// holding its place), or sends nothing for `idleTimeoutMs` (a fresh one, or a
// kept-alive one between requests), is closed. The request handler calls
// taken() for each request it takes. At most `maxConnections` are open at once;
// one more is closed as it comes.
//
// It lives on the server's thread; connections() may be read from any thread.
#include <QTcpServer>
#include <atomic>

class QTcpSocket;

namespace lyrvox {

class GuardedTcpServer : public QTcpServer {
    Q_OBJECT
  public:
    // A whole request within this of its first byte, in milliseconds.
    static constexpr int kRequestTimeoutMs = 10'000;
    // At most this long without a request on an open connection, in milliseconds.
    static constexpr int kIdleTimeoutMs = 30'000;

    struct Limits {
        qint64 maxRequestBytes = 16 * 1024;  // head and body together
        int maxConnections = 512;            // open at once
        int requestTimeoutMs = kRequestTimeoutMs;
        int idleTimeoutMs = kIdleTimeoutMs;
    };

    explicit GuardedTcpServer(Limits limits, QObject* parent = nullptr);

    // The connections open now (any thread).
    int connections() const { return connections_.load(std::memory_order_relaxed); }

    // The connection's request was taken whole: its count starts again, and it
    // may stay idle until its next request.
    void taken(QTcpSocket* socket);
    // The connection became a WebSocket: no longer counted, timed or guarded here.
    void handedOver(QTcpSocket* socket);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    void guard(QTcpSocket* socket);

    Limits limits_;
    std::atomic<int> connections_{0};
};

}  // namespace lyrvox
