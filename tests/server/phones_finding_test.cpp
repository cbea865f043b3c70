// How the phones find the page: the QR code of its address reads back as the
// address, the address is one a phone can reach, and the Phones window shows
// them with the host's PIN.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>

#include "app/phones_window.h"
#include "server/qr_image.h"
#include "server/request_server.h"

namespace lyrvox {
namespace {

// The text zbarimg reads from `image`, or nothing when zbarimg is not installed.
std::optional<QString> readBack(const QImage& image) {
    const QString zbar = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbar.isEmpty()) return std::nullopt;
    const QString file = QDir::temp().filePath(QStringLiteral("code.png"));
    EXPECT_TRUE(image.save(file));
    QProcess process;
    process.start(zbar, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

TEST(PhonesFindingTest, TheCodeReadsBackAsItsText) {
    struct Case {
        const char* text;
        int modules;  // 17 + 4 x the QR version the text needs at level M
    };
    const Case cases[] = {
        {"http://10.0.0.2:80/", 25},
        {"http://192.168.178.123:8080/", 29},
        {"http://[fd00:1234:5678:9abc:def0:1234:5678:9abc]:65535/", 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(QrImage::modules(text), c.modules);
        const QImage image = QrImage::make(text, 6);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), (c.modules + 2 * QrImage::kQuietModules) * 6);
        EXPECT_EQ(image.height(), image.width());
        EXPECT_EQ(image, QrImage::make(text, 6)) << "the same text, the same picture";
        // The quiet zone is white, the finder pattern's corner dark.
        const int edge = QrImage::kQuietModules * 6;
        EXPECT_EQ(image.pixelColor(edge - 1, edge - 1), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(edge, edge), QColor(Qt::black));
        EXPECT_EQ(image.pixelColor(image.width() - edge - 1, edge), QColor(Qt::black));
        if (const std::optional<QString> read = readBack(image)) {
            EXPECT_EQ(*read, text);
        }
    }
    EXPECT_NE(QrImage::make(QStringLiteral("http://10.0.0.2:80/")),
              QrImage::make(QStringLiteral("http://10.0.0.3:80/")));
    EXPECT_TRUE(QrImage::make(QString(8000, QChar('x'))).isNull()) << "too long for any code";
}

TEST(PhonesFindingTest, ThePageAddressIsOneAPhoneCanReach) {
    RequestServer stopped(ServerLinks{});
    EXPECT_TRUE(stopped.pageUrl().isEmpty());

    RequestServer local(ServerLinks{});
    const quint16 port = local.start(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    EXPECT_EQ(local.pageUrl(), QStringLiteral("http://127.0.0.1:%1/").arg(port));

    // Listening everywhere: the machine's own address, never 0.0.0.0.
    RequestServer everywhere(ServerLinks{});
    const quint16 anyPort = everywhere.start(QHostAddress::AnyIPv4, 0);
    ASSERT_NE(anyPort, 0);
    const QUrl url(everywhere.pageUrl());
    EXPECT_EQ(url.scheme(), QStringLiteral("http"));
    EXPECT_EQ(url.port(), anyPort);
    EXPECT_EQ(url.path(), QStringLiteral("/"));
    EXPECT_FALSE(QHostAddress(url.host()).isNull());
    EXPECT_NE(QHostAddress(url.host()), QHostAddress(QHostAddress::AnyIPv4));
}

TEST(PhonesFindingTest, TheWindowShowsTheAddressItsCodeAndThePin) {
    PhonesWindow window;
    EXPECT_TRUE(window.codeLabel()->pixmap().isNull());
    EXPECT_TRUE(window.codeLabel()->text().contains(QStringLiteral("--serve")));

    const QString url = QStringLiteral("http://192.168.1.20:8080/");
    window.showServer(url, QStringLiteral("123456"));
    const QPixmap code = window.codeLabel()->pixmap();
    ASSERT_FALSE(code.isNull());
    EXPECT_EQ(code.toImage().convertToFormat(QImage::Format_Grayscale8), QrImage::make(url, 8));
    EXPECT_EQ(window.addressLabel()->text(), url);
    EXPECT_TRUE(window.pinLabel()->text().contains(QStringLiteral("123456")));
    EXPECT_TRUE(window.pinLabel()->text().contains(url + QStringLiteral("host")));

    window.showServer({}, {});
    EXPECT_TRUE(window.codeLabel()->pixmap().isNull());
    EXPECT_TRUE(window.addressLabel()->text().isEmpty());
    EXPECT_TRUE(window.pinLabel()->text().isEmpty()) << "no PIN left on screen";
}

}  // namespace
}  // namespace lyrvox
