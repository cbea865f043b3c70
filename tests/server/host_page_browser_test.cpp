// The host's remote in a real browser: Debian's chromium, headless, driven over
// the DevTools protocol on a 360x740 phone screen against 127.0.0.1 only, every
// button pressed as a finger would. It asks for the PIN and refuses a wrong one,
// shows a request whose song is named like a script as text, approves requests
// into the rotation, moves a singer with the page's buttons (checked through the
// API), and reaches the player's controls (recorded by the test's links).
// Skipped when chromium is not installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <atomic>
#include <iostream>

#include "devtools_browser.h"
#include "library/singer_rotation.h"
#include "server/request_server.h"
#include "song_library.h"

namespace lyrvox {
namespace {

using testing::Browser;
using testing::httpExchange;
using testing::kChromium;
using testing::waitFor;

constexpr const char* kShot = "/tmp/lyrvox-host-page-360x740.png";
constexpr const char* kPin = "424242";
// Characters HTML would take for markup, in a name the server accepts (it refuses
// angle brackets in names; the song's title below holds those).
const QString kZoe = QStringLiteral("Zoë & \"Bo\" 'n' &amp;");
const QString kScriptTitle = QStringLiteral("<script>alert(1)</script><b>bold</b>");

// What the page asked of the player, as its links recorded it. Atomic: the
// server may call its links from a thread of its own.
struct PlayerCalls {
    std::atomic<int> playPause{0}, stop{0}, next{0};
    std::atomic<int> key{0}, tempo{100};
};

class HostPageBrowserTest : public ::testing::Test {
  protected:
    testing::SongLibrary lib{
        {{"Lyrvox", "Demokar"}, {"Cape May", "Capemay"}, {"Evil", kScriptTitle.toStdString()}}};
    SingerRotation rotation{*lib.index};
    PlayerCalls calls;
    std::unique_ptr<RequestServer> server;
    quint16 port = 0;
    QTemporaryDir shortFolder{QStringLiteral("/tmp/lyrvox-chromium-XXXXXX")};
    std::unique_ptr<Browser> browser;

    void SetUp() override {
        if (!QFile::exists(QString::fromLatin1(kChromium)))
            GTEST_SKIP() << "chromium is not installed";
        ServerLinks links;
        links.index = [this] { return lib.index.get(); };
        links.rotation = [this] { return &rotation; };
        links.coming = [this](int n) { return rotation.upcoming(n); };
        // A song of the plain queue plays: nobody's turn.
        links.playing = [] {
            RotationTurn turn;
            turn.song.artist = "Lyrvox";
            turn.song.title = "Demokar";
            return std::optional<RotationTurn>(turn);
        };
        links.playPause = [this] { ++calls.playPause; };
        links.stop = [this] { ++calls.stop; };
        links.next = [this] { ++calls.next; };
        links.setKey = [this](int semitones) { calls.key = semitones; };
        links.setTempo = [this](int percent) { calls.tempo = percent; };
        links.keyAndTempo = [this] { return std::pair<int, int>(calls.key, calls.tempo); };
        RequestServer::Options options;
        options.pin = kPin;
        options.everyRequest = {1000, 1000};  // the test's own polling is not a flood
        server = std::make_unique<RequestServer>(links, options);
        port = server->start(QHostAddress::LocalHost, 0);
        ASSERT_NE(port, 0) << server->errorString().toStdString();
        ASSERT_TRUE(shortFolder.isValid());
        browser = std::make_unique<Browser>(shortFolder.path());
        ASSERT_TRUE(browser->ready()) << "chromium's DevTools did not answer";
        browser->openOnPhone(QStringLiteral("http://127.0.0.1:%1/host").arg(port));
        ASSERT_TRUE(browser->until(
            QStringLiteral("document.getElementById('live')?.textContent === 'Live'")));
    }

