// The singers' page in a real browser: Debian's chromium, headless, driven over
// the DevTools protocol on a 360x740 phone screen against 127.0.0.1 only. It
// searches, shows a song named like a script as text, asks for a song, and
// sees the host's approval arrive over the live connection. Skipped when
// chromium is not installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include "http_get.h"
#include "library/singer_rotation.h"
#include "requests/request_list.h"
#include "server/request_server.h"
#include "song_library.h"

namespace lyrvox {
namespace {

constexpr const char* kChromium = "/usr/bin/chromium";

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

// A headless chromium of the test's own, and one page of it over the DevTools protocol.
class Browser {
  public:
    explicit Browser(const QString& profile) {
        process_.setProgram(QString::fromLatin1(kChromium));
        process_.setArguments(
            {QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
             QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
             QStringLiteral("--no-default-browser-check"), QStringLiteral("--disable-extensions"),
             QStringLiteral("--disable-background-networking"),
             QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
             // Nothing leaves the machine: every name but 127.0.0.1 resolves to nothing.
             QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1"),
             QStringLiteral("--proxy-server=direct://"),
             QStringLiteral("--remote-debugging-address=127.0.0.1"),
             QStringLiteral("--remote-debugging-port=0"),
             QStringLiteral("--user-data-dir=") + profile, QStringLiteral("--window-size=360,740"),
             QStringLiteral("about:blank")});
        // Its home and temporary files in the test's own folder, not the user's. The folder
        // is short: chromium's socket path under TMPDIR must fit in 108 bytes.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), profile);
        env.insert(QStringLiteral("TMPDIR"), profile);
        process_.setProcessEnvironment(env);
        process_.setStandardErrorFile(profile + QStringLiteral("/stderr.log"));
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start();
        // Chromium writes the port it took into the profile.
        QFile portFile(profile + QStringLiteral("/DevToolsActivePort"));
        if (!waitFor([&] { return portFile.exists() && portFile.size() > 0; }, 30000)) return;
        portFile.open(QIODevice::ReadOnly);
        const quint16 port = portFile.readLine().trimmed().toUShort();
        QString page;
        waitFor([&] {
            const QJsonArray targets =
                QJsonDocument::fromJson(testing::httpExchange(port, "GET", "/json/list").body)
                    .array();
            for (const QJsonValue& t : targets) {
                if (t[QStringLiteral("type")].toString() == QStringLiteral("page"))
                    page = t[QStringLiteral("webSocketDebuggerUrl")].toString();
            }
            return !page.isEmpty();
        });
        if (page.isEmpty()) {
            ADD_FAILURE() << "no page in chromium's DevTools on port " << port;
            return;
        }
        QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains(QStringLiteral("id")))
                answers_[message[QStringLiteral("id")].toInt()] = message;
            else
                events_.append(message[QStringLiteral("method")].toString());
        });
        socket_.open(QUrl(page));
        if (!waitFor([&] { return socket_.state() == QAbstractSocket::ConnectedState; }))
            ADD_FAILURE() << "DevTools' WebSocket " << page.toStdString() << ": "
                          << socket_.errorString().toStdString();
    }
    ~Browser() {
        socket_.close();
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }
    bool ready() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    const QStringList& events() const { return events_; }

    QJsonObject send(const QString& method, const QJsonObject& params = {}) {
        const int id = ++lastId_;
        socket_.sendTextMessage(
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                                        {QStringLiteral("method"), method},
                                                        {QStringLiteral("params"), params}})
                                  .toJson(QJsonDocument::Compact)));
        waitFor([&] { return answers_.contains(id); });
        return answers_.take(id)[QStringLiteral("result")].toObject();
    }
    // The value of a JavaScript expression in the page.
    QJsonValue eval(const QString& expression) {
        return send(QStringLiteral("Runtime.evaluate"),
                    {{QStringLiteral("expression"), expression},
                     {QStringLiteral("returnByValue"), true}})[QStringLiteral("result")]
            .toObject()[QStringLiteral("value")];
    }
    bool until(const QString& expression, int ms = 10000) {
        return waitFor([&] { return eval(expression).toBool(); }, ms);
    }

  private:
    QProcess process_;
    QWebSocket socket_;
    QHash<int, QJsonObject> answers_;
    QStringList events_;
    int lastId_ = 0;
};

