// The request server over 127.0.0.1: every refusal, a request from a phone to the
// rotation through the host's approval, search results as JSON whatever the song
// names hold, slow clients cut off, and the work off the player's thread.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <mutex>
#include <set>

#include "library/singer_rotation.h"
#include "server/request_server.h"
#include "server/server_core.h"
#include "song_library.h"

namespace lyrvox {
namespace {

using testing::SongLibrary;

struct Answer {
    int status = 0;
    QByteArray head;  // the status line and headers
    QByteArray body;
    bool closed = false;  // the server closed the connection
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

// Sends `pieces` of one request (a moment apart) and reads the answer (head, and
// the body its Content-Length gives), or until the server closes the connection.
Answer exchange(quint16 port, const QByteArrayList& pieces) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    for (const QByteArray& piece : pieces) {
        socket.write(piece);
        QTest::qWait(20);
    }
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    Answer answer;
    while (clock.elapsed() < 5000) {
        QTest::qWait(5);
        got += socket.readAll();
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end >= 0) {
            answer.head = got.left(end);
            answer.body = got.mid(end + 4);
            const qsizetype length = answer.header("Content-Length").toLongLong();
            if (answer.body.size() >= length) break;
        }
        if (socket.state() == QAbstractSocket::UnconnectedState) {
            answer.closed = true;
            break;
        }
    }
    answer.status = answer.head.mid(9, 3).toInt();
    return answer;
}

QByteArray request(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                   const QByteArray& headers = {}) {
    QByteArray raw = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (!body.isNull()) {
        raw +=
            "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n";
    }
    return raw + "\r\n" + body;
}

// A phone's request of a song for a singer.
QByteArray asking(const QString& singer, double song, const QByteArray& headers = {}) {
    const QJsonObject body{{"singer", singer}, {"song", song}};
    return request("POST", "/api/requests", QJsonDocument(body).toJson(QJsonDocument::Compact),
                   headers);
}

class RequestServerTest : public ::testing::Test {
  protected:
    SongLibrary lib;
    SingerRotation rotation{*lib.index};
    int commands = 0;
    int changes = 0;
    std::vector<int> keys;             // the keys the host set
    std::vector<std::string> notices;  // the singers whose requests the host was told of
    std::unique_ptr<RequestServer> server;
    quint16 port = 0;

