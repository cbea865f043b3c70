// One player per user: songs handed from a second start to the running player,
// in one process (each side on a thread of its own) and with the real program
// started twice; what the receiving side refuses; the command line.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>
#include <chrono>
#include <future>

#include "app/single_instance.h"
#include "library/library_index.h"
#include "library/play_queue.h"
#include "playback/cdg/packet_encoder.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

using namespace std::chrono_literals;
using Request = SingleInstance::Request;
using Role = SingleInstance::Role;

QString qpath(const std::string& path) {
    return QString::fromStdString(path);
}

// `work` on a thread of its own while this thread's events run (the player's side).
template <typename Work>
auto meanwhile(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return result.wait_for(0s) == std::future_status::ready; }, 20000));
    QTest::qWait(20);  // the player takes the songs once it has answered
    return result.get();
}

// A second start in `folder`, on its own thread.
SingleInstance::Outcome startBeside(const std::string& folder, Request request,
                                    const std::vector<std::string>& songs,
                                    int answerMs = SingleInstance::kAnswerMs) {
    return meanwhile([=] { return SingleInstance(qpath(folder)).start(request, songs, answerMs); });
}

// The songs the player was handed, in order.
struct Player {
    SingleInstance instance;
    std::vector<std::pair<Request, std::vector<std::string>>> received;
    explicit Player(const std::string& folder) : instance(qpath(folder)) {
        instance.setReceiver([this](Request request, const std::vector<std::string>& songs) {
            received.emplace_back(request, songs);
        });
    }
};

// Each request reaches the running player with exactly the songs it may open,
// names of any bytes intact; the sender learns which were taken. A Play of a song
// that is not there reaches nobody; a Play without a song only shows the player.
TEST(SingleInstance, HandsSongsToTheRunningPlayer) {
    const testing::TempFolder dir;
    const std::string odd = dir.path("caf\xe9 \x01\n.cdg");  // Latin-1, a control, a newline
    for (const std::string& song : {odd, dir.path("b.cdg"), dir.path("c.mp3")})
        testing::writeFile(song, std::string(24, '\0'));
    const std::string missing = dir.path("none.cdg");
    const struct {
        Request request;
        std::vector<std::string> songs;
        std::vector<bool> taken;
        std::vector<std::string> received;  // {"-"}: nothing reaches the player
    } cases[] = {
        {Request::Play, {odd}, {true}, {odd}},
        {Request::Play, {}, {}, {}},
        {Request::Play, {missing}, {false}, {"-"}},
        {Request::Enqueue,
         {dir.path("b.cdg"), missing, dir.path(), "b.cdg", dir.path("c.mp3"), odd},
         {true, false, false, false, true, true},
         {dir.path("b.cdg"), dir.path("c.mp3"), odd}},
    };
    Player player(dir.path());
    ASSERT_EQ(player.instance.start(Request::Play, {}).role, Role::Player);
    EXPECT_TRUE(player.instance.listening());
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<char>(c.request) << c.songs.size());
        player.received.clear();
        const SingleInstance::Outcome outcome = startBeside(dir.path(), c.request, c.songs);
        EXPECT_EQ(outcome.role, Role::HandedOver);
        EXPECT_EQ(outcome.taken, c.taken);
        if (c.received == std::vector<std::string>{"-"}) {
            EXPECT_TRUE(player.received.empty());
            continue;
        }
        ASSERT_EQ(player.received.size(), 1u);
        EXPECT_EQ(player.received[0].first, c.request);
        EXPECT_EQ(player.received[0].second, c.received);
    }
    // A player busy with what it was handed (a message box about it) has answered
    // before: the sender does not wait for it.
    int busy = 0;
    player.instance.setReceiver([&busy](Request, const std::vector<std::string>&) {
        ++busy;
        QTest::qWait(1500);
    });
    EXPECT_EQ(startBeside(dir.path(), Request::Play, {odd}, 1000).role, Role::HandedOver);
    EXPECT_TRUE(QTest::qWaitFor([&] { return busy == 1; }));
}