    // A phone's request for the song with library id `song`, through the API.
    void request(const QString& singer, std::int64_t song) {
        const QByteArray body =
            QJsonDocument(QJsonObject{{QStringLiteral("singer"), singer},
                                      {QStringLiteral("song"), static_cast<double>(song)}})
                .toJson(QJsonDocument::Compact);
        const testing::HttpAnswer made =
            httpExchange(port, "POST", "/api/requests", "Content-Type: application/json\r\n", body);
        ASSERT_EQ(made.status, 201) << made.body.toStdString();
    }
    QJsonObject rotationNow() {
        return QJsonDocument::fromJson(httpExchange(port, "GET", "/api/rotation").body).object();
    }
    // The singers' names in the rotation's order, through the API; a star marks
    // one away.
    QStringList singersNow() {
        QStringList names;
        for (const QJsonValue& s : rotationNow()[QStringLiteral("singers")].toArray()) {
            names.append(s[QStringLiteral("name")].toString() +
                         (s[QStringLiteral("away")].toBool() ? QStringLiteral("*") : QString()));
        }
        return names;
    }
    QString firstComing() {
        return rotationNow()[QStringLiteral("coming")][0][QStringLiteral("singer")].toString();
    }
    // The singers' names as the page lists them, away ones starred like singersNow().
    QString pageSingers() {
        return browser
            ->eval(QStringLiteral(
                "[...document.querySelectorAll('#singers li')].map((li) =>"
                " li.querySelector('.song').firstChild.textContent +"
                " (li.querySelector('small').textContent.startsWith('away') ? '*' : ''))"
                ".join('|')"))
            .toString();
    }
    bool text(const char* id, const QString& want) {
        return browser->until(QStringLiteral("document.getElementById('%1').textContent === %2")
                                  .arg(QLatin1String(id), Browser::jsString(want)));
    }
};

TEST_F(HostPageBrowserTest, PinRequestsRotationAndPlayerControlsOnAPhoneScreen) {
    // A request waits before the host opens the page.
    request(kZoe, lib.ids[2]);

    // The page asks for the PIN first and refuses a wrong one in plain words.
    EXPECT_FALSE(browser->eval(QStringLiteral("document.getElementById('login').hidden")).toBool());
    EXPECT_TRUE(browser->eval(QStringLiteral("document.getElementById('remote').hidden")).toBool());
    ASSERT_TRUE(browser->type(QStringLiteral("#pin"), QStringLiteral("000000")));
    ASSERT_TRUE(browser->tap(QStringLiteral("#login button")));
    EXPECT_TRUE(text("loginStatus", QStringLiteral("Wrong PIN.")));
    EXPECT_TRUE(browser->eval(QStringLiteral("document.getElementById('remote').hidden")).toBool());

    // The right PIN opens the remote with the request, every name shown as text.
    ASSERT_TRUE(browser->type(QStringLiteral("#pin"), QString::fromLatin1(kPin)));
    ASSERT_TRUE(browser->tap(QStringLiteral("#login button")));
    ASSERT_TRUE(
        browser->until(QStringLiteral("!document.getElementById('remote').hidden &&"
                                      "document.getElementById('login').hidden")));
    EXPECT_TRUE(browser->until(
        QStringLiteral("document.querySelector('#requests .song')?.firstChild.textContent === %1 &&"
                       "document.querySelector('#requests small').textContent.startsWith(%2)")
            .arg(Browser::jsString(kScriptTitle), Browser::jsString(kZoe))));
    EXPECT_EQ(browser->eval(QStringLiteral("document.querySelectorAll('main b').length")).toInt(),
              0);
    EXPECT_EQ(browser->eval(QStringLiteral("document.scripts.length")).toInt(), 2);
    EXPECT_FALSE(browser->events().contains(QStringLiteral("Page.javascriptDialogOpening")));
    // A song of the plain queue has no singer: the artist alone under its title.
    EXPECT_TRUE(text("playing", QStringLiteral("DemokarLyrvox")));

    // Approve puts the singer into the rotation: the API and the page say so.
    ASSERT_TRUE(browser->tap(QStringLiteral("#requests li button")));
    EXPECT_TRUE(waitFor([&] { return singersNow() == QStringList{kZoe}; }));
    EXPECT_TRUE(rotationNow()[QStringLiteral("requests")].toArray().isEmpty());
    EXPECT_TRUE(waitFor([&] { return pageSingers() == kZoe; }));
    EXPECT_TRUE(text("requests", QStringLiteral("None.")));

    // A second singer's request arrives live; a double tap on Approve approves it
    // once, with no refusal of the second.
    request(QStringLiteral("Cy"), lib.ids[1]);
    ASSERT_TRUE(browser->until(
        QStringLiteral("document.getElementById('requests').textContent.includes('Capemay')")));
    browser->eval(QStringLiteral(
        "{ const b = document.querySelector('#requests li button'); b.click(); b.click(); }"));
    ASSERT_TRUE(waitFor([&] {
        return singersNow() == QStringList({kZoe, QStringLiteral("Cy")});
    })) << singersNow().join(u'|').toStdString();
    ASSERT_TRUE(waitFor([&] { return pageSingers() == kZoe + QStringLiteral("|Cy"); }));
    EXPECT_EQ(firstComing(), kZoe);
    EXPECT_FALSE(browser->until(
        QStringLiteral("document.getElementById('status').textContent !== ''"), 1500))
        << browser->eval(QStringLiteral("document.getElementById('status').textContent"))
               .toString()
               .toStdString();

    // Cy's buttons, one after the other; the order as the API gives it after each.
    struct Step {
        const char* button;  // its aria-label
        QStringList order;   // "*": away
        QString first;       // who sings the next turn
    };
    const QString cy = QStringLiteral("Cy");
    const Step steps[] = {
        {"Earlier: Cy", {cy, kZoe}, cy},
        {"Later: Cy", {kZoe, cy}, kZoe},
        {"Away: Cy", {kZoe, cy + QStringLiteral("*")}, kZoe},
        {"Back: Cy", {kZoe, cy}, kZoe},
        {"Sings next: Cy", {kZoe, cy}, cy},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.button);
        ASSERT_TRUE(browser->tap(
            QStringLiteral("#singers button[aria-label=\"%1\"]").arg(QLatin1String(step.button))))
            << "no such button, or covered";
        EXPECT_TRUE(waitFor([&] { return singersNow() == step.order; }))
            << singersNow().join(u'|').toStdString();
        EXPECT_EQ(firstComing(), step.first);
        EXPECT_TRUE(waitFor([&] { return pageSingers() == step.order.join(u'|'); }))
            << pageSingers().toStdString();
    }