    void start(RequestServer::Options options = {}) {
        options.pin = "424242";
        ServerLinks links;
        links.index = [this] { return lib.index.get(); };
        links.rotation = [this] { return &rotation; };
        links.coming = [this](int n) { return rotation.upcoming(n); };
        links.playPause = [this] { ++commands; };
        links.setKey = [this](int semitones) { keys.push_back(semitones); };
        links.changed = [this] { ++changes; };
        links.requested = [this](const SongRequest& r) { notices.push_back(r.singer); };
        server = std::make_unique<RequestServer>(links, options);
        port = server->start(QHostAddress::LocalHost, 0);
        ASSERT_NE(port, 0) << server->errorString().toStdString();
    }
    Answer send(const QByteArray& raw) { return exchange(port, {raw}); }
};

TEST_F(RequestServerTest, Refusals) {
    start();
    const QByteArray pin = "Authorization: Bearer 424242\r\n";
    struct Case {
        const char* what;
        QByteArray raw;
        int status;
    };
    const std::vector<Case> cases = {
        {"unknown path", request("GET", "/etc/passwd"), 404},
        {"a page by its file name", request("GET", "/index.html"), 404},
        {"an asset by its resource name", request("GET", "/assets/index.html"), 404},
        {"an unknown asset", request("GET", "/assets/missing.js"), 404},
        {"dot segments to an asset", request("GET", "/assets/../assets/style.css"), 404},
        {"escaped dot segments to a page", request("GET", "/assets/%2e%2e/host"), 404},
        {"a page with a trailing slash", request("GET", "/host/"), 404},
        {"a page in capitals", request("GET", "/HOST"), 404},
        {"a page posted", request("POST", "/", "{}"), 405},
        {"an asset deleted", request("DELETE", "/assets/style.css"), 405},
        {"dot segments", request("GET", "/api/../api/search?q=a"), 404},
        {"escaped dot segments", request("GET", "/api/%2e%2e/search?q=a"), 404},
        {"a trailing slash", request("GET", "/api/search/?q=a"), 404},
        {"a path for an id", request("DELETE", "/api/requests/..%2F..%2Fetc"), 404},
        {"a negative id", request("DELETE", "/api/requests/-1"), 404},
        {"an unknown host action", request("POST", "/api/host/format-disk", "", pin), 404},
        {"search posted", request("POST", "/api/search", "{}"), 405},
        {"requests listed", request("GET", "/api/requests"), 405},
        {"rotation deleted", request("DELETE", "/api/rotation"), 405},
        {"host command by GET", request("GET", "/api/host/stop", {}, pin), 405},
        {"no search words", request("GET", "/api/search"), 400},
        {"a search too long", request("GET", "/api/search?q=" + QByteArray(101, 'a')), 400},
        {"bad JSON", request("POST", "/api/requests", "{\"singer\": \"Ann\","), 400},
        {"JSON not an object", request("POST", "/api/requests", "[1,2]"), 400},
        {"not JSON at all", request("POST", "/api/requests", {}, "Content-Length: 3\r\n\r\nabc"),
         400},
        {"no singer", request("POST", "/api/requests", "{\"song\": 1}"), 400},
        {"a song as text", request("POST", "/api/requests", "{\"singer\":\"Ann\",\"song\":\"1\"}"),
         400},
        {"an empty name", asking("  ", double(lib.ids[0])), 400},
        {"a control character", asking(QStringLiteral("Ann\u0007"), double(lib.ids[0])), 400},
        {"markup for a name", asking("<script>alert(1)</script>", double(lib.ids[0])), 400},
        {"a name too long", asking(QString(41, QChar('a')), double(lib.ids[0])), 400},
        {"an unknown song", asking("Ann", 999999), 400},
        {"a fractional song", asking("Ann", 1.5), 400},
        {"a body over 4 KiB",
         request("POST", "/api/requests", "{\"singer\":\"" + QByteArray(5000, 'a') + "\"}"), 413},
        {"no PIN", request("POST", "/api/host/stop", ""), 401},
        {"a PIN not as Bearer", request("POST", "/api/host/stop", "", "Authorization: 424242\r\n"),
         401},
        {"a wrong PIN", request("POST", "/api/host/stop", "", "Authorization: Bearer 424243\r\n"),
         401},
        {"a singer moved without a PIN", request("POST", "/api/host/singers/1/up", ""), 401},
        {"a key without a PIN", request("POST", "/api/host/key", "{\"semitones\":1}"), 401},
        {"a singer's id as text", request("POST", "/api/host/singers/ann/next", "", pin), 404},
        {"a negative singer id", request("POST", "/api/host/singers/-1/away", "", pin), 404},
        {"an unknown singer", request("POST", "/api/host/singers/999999/down", "", pin), 404},
        {"an unknown singer action", request("POST", "/api/host/singers/1/remove", "", pin), 404},
        {"a singer moved by GET", request("GET", "/api/host/singers/1/up", {}, pin), 405},
        {"a key over +6", request("POST", "/api/host/key", "{\"semitones\":7}", pin), 400},
        {"a key under -6", request("POST", "/api/host/key", "{\"semitones\":-7}", pin), 400},
        {"a fractional key", request("POST", "/api/host/key", "{\"semitones\":1.5}", pin), 400},
        {"a key as text", request("POST", "/api/host/key", "{\"semitones\":\"1\"}", pin), 400},
        {"a key not JSON", request("POST", "/api/host/key", {}, pin + "Content-Length: 1\r\n\r\n1"),
         400},
        {"a tempo too fast", request("POST", "/api/host/tempo", "{\"percent\":151}", pin), 400},
        {"a tempo too slow", request("POST", "/api/host/tempo", "{\"percent\":49}", pin), 400},
    };
    for (const Case& c : cases) {
        const Answer answer = send(c.raw);
        EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.body.toStdString();
        EXPECT_TRUE(answer.json().isObject()) << c.what << ": " << answer.body.toStdString();
        EXPECT_EQ(answer.header("Content-Type"), "application/json") << c.what;
    }
    EXPECT_EQ(commands, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(keys.empty());
}

// A body far over the limit is cut off as it arrives, not read whole.
TEST_F(RequestServerTest, HugeBodyCutOffEarly) {
    start();
    const QByteArray head =
        "POST /api/requests HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: application/json\r\nContent-Length: 100000000\r\n\r\n";
    // All at once, and in pieces of 6 KiB that each stay under the limit.
    for (const QByteArrayList& pieces :
         {QByteArrayList{head + QByteArray(256 * 1024, 'x')},
          QByteArrayList{head, QByteArray(6144, 'x'), QByteArray(6144, 'x'), QByteArray(6144, 'x'),
                         QByteArray(6144, 'x')}}) {
        const Answer answer = exchange(port, pieces);
        EXPECT_EQ(answer.status, 413);
        EXPECT_TRUE(answer.json().isObject());
        EXPECT_EQ(answer.header("Connection"), "close");
    }
}

TEST_F(RequestServerTest, RateLimitedPerAddress) {
    RequestServer::Options options;
    options.everyRequest = {5, 0.001};
    start(options);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(send(request("GET", "/api/rotation")).status, 200);
    const Answer limited = send(request("GET", "/api/rotation"));
    EXPECT_EQ(limited.status, 429);
    EXPECT_FALSE(limited.header("Retry-After").isEmpty());
}

// Connections beyond the limit are closed as they come; closed ones free their
// place (and their memory).
TEST_F(RequestServerTest, ConnectionsLimitedAndReleased) {
    RequestServer::Options options;
    options.maxConnections = 2;
    start(options);
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
        QTest::qWait(50);
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return idle[2]->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(server->connections(), 2);
    EXPECT_EQ(idle[0]->state(), QAbstractSocket::ConnectedState);
    idle.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connections() == 0; }));
    EXPECT_EQ(send(request("GET", "/api/rotation")).status, 200);
}