// A player that holds the name but does not answer is left alone, briefly: the start
// plays on its own. (A socket left by a killed player is replaced: the real program's
// test below.)
TEST(SingleInstance, ASilentPlayerIsLeftAlone) {
    const testing::TempFolder dir;
    QLocalServer silent;  // takes connections, never reads or answers
    ASSERT_TRUE(silent.listen(Player(dir.path()).instance.socketPath()));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(startBeside(dir.path(), Request::Play, {}, 400).role, Role::Alone);
    EXPECT_LT(clock.elapsed(), 3000);
}

// Raw bytes to the player; what it answered before it hung up.
QByteArray sendRaw(const std::string& folder, const QByteArray& bytes) {
    return meanwhile([=] {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(folder) + "/lyrvox-player");
        if (!socket.waitForConnected(3000)) return QByteArray("unconnected");
        socket.write(bytes);
        socket.waitForBytesWritten(3000);
        QByteArray answer;
        while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(3000))
            answer += socket.readAll();
        return answer + socket.readAll();
    });
}

QByteArray number(qsizetype size) {
    const auto n = static_cast<quint32>(size);
    return QByteArray(1, char(n >> 24)) + char(n >> 16 & 0xff) + char(n >> 8 & 0xff) +
           char(n & 0xff);
}

// The receiving side takes nothing it cannot trust: a message that is not ours or
// over a limit, or a path that is relative, holds a NUL or names no file, reaches
// nobody; the player goes on taking well-made messages.
TEST(SingleInstance, ThePlayerChecksWhatItIsSent) {
    const testing::TempFolder dir;
    const std::string song = dir.path("a.cdg");
    testing::writeFile(song, std::string(24, '\0'));
    const QByteArray path = QByteArray::fromStdString(song);
    const QByteArray header = "LYRVOX1E";
    const struct {
        const char* what;
        QByteArray bytes;
        QByteArray answer;
    } cases[] = {
        {"another program", "GET / HTTP/1.0\r\n\r\n", "NO"},
        {"two songs to play", "LYRVOX1P" + number(2) + number(1) + "/" + number(1) + "/", "NO"},
        {"too many songs", header + number(SingleInstance::kMaxSongs + 1), "NO"},
        {"too long a path", header + number(1) + number(SingleInstance::kMaxPathBytes + 1), "NO"},
        {"more than it said", header + number(1) + number(path.size()) + path + "x", "NO"},
        {"relative, NUL inside, a folder",
         header + number(3) + number(5) + "a.cdg" + number(path.size() + 2) + path + '\0' + "x" +
             number(static_cast<qsizetype>(dir.path().size())) +
             QByteArray::fromStdString(dir.path()),
         QByteArray("OK") + '\0' + '\0' + '\0'},
        {"well made", header + number(1) + number(path.size()) + path, QByteArray("OK") + '\1'},
    };
    Player player(dir.path());
    ASSERT_EQ(player.instance.start(Request::Play, {}).role, Role::Player);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        player.received.clear();
        EXPECT_EQ(sendRaw(dir.path(), c.bytes), c.answer);
        const bool taken = c.answer == QByteArray("OK") + '\1';
        EXPECT_EQ(player.received.size(), taken ? 1u : 0u);
    }
    EXPECT_EQ(SingleInstance::encode(Request::Enqueue, {song}),
              header + number(1) + number(path.size()) + path);
}

