#include "server/request_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QUrl>

#include "library/library_index.h"
#include "server/server_core.h"

namespace lyrvox {
namespace {

// The player's part of the snapshot is checked while a phone asked anything this
// recently (or a WebSocket listens), in milliseconds.
constexpr std::int64_t kActiveMs = 5000;

}  // namespace

// Shared by the two threads: the core is made, used and deleted on the server's
// thread only; the counts are atomic.
struct RequestServer::Shared {
    ServerCore* core = nullptr;
    ServerCore::Counts counts;
};

RequestServer::RequestServer(ServerLinks links, QObject* parent)
    : RequestServer(std::move(links), Options{}, parent) {}

RequestServer::RequestServer(ServerLinks links, Options options, QObject* parent)
    : QObject(parent),
      links_(std::move(links)),
      options_(std::move(options)),
      pin_(options_.pin.empty() ? randomPin() : options_.pin),
      shared_(std::make_shared<Shared>()) {
    thread_.setObjectName(QStringLiteral("lyrvox-server"));
    // Changes made in the player itself (a turn taken, a singer added) are found
    // by comparing, while anyone looks.
    liveCheck_.setInterval(options_.liveCheckMs);
    connect(&liveCheck_, &QTimer::timeout, this, [this] {
        const std::int64_t quiet = steadyMillisecondClock()() - shared_->counts.lastRequestMs;
        if (shared_->counts.liveClients > 0 || quiet <= kActiveMs) publish();
    });
}

RequestServer::~RequestServer() {
    liveCheck_.stop();
    if (!mailbox_) return;
    // The core goes on its own thread, its connections closed, then the thread
    // ends. Nothing there waits on a client: this waits for one event at most.
    QMetaObject::invokeMethod(mailbox_, [shared = shared_] {
        delete shared->core;
        shared->core = nullptr;
        QThread::currentThread()->quit();
    });
    thread_.wait();
}

quint16 RequestServer::start(const QHostAddress& address, quint16 port) {
    if (mailbox_) return port_;
    auto* tcp = new GuardedTcpServer({options_.maxRequestBytes, options_.maxConnections,
                                      options_.requestTimeoutMs, options_.idleTimeoutMs});
    if (!tcp->listen(address, port)) {
        error_ = tcp->errorString();
        delete tcp;
        return 0;
    }
    error_.clear();
    // Connections wait in the system's queue until the core takes them, on its thread.
    tcp->pauseAccepting();
    listening_ = tcp->serverAddress();
    port_ = tcp->serverPort();
    std::string path = links_.libraryPath;
    if (path.empty() && links_.index) {
        if (LibraryIndex* index = links_.index()) path = index->path();
    }
    tcp->moveToThread(&thread_);
    tcp_ = tcp;
    mailbox_ = new QObject;
    mailbox_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, mailbox_, &QObject::deleteLater);

    ServerCore::ToPlayer toPlayer;
    toPlayer.run = [this](std::uint64_t id, std::function<ApiReply()> job) {
        QMetaObject::invokeMethod(this, [this, id, job = std::move(job)] {
            const ApiReply reply = job();
            publish();  // before the answer: the next look shows what the job did
            post([id, reply](ServerCore& core) { core.finish(id, reply); });
        });
    };
    toPlayer.changed = [this](std::optional<SongRequest> asked) {
        QMetaObject::invokeMethod(this, [this, asked = std::move(asked)] {
            if (links_.changed) links_.changed();
            if (asked && links_.requested) links_.requested(*asked);
            publish();
        });
    };
    toPlayer.refresh = [this] { QMetaObject::invokeMethod(this, [this] { publish(); }); };
    thread_.start();
    QMetaObject::invokeMethod(mailbox_, [shared = shared_, links = &links_, options = options_,
                                         pin = pin_, path, tcp, toPlayer] {
        shared->core = new ServerCore(*links, options, pin, path, tcp, toPlayer, shared->counts);
    });
    publish();
    liveCheck_.start();
    return port_;
}

void RequestServer::post(std::function<void(ServerCore&)> work) {
    if (!mailbox_) return;
    QMetaObject::invokeMethod(mailbox_, [shared = shared_, work = std::move(work)] {
        if (shared->core) work(*shared->core);
    });
}

QString RequestServer::pageUrl() const {
    if (port_ == 0) return {};
    QHostAddress host = listening_;
    if (host == QHostAddress::Any || host == QHostAddress::AnyIPv4 ||
        host == QHostAddress::AnyIPv6) {
        host = QHostAddress(QHostAddress::LocalHost);
        // IPv4 first: what a phone on the same Wi-Fi most surely reaches.
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (!a.isLoopback() && !a.isLinkLocal() &&
                a.protocol() == QAbstractSocket::IPv4Protocol) {
                host = a;
                break;
            }
        }
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host.toString());
    url.setPort(port_);
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

int RequestServer::connections() const {
    return tcp_ ? tcp_->connections() : 0;
}

int RequestServer::liveClients() const {
    return shared_->counts.liveClients;
}

void RequestServer::publish() {
    const QJsonObject part = playerPart();
    const QByteArray bytes = QJsonDocument(part).toJson(QJsonDocument::Compact);
    std::optional<QJsonObject> changed;
    if (bytes != lastPart_) {
        lastPart_ = bytes;
        changed = part;
    }
    post([changed](ServerCore& core) { core.playerPart(changed); });
}

QJsonObject RequestServer::playerPart() const {
    QJsonObject out;
    const std::optional<RotationTurn> playing = links_.playing ? links_.playing() : std::nullopt;
    out.insert(QStringLiteral("playing"),
               playing ? QJsonValue(apiTurnJson(*playing)) : QJsonValue());
    QJsonArray singers;
    if (SingerRotation* r = links_.rotation ? links_.rotation() : nullptr) {
        for (const RotationSinger& s : r->singers()) {
            singers.append(
                QJsonObject{{QStringLiteral("name"), apiText(s.name)},
                            {QStringLiteral("id"), static_cast<double>(s.id)},
                            {QStringLiteral("away"), s.away},
                            {QStringLiteral("songs"), static_cast<int>(s.songs.size())}});
        }
    }
    out.insert(QStringLiteral("singers"), singers);
    QJsonArray coming;
    if (links_.coming) {
        for (const RotationTurn& turn : links_.coming(10)) coming.append(apiTurnJson(turn));
    }
    out.insert(QStringLiteral("coming"), coming);
    if (links_.keyAndTempo) {
        const auto [key, tempo] = links_.keyAndTempo();
        out.insert(QStringLiteral("key"), key);
        out.insert(QStringLiteral("tempo"), tempo);
    }
    return out;
}

}  // namespace lyrvox