// The rotation goes out at once to a WebSocket on /ws, and again when it
// changes, whether through the API or in the player itself.
TEST_F(RequestServerTest, LiveRotationOverWebSocket) {
    RequestServer::Options options;
    options.liveCheckMs = 50;
    start(options);
    QWebSocket live;
    QStringList got;
    QObject::connect(&live, &QWebSocket::textMessageReceived,
                     [&got](const QString& text) { got.append(text); });
    live.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == 1; }));
    const auto last = [&got] { return QJsonDocument::fromJson(got.last().toUtf8()).object(); };
    EXPECT_TRUE(last().value("requests").toArray().isEmpty());
    EXPECT_EQ(server->liveClients(), 1);

    ASSERT_EQ(send(asking("Ann", double(lib.ids[1]))).status, 201);
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(last().value("requests").toArray().size(), 1);
    ASSERT_TRUE(rotation.addSinger("Bob"));  // the host, in the player
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(last().value("singers").toArray().size(), 1);
    QTest::qWait(200);
    EXPECT_EQ(got.size(), 3);  // nothing new, nothing sent

    // Any other path refuses the upgrade.
    QWebSocket elsewhere;
    QSignalSpy refused(&elsewhere, &QWebSocket::disconnected);
    elsewhere.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/rotation").arg(port)));
    ASSERT_TRUE(refused.wait(5000));
    EXPECT_EQ(server->liveClients(), 1);
    live.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->liveClients() == 0; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connections() == 0; }));
}

