// The singers' page in a real browser: Debian's chromium, headless, driven over
// the DevTools protocol on a 360x740 phone screen against 127.0.0.1 only. It
// searches, shows a song named like a script as text, asks for a song, and
// sees the host's approval arrive over the live connection. Skipped when
// chromium is not installed.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "devtools_browser.h"
#include "library/singer_rotation.h"
#include "requests/request_list.h"
#include "server/request_server.h"
#include "song_library.h"

namespace lyrvox {
namespace {

using testing::Browser;
using testing::kChromium;

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
    browser.openOnPhone(QStringLiteral("http://127.0.0.1:%1/").arg(port));
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
    EXPECT_EQ(browser.eval(QStringLiteral("document.scripts.length")).toInt(), 2)
        << "the shared script and the page's own, nothing added";
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

    EXPECT_TRUE(
        browser.screenshot(QStringLiteral(LYRVOX_TEST_OUTPUT_DIR "/phone_page_360x740.png")));
}

}  // namespace
}  // namespace lyrvox