    // The player's controls reach its links; key and tempo come back to the page.
    // Two taps quicker than the player's answer step twice.
    struct Control {
        const char* button;  // a CSS selector
        int taps;
        int playPause, stop, next, key, tempo;
        const char* shown;  // #key and #tempo afterwards
    };
    const Control controls[] = {
        {"[data-command=\"play-pause\"]", 1, 1, 0, 0, 0, 100, "Key 0 Tempo 100%"},
        {"[data-command=\"stop\"]", 1, 1, 1, 0, 0, 100, "Key 0 Tempo 100%"},
        {".buttons [data-command=\"next\"]", 1, 1, 1, 1, 0, 100, "Key 0 Tempo 100%"},
        {"[aria-label=\"Key up\"]", 1, 1, 1, 1, 1, 100, "Key +1 Tempo 100%"},
        {"[aria-label=\"Key up\"]", 2, 1, 1, 1, 3, 100, "Key +3 Tempo 100%"},
        {"[aria-label=\"Key down\"]", 1, 1, 1, 1, 2, 100, "Key +2 Tempo 100%"},
        {"[aria-label=\"Faster\"]", 1, 1, 1, 1, 2, 105, "Key +2 Tempo 105%"},
        {"[aria-label=\"Slower\"]", 2, 1, 1, 1, 2, 95, "Key +2 Tempo 95%"},
        {"[aria-label=\"Key down\"]", 2, 1, 1, 1, 0, 95, "Key 0 Tempo 95%"},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.button);
        if (c.taps == 1) {
            ASSERT_TRUE(browser->tap(QString::fromLatin1(c.button)))
                << "no such button, or covered";
        } else {
            browser->eval(QStringLiteral("{ const b = document.querySelector(%1);"
                                         " for (let i = 0; i < %2; ++i) b.click(); }")
                              .arg(Browser::jsString(QString::fromLatin1(c.button)))
                              .arg(c.taps));
        }
        EXPECT_TRUE(waitFor([&] {
            return calls.playPause == c.playPause && calls.stop == c.stop && calls.next == c.next &&
                   calls.key == c.key && calls.tempo == c.tempo;
        })) << calls.playPause
            << ' ' << calls.stop << ' ' << calls.next << ' ' << calls.key << ' ' << calls.tempo;
        EXPECT_TRUE(
            browser->until(QStringLiteral("document.getElementById('key').textContent + ' ' +"
                                          "document.getElementById('tempo').textContent === '%1'")
                               .arg(QLatin1String(c.shown))))
            << "the page's key and tempo follow the player's";
    }