TEST_F(RequestServerTest, WrongPinsLockTheHostOut) {
    RequestServer::Options options;
    options.pinRule = {1, 60000, 3, 600000, 5};
    start(options);
    const auto stop = [this](const QByteArray& pin) {
        return send(request("POST", "/api/host/stop", "", "Authorization: Bearer " + pin + "\r\n"));
    };
    EXPECT_EQ(stop("1").status, 401);
    EXPECT_EQ(stop("2").status, 401);       // now a minute's wait
    const Answer waiting = stop("424242");  // even the right PIN waits
    EXPECT_EQ(waiting.status, 429);
    EXPECT_EQ(waiting.header("Retry-After").toInt(), 60);
}

TEST_F(RequestServerTest, RequestApprovedIntoTheRotation) {
    start();
    const Answer made = send(asking("  Zoë  ", double(lib.ids[0])));
    ASSERT_EQ(made.status, 201) << made.body.toStdString();
    const QJsonObject asked = made.json().object();
    EXPECT_EQ(asked.value("singer").toString(), QStringLiteral("Zoë"));
    EXPECT_EQ(asked.value("song").toObject().value("title").toString(), QStringLiteral("Waterloo"));
    const QByteArray token = made.header("X-Lyrvox-Client");
    EXPECT_EQ(token.size(), 32);
    EXPECT_TRUE(made.header("Set-Cookie").startsWith("lyrvox_client=" + token + ";"));
    const QByteArray id = QByteArray::number(asked.value("id").toInteger());

    // Another phone may not withdraw it; the rotation lists it, waiting.
    EXPECT_EQ(send(request("DELETE", "/api/requests/" + id, {},
                           "X-Lyrvox-Client: " + QByteArray(32, 'a') + "\r\n"))
                  .status,
              403);
    EXPECT_EQ(send(request("DELETE", "/api/requests/" + id)).status, 403);  // no token at all
    const QJsonObject before = send(request("GET", "/api/rotation")).json().object();
    ASSERT_EQ(before.value("requests").toArray().size(), 1);
    EXPECT_FALSE(before.value("requests").toArray()[0].toObject().contains("client"));

    const QByteArray pin = "Authorization: Bearer 424242\r\n";
    EXPECT_EQ(send(request("GET", "/api/host/requests", {}, pin)).json().array().size(), 1);
    EXPECT_EQ(send(request("POST", "/api/host/requests/" + id + "/approve", "", pin)).status, 200);
    EXPECT_EQ(send(request("POST", "/api/host/requests/" + id + "/approve", "", pin)).status, 404);
    EXPECT_EQ(send(request("POST", "/api/host/play-pause", "", pin)).status, 200);
    EXPECT_EQ(commands, 1);

    const QJsonObject after = send(request("GET", "/api/rotation")).json().object();
    EXPECT_TRUE(after.value("requests").toArray().isEmpty());
    ASSERT_EQ(after.value("singers").toArray().size(), 1);
    EXPECT_EQ(after.value("singers").toArray()[0].toObject().value("name").toString(),
              QStringLiteral("Zoë"));
    ASSERT_EQ(after.value("coming").toArray().size(), 1);
    EXPECT_EQ(after.value("coming").toArray()[0].toObject().value("title").toString(),
              QStringLiteral("Waterloo"));
    ASSERT_EQ(rotation.singers().size(), 1u);
    EXPECT_EQ(rotation.singers()[0].songs.size(), 1u);

    // A second request by the same phone, withdrawn by it through its cookie.
    const Answer second = send(
        asking("Zoë", double(lib.ids[1]), "Cookie: theme=dark; lyrvox_client=" + token + "\r\n"));
    ASSERT_EQ(second.status, 201);
    EXPECT_TRUE(second.header("Set-Cookie").isEmpty());  // it kept its token
    const QByteArray secondId = QByteArray::number(second.json().object().value("id").toInteger());
    EXPECT_EQ(send(request("DELETE", "/api/requests/" + secondId, {},
                           "Cookie: lyrvox_client=" + token + "\r\n"))
                  .status,
              200);
    // The player hears of them on its own thread, as they come.
    EXPECT_TRUE(QTest::qWaitFor([this] { return changes == 4; }))
        << changes;  // asked, approved, asked, withdrawn
    EXPECT_EQ(notices, (std::vector<std::string>{"Zoë", "Zoë"}));
}