// Options before the songs; "--" ends them; a song may begin with a single '-'.
TEST(SingleInstance, CommandLine) {
    // Flags: E to enqueue (else to play), N a new instance, H help, S start the night.
    const struct {
        std::vector<std::string> args;
        std::string flags, error;
        std::vector<std::string> songs;
    } cases[] = {
        {{}, "", "", {}},
        {{"--enqueue", "a.cdg", "b.zip"}, "E", "", {"a.cdg", "b.zip"}},
        {{"--new-instance", "--enqueue", "a"}, "NE", "", {"a"}},
        {{"--help"}, "H", "", {}},
        {{"--", "--enqueue"}, "", "", {"--enqueue"}},
        {{"-song.cdg"}, "", "", {"-song.cdg"}},
        {{"--enqueue"}, "E", "--enqueue needs songs", {}},
        {{"--fast", "a"}, "", "unknown option --fast", {}},
        {{"--new-instance", "--start-night"}, "NS", "", {}},
        {{"--start-night", "a.cdg"}, "S", "--start-night takes no songs", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
        const PlayerCommand command = parsePlayerCommand(c.args);
        const auto flag = [&](char f) { return c.flags.find(f) != std::string::npos; };
        EXPECT_EQ(command.request, flag('E') ? Request::Enqueue : Request::Play);
        EXPECT_EQ(command.newInstance, flag('N'));
        EXPECT_EQ(command.help, flag('H'));
        EXPECT_EQ(command.startNight, flag('S'));
        EXPECT_EQ(command.error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(command.songs, c.songs);
        }
    }
    EXPECT_EQ(absolutePath("/a b"), "/a b");
    EXPECT_EQ(absolutePath("a\xe9.cdg"), std::filesystem::current_path().string() + "/a\xe9.cdg");
}

// A start's songs: Play names one song in all its words (quotes around them
// dropped), but several words that are each a file and together none (a file
// manager's several files) play the first and queue the others.
TEST(SingleInstance, WhatAStartAsksOfThePlayer) {
    const testing::TempFolder dir;
    for (const char* name : {"a.cdg", "b.cdg", "My Song.cdg", "My"})
        testing::writeFile(dir.path(name), std::string(24, '\0'));
    const std::string my = dir.path("My");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> play, enqueue, startUp;
    } cases[] = {
        {{}, {}, {}, {}},
        {{my, "Song.cdg"}, {dir.path("My Song.cdg")}, {}, {my, "Song.cdg"}},
        {{"\"" + my, "Song.cdg\""}, {dir.path("My Song.cdg")}, {}, {"\"" + my, "Song.cdg\""}},
        {{dir.path("a.cdg"), dir.path("b.cdg"), my},
         {dir.path("a.cdg")},
         {dir.path("b.cdg"), my},
         {dir.path("a.cdg")}},
        {{dir.path("a.cdg"), dir.path("none.cdg")},
         {dir.path("a.cdg") + " " + dir.path("none.cdg")},
         {},
         {dir.path("a.cdg"), dir.path("none.cdg")}},
        {{"--enqueue", dir.path("a.cdg"), "none.cdg"},
         {},
         {dir.path("a.cdg"), absolutePath("none.cdg")},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        const PlayerSongs songs = playerSongs(parsePlayerCommand(c.args));
        EXPECT_EQ(songs.play, c.play);
        EXPECT_EQ(songs.enqueue, c.enqueue);
        EXPECT_EQ(songs.startUp, c.startUp);
    }
}

// The real program, started again while it runs, under the test's own runtime
// folder: a song (named relative to another folder) plays in the first, songs
// to enqueue land in its queue, and of several songs the first plays and the others
// are queued, each second start ending at once; --new-instance
// runs beside it; --help answers. After the first is killed, the next start
// replaces its socket and plays.
TEST(SingleInstance, TheRealProgramStartedTwice) {
    const testing::TempFolder dir;
    std::filesystem::create_directory(dir.path("songs"));
    std::vector<uint8_t> cdg;
    for (int i = 0; i < 9000; ++i) encode::append(cdg, encode::memoryPreset(i % 16));
    for (const char* name : {"songs/Artist - Song.cdg", "songs/b.cdg"})
        testing::writeFile(dir.path(name), cdg);
    const QString trace = qpath(dir.path("trace"));
    // Runtime and data folders of this run's own: a socket and a library of its own.
    std::filesystem::create_directory(dir.path("runtime"));
    std::filesystem::permissions(dir.path("runtime"), std::filesystem::perms::owner_all);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", qpath(dir.path("runtime")));
    env.insert("XDG_DATA_HOME", qpath(dir.path("data")));
    const QString socket = SingleInstance(qpath(dir.path("runtime"))).socketPath();

    const auto startPlayer = [&](QProcess& player, const QStringList& args) {
        QProcessEnvironment traced = env;
        traced.insert("LYRVOX_TRACE", trace);
        player.setProcessEnvironment(traced);
        player.start(LYRVOX_PLAYER, args);
        ASSERT_TRUE(player.waitForStarted());
    };
    // A second start: its exit status and what it said, within 10 s.
    const auto again = [&](const QStringList& args) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(qpath(dir.path("songs")));
        second.start(LYRVOX_PLAYER, args);
        EXPECT_TRUE(second.waitForFinished(10000));
        return std::make_pair(second.exitCode(),
                              second.readAllStandardOutput() + second.readAllStandardError());
    };

    QProcess first;
    startPlayer(first, {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, 10000));
    // Its start-up over: it answers (a start without songs only shows it).
    EXPECT_EQ(startBeside(dir.path("runtime"), Request::Play, {}, 20000).role, Role::HandedOver);

    EXPECT_EQ(again({"Artist", "-", "Song.cdg"}).first, 0);  // one song in several words
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(trace).size() > 0; }, 10000));
    EXPECT_EQ(again({"--enqueue", "b.cdg", "Artist - Song.cdg"}).first, 0);
    EXPECT_EQ(again({"Artist - Song.cdg", "b.cdg"}).first, 0);  // plays the first, queues b
    const auto [status, said] = again({"none.cdg"});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(said.contains("none.cdg")) << said.toStdString();
    // --help answers, also in a terminal with no display at all.
    QProcess headless;
    QProcessEnvironment bare = env;
    bare.remove(QStringLiteral("QT_QPA_PLATFORM"));
    bare.remove(QStringLiteral("DISPLAY"));
    bare.remove(QStringLiteral("WAYLAND_DISPLAY"));
    headless.setProcessEnvironment(bare);
    headless.start(LYRVOX_PLAYER, {QStringLiteral("--help")});
    EXPECT_TRUE(headless.waitForFinished(10000));
    EXPECT_EQ(headless.exitCode(), 0);
    EXPECT_TRUE(headless.readAllStandardOutput().startsWith("Usage: lyrvox"));

    const std::string db = dir.path("data/Lyrvox/lyrvox/library.db");
    std::vector<QueueEntry> queued;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            LibraryIndex index(db, LibraryIndex::Recovery::None);
            queued = PlayQueue(index).entries();
            return queued.size() >= 3;
        },
        5000));
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[2].path, dir.path("songs/b.cdg"));
    EXPECT_EQ(queued[0].path, dir.path("songs/b.cdg"));
    EXPECT_EQ(queued[1].path, dir.path("songs/Artist - Song.cdg"));
    EXPECT_EQ(queued[1].artist, "Artist");
    EXPECT_EQ(queued[1].title, "Song");

    QProcess beside;
    startPlayer(beside, {"--new-instance"});
    EXPECT_FALSE(beside.waitForFinished(1500));  // a player of its own
    beside.terminate();
    EXPECT_TRUE(beside.waitForFinished(10000));

    first.kill();  // its socket stays behind
    first.waitForFinished();
    EXPECT_TRUE(QFile::exists(socket));
    QProcess next;
    startPlayer(next, {});
    EXPECT_FALSE(next.waitForFinished(1500));  // not handed over to the dead one
    // It listens in the dead one's place.
    EXPECT_EQ(startBeside(dir.path("runtime"), Request::Play, {}, 20000).role, Role::HandedOver);
    next.terminate();
    EXPECT_TRUE(next.waitForFinished(10000));
    EXPECT_FALSE(QFile::exists(socket));
}

}  // namespace
}  // namespace lyrvox