TEST(PhonePageBrowserTest, SearchAskAndSeeTheApprovalOnAPhoneScreen) {
    if (!QFile::exists(QString::fromLatin1(kChromium))) GTEST_SKIP() << "chromium is not installed";
    // Named after the corpus's songs, and one whose title is a script.
    testing::SongLibrary lib({{"Lyrvox", "Demokar"},
                              {"Cape May", "Capemay"},
                              {"Evil", "<script>alert(1)</script><b>bold</b>"}});
    SingerRotation rotation{*lib.index};
    ServerLinks links;
    links.index = [&] { return lib.index.get(); };
    links.rotation = [&] { return &rotation; };
    links.coming = [&](int n) { return rotation.upcoming(n); };
    RequestServer::Options options;
    options.pin = "424242";
    RequestServer server(links, options);
    const quint16 port = server.start(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);

    QTemporaryDir shortFolder(QStringLiteral("/tmp/lyrvox-chromium-XXXXXX"));
    ASSERT_TRUE(shortFolder.isValid());
    Browser browser(shortFolder.path());
    ASSERT_TRUE(browser.ready()) << "chromium's DevTools did not answer";
    browser.send(QStringLiteral("Page.enable"));
    browser.send(QStringLiteral("Emulation.setDeviceMetricsOverride"),
                 {{QStringLiteral("width"), 360},
                  {QStringLiteral("height"), 740},
                  {QStringLiteral("deviceScaleFactor"), 2},
                  {QStringLiteral("mobile"), true}});
    browser.send(QStringLiteral("Page.navigate"),
                 {{QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1/").arg(port)}});
    ASSERT_TRUE(
        browser.until(QStringLiteral("document.getElementById('live')?.textContent === 'Live'")));
    EXPECT_EQ(browser.eval(QStringLiteral("document.documentElement.scrollWidth")).toInt(), 360)
        << "nothing wider than the phone";

    // Three letters find the song.
    browser.eval(
        QStringLiteral("document.getElementById('singer').value = 'Ana';"
                       "document.getElementById('singer').dispatchEvent(new Event('change'));"
                       "const s = document.getElementById('search'); s.value = 'dem';"
                       "s.dispatchEvent(new Event('input'));"));
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.getElementById('results').textContent.includes('Demokar')")));
    EXPECT_GE(browser
                  .eval(QStringLiteral(
                      "document.querySelector('#results button').getBoundingClientRect().height"))
                  .toDouble(),
              44.0)
        << "a button large enough for a finger";

    // The script in a song's name is shown as text, never run nor parsed.
    browser.eval(
        QStringLiteral("const t = document.getElementById('search'); t.value = 'evil';"
                       "t.dispatchEvent(new Event('input'));"));
    ASSERT_TRUE(browser.until(QStringLiteral(
        "document.getElementById('results').textContent.includes('<script>alert(1)</script>')")));
    EXPECT_EQ(browser.eval(QStringLiteral("document.scripts.length")).toInt(), 1);
    EXPECT_EQ(
        browser.eval(QStringLiteral("document.querySelectorAll('#results b').length")).toInt(), 0);
    EXPECT_FALSE(browser.events().contains(QStringLiteral("Page.javascriptDialogOpening")));

    // Ask for the song; it waits for the host with a way to withdraw it.
    browser.eval(
        QStringLiteral("const u = document.getElementById('search'); u.value = 'dem';"
                       "u.dispatchEvent(new Event('input'));"));
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.getElementById('results').textContent.includes('Demokar')")));
    browser.eval(QStringLiteral("document.querySelector('#results button').click()"));
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.getElementById('mine').textContent.includes('Demokar') &&"
                       "document.querySelector('#mine button')?.textContent === 'Withdraw'")));
    const std::vector<SongRequest> waiting = RequestList(*lib.index).pending();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].singer, "Ana");
    EXPECT_TRUE(browser.eval(QStringLiteral("localStorage.getItem('lyrvox.singer')")).toString() ==
                QStringLiteral("Ana"));

    // The host approves through the API; the page shows Ana next, live.
    const testing::HttpAnswer approved = testing::httpExchange(
        port, "POST", "/api/host/requests/" + QByteArray::number(waiting[0].id) + "/approve",
        "Authorization: Bearer 424242\r\nContent-Length: 0\r\n");
    ASSERT_EQ(approved.status, 200) << approved.body.toStdString();
    ASSERT_TRUE(browser.until(
        QStringLiteral("document.getElementById('place').textContent === 'You are next!' &&"
                       "document.getElementById('coming').textContent.includes('Demokar')")));
    EXPECT_TRUE(browser.until(
        QStringLiteral("document.getElementById('mine').textContent.includes('None waiting')")));

    const QByteArray png = QByteArray::fromBase64(
        browser.send(QStringLiteral("Page.captureScreenshot"))[QStringLiteral("data")]
            .toString()
            .toLatin1());
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    QFile shot(QStringLiteral(LYRVOX_TEST_OUTPUT_DIR "/phone_page_360x740.png"));
    ASSERT_TRUE(shot.open(QIODevice::WriteOnly));
    shot.write(png);
}

}  // namespace
}  // namespace lyrvox