// The host reorders the rotation, makes a singer next and sets the key from the remote.
TEST_F(RequestServerTest, HostRearrangesTheRotation) {
    start();
    for (const char* name : {"Ann", "Bob", "Cy"}) {
        ASSERT_TRUE(rotation.addSinger(name));
        ASSERT_TRUE(
            rotation.addSong(name, {0, lib.temp.path("ABBA - 0.cdg"), "ABBA", "Waterloo", {}, {}}));
    }
    server->rotationChanged();  // as the player does when its host changes the rotation
    const auto order = [this] {
        std::vector<std::string> names;
        for (const RotationSinger& s : rotation.singers()) names.push_back(s.name);
        return names;
    };
    const QJsonArray singers = send(request("GET", "/api/rotation")).json()["singers"].toArray();
    ASSERT_EQ(singers.size(), 3);
    const auto idOf = [&singers](int i) {
        return QByteArray::number(singers[i].toObject().value("id").toInteger());
    };
    const QByteArray pin = "Authorization: Bearer 424242\r\n";
    const auto post = [&](const QByteArray& path, const QByteArray& body = "") {
        return send(request("POST", "/api/host/" + path, body, pin)).status;
    };
    EXPECT_EQ(post("singers/" + idOf(2) + "/up"), 200);
    EXPECT_EQ(order(), (std::vector<std::string>{"Ann", "Cy", "Bob"}));
    EXPECT_EQ(post("singers/" + idOf(1) + "/down"), 409);  // Bob is last now
    EXPECT_EQ(post("singers/" + idOf(1) + "/next"), 200);
    ASSERT_FALSE(rotation.upcoming(1).empty());
    EXPECT_EQ(rotation.upcoming(1)[0].singer, "Bob");
    EXPECT_EQ(post("singers/" + idOf(0) + "/away"), 200);
    EXPECT_TRUE(rotation.singers()[0].away);
    EXPECT_EQ(post("singers/" + idOf(0) + "/away"), 200);  // and back
    EXPECT_FALSE(rotation.singers()[0].away);
    EXPECT_EQ(post("key", "{\"semitones\":-6}"), 200);
    EXPECT_EQ(keys, std::vector<int>{-6});
    EXPECT_EQ(changes, 5);
}

