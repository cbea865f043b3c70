// The phones' pages over 127.0.0.1: each with its type and the security headers,
// kept by the phone and revalidated by its tag, nothing else served.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "http_get.h"
#include "library/singer_rotation.h"
#include "server/request_server.h"
#include "song_library.h"

namespace lyrvox {
namespace {

using testing::httpExchange;

class PageServingTest : public ::testing::Test {
  protected:
    testing::SongLibrary lib;
    SingerRotation rotation{*lib.index};
    std::unique_ptr<RequestServer> server;
    quint16 port = 0;

    void SetUp() override {
        ServerLinks links;
        links.index = [this] { return lib.index.get(); };
        links.rotation = [this] { return &rotation; };
        RequestServer::Options options;
        options.everyRequest = {1000, 1000};
        server = std::make_unique<RequestServer>(links, options);
        port = server->start(QHostAddress::LocalHost, 0);
        ASSERT_NE(port, 0) << server->errorString().toStdString();
    }
};

TEST_F(PageServingTest, PagesAndAssetsWithTheirTypesAndSecurityHeaders) {
    struct Case {
        const char* path;
        const char* type;
        const char* holds;  // a piece of the body that shows it is the right file
    };
    const Case cases[] = {
        {"/", "text/html; charset=utf-8", "/assets/singers.js"},
        {"/host", "text/html; charset=utf-8", "/assets/host.js"},
        {"/assets/style.css", "text/css; charset=utf-8", "touch-action"},
        {"/assets/common.js", "text/javascript; charset=utf-8", "window.Lyrvox"},
        {"/assets/singers.js", "text/javascript; charset=utf-8", "Sing this"},
        {"/assets/host.js", "text/javascript; charset=utf-8", "Bearer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const testing::HttpAnswer a = httpExchange(port, "GET", c.path);
        EXPECT_EQ(a.status, 200);
        EXPECT_EQ(a.header("Content-Type"), c.type);
        EXPECT_TRUE(a.body.contains(c.holds));
        EXPECT_EQ(a.header("Content-Length").toLongLong(), a.body.size());
        EXPECT_EQ(a.header("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(a.header("Referrer-Policy"), "no-referrer");
        const QByteArray csp = a.header("Content-Security-Policy");
        EXPECT_TRUE(csp.startsWith("default-src 'self'")) << csp.toStdString();
        EXPECT_TRUE(csp.contains("script-src 'self';")) << "no inline scripts";
        EXPECT_FALSE(csp.contains("unsafe")) << csp.toStdString();
        EXPECT_TRUE(csp.contains("connect-src 'self' ws:"));
        EXPECT_FALSE(a.header("Cache-Control").isEmpty());
        EXPECT_FALSE(a.header("ETag").isEmpty());
    }
}

// The policy allows no inline script: every script the pages load has its own
// file, the shared one first.
TEST_F(PageServingTest, PagesHoldNoInlineScriptsNorHandlers) {
    const std::pair<const char*, QStringList> pages[] = {
        {"/", {QStringLiteral("/assets/common.js"), QStringLiteral("/assets/singers.js")}},
        {"/host", {QStringLiteral("/assets/common.js"), QStringLiteral("/assets/host.js")}},
    };
    for (const auto& [path, wanted] : pages) {
        SCOPED_TRACE(path);
        const QString html = QString::fromUtf8(httpExchange(port, "GET", path).body);
        const QRegularExpression script(
            QStringLiteral("<script src=\"([^\"]*)\"[^>]*>([^<]*)</script>"));
        QStringList sources;
        for (auto it = script.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            sources.append(m.captured(1));
            EXPECT_TRUE(m.captured(2).trimmed().isEmpty());
        }
        EXPECT_EQ(sources, wanted);
        EXPECT_EQ(html.count(QStringLiteral("<script")), wanted.size()) << "each with its src";
        EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("\\son[a-z]+="))));
        EXPECT_FALSE(html.contains(QStringLiteral("http://")) ||
                     html.contains(QStringLiteral("https://")))
            << "nothing from elsewhere";
    }
}

TEST_F(PageServingTest, ThePhonesCopyIsRevalidatedByItsTag) {
    const testing::HttpAnswer first = httpExchange(port, "GET", "/assets/singers.js");
    const QByteArray tag = first.header("ETag");
    ASSERT_FALSE(tag.isEmpty());
    const testing::HttpAnswer same =
        httpExchange(port, "GET", "/assets/singers.js", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(same.status, 304);
    EXPECT_TRUE(same.body.isEmpty());
    EXPECT_EQ(same.header("ETag"), tag);
    const testing::HttpAnswer other =
        httpExchange(port, "GET", "/assets/singers.js", "If-None-Match: \"old\"\r\n");
    EXPECT_EQ(other.status, 200);
    EXPECT_EQ(other.body, first.body);
    EXPECT_NE(httpExchange(port, "GET", "/assets/host.js").header("ETag"), tag);
}

}  // namespace
}  // namespace lyrvox