    // With a long name among the singers and a request waiting, nothing is wider
    // than the phone and every button is large enough for a finger and fully on it.
    const QString longName = QStringLiteral("Maximiliana Bartholomew-Featherstonehaugh");
    request(longName.left(40), lib.ids[0]);
    ASSERT_TRUE(browser->until(
        QStringLiteral("document.getElementById('requests').textContent.includes('Demokar')")));
    request(QStringLiteral("Dee"), lib.ids[0]);
    ASSERT_TRUE(browser->tap(QStringLiteral("#requests li button")));
    ASSERT_TRUE(waitFor([&] { return singersNow().size() == 3; }));
    ASSERT_TRUE(browser->until(
        QStringLiteral("document.querySelectorAll('#singers li').length === 3 &&"
                       "document.getElementById('requests').textContent.includes('Dee')")));
    browser->eval(QStringLiteral("window.scrollTo(0, 0)"));
    EXPECT_EQ(browser->eval(QStringLiteral("document.documentElement.scrollWidth")).toInt(), 360)
        << "nothing wider than the phone";
    EXPECT_EQ(browser
                  ->eval(QStringLiteral(
                      "[...document.querySelectorAll('button')].filter((b) => b.offsetParent)"
                      ".filter((b) => { const r = b.getBoundingClientRect();"
                      " return r.left < 0 || r.right > 360 || r.height < 44 || r.width < 44; })"
                      ".map((b) => b.textContent).join('|')"))
                  .toString()
                  .toStdString(),
              "")
        << "buttons too small or off the screen";
    EXPECT_EQ(browser
                  ->eval(QStringLiteral(
                      "[...document.querySelectorAll('button')].filter((b) => b.offsetParent)"
                      ".filter((b) => b.getBoundingClientRect().height > 56)"
                      ".map((b) => b.textContent).join('|')"))
                  .toString()
                  .toStdString(),
              "")
        << "buttons whose words wrap";
    EXPECT_EQ(browser
                  ->eval(QStringLiteral("[...document.querySelectorAll('#remote .song')]"
                                        ".filter((s) => s.getBoundingClientRect().width < 120)"
                                        ".map((s) => s.textContent).join('|')"))
                  .toString()
                  .toStdString(),
              "")
        << "names squeezed by their buttons";
    EXPECT_TRUE(browser->screenshot(QString::fromLatin1(kShot)));
    EXPECT_TRUE(browser->screenshot(
        QStringLiteral(LYRVOX_TEST_OUTPUT_DIR "/host_page_360x740_whole.png"), true));
    std::cout << "The host's page at 360x740: " << kShot << "\nAll of it: " LYRVOX_TEST_OUTPUT_DIR
              << "/host_page_360x740_whole.png\n";

    // Forgetting the PIN closes the remote and empties the field.
    ASSERT_TRUE(browser->tap(QStringLiteral("#logout")));
    EXPECT_TRUE(
        browser->until(QStringLiteral("document.getElementById('remote').hidden &&"
                                      "!document.getElementById('login').hidden")));
    EXPECT_EQ(browser->eval(QStringLiteral("document.getElementById('pin').value")).toString(),
              QString());
    EXPECT_EQ(browser->eval(QStringLiteral("document.getElementById('loginStatus').textContent"))
                  .toString(),
              QString())
        << "no refusal left over from before";
    EXPECT_EQ(browser->eval(QStringLiteral("sessionStorage.getItem('lyrvox.pin')")).type(),
              QJsonValue::Null);
}

}  // namespace
}  // namespace lyrvox