TEST_F(RequestServerTest, SearchResultsAreJsonWhateverTheNames) {
    start();
    const Answer found = send(request("GET", "/api/search?q=alert"));
    ASSERT_EQ(found.status, 200);
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(found.body, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << found.body.toStdString();
    ASSERT_EQ(json.array().size(), 1);
    const QJsonObject song{{"artist", "Evil"},
                           {"duration", 180},
                           {"id", qint64{lib.ids[2]}},
                           {"title", "<script>alert(1)</script>"}};
    EXPECT_EQ(json.array()[0].toObject(), song) << found.body.toStdString();  // nothing more
    // The JSON writer escapes nothing HTML needs; the pages escape as they show.
    EXPECT_TRUE(found.body.contains("<script>alert(1)<\\/script>") ||
                found.body.contains("<script>alert(1)</script>"));
    EXPECT_EQ(found.header("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(send(request("GET", "/api/search?q=%20%20")).json().array().size(), 0);
    EXPECT_EQ(send(request("GET", "/api/search?q=wat")).json().array().size(), 1);
}

// One kept-alive connection asking one request after another.
struct KeptAlive {
    QTcpSocket socket;
    explicit KeptAlive(quint16 port) {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        EXPECT_TRUE(socket.waitForConnected(5000));
    }
    Answer ask(const QByteArray& raw) {
        socket.write(raw);
        QByteArray got;
        Answer answer;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && socket.state() == QAbstractSocket::ConnectedState) {
            QTest::qWait(5);
            got += socket.readAll();
            const qsizetype end = got.indexOf("\r\n\r\n");
            if (end < 0) continue;
            answer.head = got.left(end);
            answer.body = got.mid(end + 4);
            if (answer.body.size() >= answer.header("Content-Length").toLongLong()) break;
        }
        answer.status = answer.head.mid(9, 3).toInt();
        return answer;
    }
};

// What the player's thread answers (the host's commands) is written after Qt's
// handler returned; the kept-alive connection goes on with its next request, and
// one closed before its answer came leaves the server as it was.
TEST_F(RequestServerTest, AnswersFromThePlayersThreadOnAKeptAliveConnection) {
    start();
    const QByteArray pin = "Authorization: Bearer 424242\r\n";
    KeptAlive phone(port);
    for (int round = 1; round <= 3; ++round) {
        EXPECT_EQ(phone.ask(request("POST", "/api/host/play-pause", "", pin)).status, 200);
        EXPECT_EQ(commands, round);
        EXPECT_EQ(phone.ask(request("GET", "/api/rotation")).status, 200);
        EXPECT_EQ(phone.ask(request("GET", "/api/search?q=wat")).json().array().size(), 1);
    }
    {
        QTcpSocket gone;
        gone.connectToHost(QStringLiteral("127.0.0.1"), port);
        ASSERT_TRUE(gone.waitForConnected(5000));
        gone.write(request("POST", "/api/host/play-pause", "", pin));
        ASSERT_TRUE(gone.waitForBytesWritten(5000));
        gone.abort();
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return commands == 4; }));
    EXPECT_EQ(phone.ask(request("POST", "/api/host/play-pause", "", pin)).status, 200);
    EXPECT_EQ(commands, 5);

    // Requests sent at once are answered in their order, the player's first.
    phone.socket.write(request("POST", "/api/host/play-pause", "", pin) +
                       request("GET", "/api/search?q=wat") + request("GET", "/api/rotation"));
    QByteArray got;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        got += phone.socket.readAll();
        return got.count("HTTP/1.1 200") == 3 && got.endsWith("}");
    }));
    EXPECT_LT(got.indexOf("\"done\""), got.indexOf("Waterloo")) << got.toStdString();
    EXPECT_LT(got.indexOf("Waterloo"), got.indexOf("\"singers\"")) << got.toStdString();
}

// A client that holds its connection without finishing a request, or without
// asking anything, is cut off; a slow one that finishes in time is answered.
TEST_F(RequestServerTest, SlowClientsAreCutOff) {
    RequestServer::Options options;
    options.requestTimeoutMs = 1500;
    options.idleTimeoutMs = 2000;
    start(options);
    const QByteArray whole = request("GET", "/api/rotation");
    struct Case {
        const char* what;
        QByteArrayList pieces;  // sent 100 ms apart
        int status;             // the answer's, 0 for none
        bool cutOff;
    };
    const Case cases[] = {
        {"silent from the start", {}, 0, true},
        {"a head never finished", {"GET /api/rotation HTTP/1.1\r\n", "Host: 127"}, 0, true},
        {"a body never finished",
         {"POST /api/requests HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 50\r\n\r\n{"},
         0,
         true},
        {"idle after its answer", {whole}, 200, true},
        {"slow but in time", {whole.left(10), whole.mid(10, 20), whole.mid(30)}, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTcpSocket client;
        client.connectToHost(QStringLiteral("127.0.0.1"), port);
        ASSERT_TRUE(client.waitForConnected(5000));
        for (const QByteArray& piece : c.pieces) {
            client.write(piece);
            QTest::qWait(100);
        }
        QByteArray got;
        const auto closed = [&] {
            got += client.readAll();
            return client.state() == QAbstractSocket::UnconnectedState;
        };
        if (c.cutOff) {
            EXPECT_TRUE(QTest::qWaitFor(closed, 10000)) << "still open";
        } else {
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return closed() || got.contains("\"requests\""); }, 5000));
            EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState);
        }
        EXPECT_EQ(got.mid(9, 3).toInt(), c.status) << got.toStdString();
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return server->connections() == 0; }, 10000));
}

// A burst of phones searching: every search runs on the server's thread, on its
// own library connection; the player's thread and its connection do none of it.
TEST_F(RequestServerTest, SearchesRunOffThePlayersThread) {
    std::mutex lock;
    std::multiset<QThread*> threads;
    RequestServer::Options options;
    options.everyRequest = {1000, 1000};
    options.searched = [&] {
        const std::lock_guard<std::mutex> held(lock);
        threads.insert(QThread::currentThread());
    };
    start(options);
    constexpr int kPhones = 50;
    std::vector<std::unique_ptr<QTcpSocket>> phones;
    for (int i = 0; i < kPhones; ++i) {
        phones.push_back(std::make_unique<QTcpSocket>());
        phones.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    for (int i = 0; i < kPhones; ++i) {
        ASSERT_TRUE(phones[i]->waitForConnected(5000));
        phones[i]->write(request("GET", "/api/search?q=" + QByteArray(i % 2 ? "wat" : "que")));
    }
    std::vector<QByteArray> got(kPhones);
    const auto answered = [&] {
        int done = 0;
        for (int i = 0; i < kPhones; ++i) {
            got[i] += phones[i]->readAll();
            done += got[i].endsWith("]") ? 1 : 0;
        }
        return done == kPhones;
    };
    ASSERT_TRUE(QTest::qWaitFor(answered, 20000));
    for (const QByteArray& answer : got) EXPECT_TRUE(answer.startsWith("HTTP/1.1 200"));
    const std::lock_guard<std::mutex> held(lock);
    EXPECT_EQ(threads.size(), std::size_t{kPhones});
    EXPECT_EQ(threads.count(QThread::currentThread()), 0u) << "a search on the player's thread";
}

// The player's part of the rotation is made only while phones look; the first
// look after a quiet spell waits for a current one instead of an old one.
TEST_F(RequestServerTest, TheFirstLookAfterAQuietSpellIsCurrent) {
    start();
    ASSERT_TRUE(rotation.addSinger("Ann"));  // in the player, with no phone looking
    QTest::qWait(int(ServerCore::kFreshMs) + 500);
    const QJsonArray singers =
        send(request("GET", "/api/rotation")).json().object().value("singers").toArray();
    ASSERT_EQ(singers.size(), 1);
    EXPECT_EQ(singers[0].toObject().value("name").toString(), QStringLiteral("Ann"));
}

// Stopping the server neither waits on its clients nor leaves anything behind: a
// client stuck in a request, a WebSocket and a job the player has not run yet.
TEST_F(RequestServerTest, StopsWhateverItsClientsHold) {
    start();
    QTcpSocket stuck;
    stuck.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(stuck.waitForConnected(5000));
    stuck.write("GET /api/rotation HTTP/1.1\r\nHo");
    QWebSocket live;
    live.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server->liveClients() == 1; }));
    QTcpSocket asking;
    asking.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(asking.waitForConnected(5000));
    asking.write(request("POST", "/api/host/play-pause", "", "Authorization: Bearer 424242\r\n"));
    ASSERT_TRUE(asking.waitForBytesWritten(5000));
    QThread::msleep(300);  // the job reaches this thread's queue, where it stays
    server.reset();
    EXPECT_EQ(commands, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return stuck.state() == QAbstractSocket::UnconnectedState &&
               asking.state() == QAbstractSocket::UnconnectedState &&
               live.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(commands, 0) << "a job ran after the server stopped";
}

// When the server's thread cannot open the library, searches find nothing and
// requests are refused for now, as before the library is there.
TEST_F(RequestServerTest, NoLibraryOnTheServersThread) {
    ServerLinks links;
    links.libraryPath = lib.temp.path();  // a folder, not a library file
    server = std::make_unique<RequestServer>(links);
    port = server->start(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    const Answer found = send(request("GET", "/api/search?q=wat"));
    EXPECT_EQ(found.status, 200);
    EXPECT_EQ(found.json().array().size(), 0);
    EXPECT_EQ(send(asking("Ann", double(lib.ids[0]))).status, 503);
    EXPECT_EQ(
        send(request("GET", "/api/rotation")).json().object().value("requests").toArray().size(),
        0);
}

}  // namespace
}  // namespace lyrvox
