#pragma once
// A headless chromium of a test's own (Debian's /usr/bin/chromium), driven over
// the DevTools protocol, for the pages' browser tests. It reaches 127.0.0.1 only:
// every other host name resolves to nothing and no proxy is asked.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <QWebSocket>
#include <functional>

#include "http_get.h"

namespace lyrvox::testing {

inline constexpr const char* kChromium = "/usr/bin/chromium";

// Polls `done` every 20 ms, serving the test's event loop, for at most `ms`.
inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

class Browser {
  public:
    // `profile`: an empty folder of the test's own with a short path (chromium's
    // socket path under TMPDIR must fit in 108 bytes).
    explicit Browser(const QString& profile) {
        process_.setProgram(QString::fromLatin1(kChromium));
        process_.setArguments(
            {QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
             QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
             QStringLiteral("--no-default-browser-check"), QStringLiteral("--disable-extensions"),
             QStringLiteral("--disable-background-networking"),
             QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
             QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1"),
             QStringLiteral("--proxy-server=direct://"),
             QStringLiteral("--remote-debugging-address=127.0.0.1"),
             QStringLiteral("--remote-debugging-port=0"),
             QStringLiteral("--user-data-dir=") + profile, QStringLiteral("--window-size=360,740"),
             QStringLiteral("about:blank")});
        // Its home and temporary files in the test's own folder, not the user's.
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
                QJsonDocument::fromJson(httpExchange(port, "GET", "/json/list").body).array();
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
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool ready() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // The methods of the events the page sent so far ("Page.javascriptDialogOpening", ...).
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
    // Opens `url` on a phone's screen of `width` x `height` CSS pixels (twice as
    // many device pixels).
    void openOnPhone(const QString& url, int width = 360, int height = 740) {
        send(QStringLiteral("Page.enable"));
        send(QStringLiteral("Emulation.setDeviceMetricsOverride"),
             {{QStringLiteral("width"), width},
              {QStringLiteral("height"), height},
              {QStringLiteral("deviceScaleFactor"), 2},
              {QStringLiteral("mobile"), true}});
        send(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
    }
    // The value of a JavaScript expression in the page.
    QJsonValue eval(const QString& expression) {
        return send(QStringLiteral("Runtime.evaluate"),
                    {{QStringLiteral("expression"), expression},
                     {QStringLiteral("returnByValue"), true}})[QStringLiteral("result")]
            .toObject()[QStringLiteral("value")];
    }
    // Whether `expression` became true within `ms`.
    bool until(const QString& expression, int ms = 10000) {
        return waitFor([&] { return eval(expression).toBool(); }, ms);
    }
    // Types `text` into the field `selector` names, as a keyboard would, after
    // emptying it; false when there is no such field.
    bool type(const QString& selector, const QString& text) {
        if (!eval(QStringLiteral("(() => { const e = document.querySelector(%1);"
                                 " if (!e) return false; e.focus(); e.select(); return true; })()")
                      .arg(jsString(selector)))
                 .toBool())
            return false;
        send(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), text}});
        return true;
    }
    // A finger's tap on the middle of the element `selector` names, scrolled into
    // view first. False when there is no such element or something else covers
    // that point (the tap would not reach it).
    bool tap(const QString& selector) {
        const QJsonObject at =
            eval(
                QStringLiteral("(() => { const e = document.querySelector(%1); if (!e) return null;"
                               " e.scrollIntoView({block: 'center'});"
                               " const r = e.getBoundingClientRect();"
                               " const x = r.left + r.width / 2, y = r.top + r.height / 2;"
                               " const top = document.elementFromPoint(x, y);"
                               " return e.contains(top) ? {x, y} : null; })()")
                    .arg(jsString(selector)))
                .toObject();
        if (at.isEmpty()) return false;
        for (const char* kind : {"mousePressed", "mouseReleased"}) {
            send(QStringLiteral("Input.dispatchMouseEvent"),
                 {{QStringLiteral("type"), QLatin1String(kind)},
                  {QStringLiteral("x"), at[QStringLiteral("x")]},
                  {QStringLiteral("y"), at[QStringLiteral("y")]},
                  {QStringLiteral("button"), QStringLiteral("left")},
                  {QStringLiteral("clickCount"), 1}});
        }
        return true;
    }
    // `text` as a JavaScript string literal.
    static QString jsString(const QString& text) {
        const QString array =
            QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
        return array.mid(1, array.size() - 2);
    }
    // The screen as PNG, written to `path`: what the phone shows now, or with
    // `wholePage` the page from its top to its end. False when that failed.
    bool screenshot(const QString& path, bool wholePage = false) {
        QJsonObject params;
        if (wholePage) {
            const double height =
                eval(QStringLiteral("document.documentElement.scrollHeight")).toDouble();
            const double width =
                eval(QStringLiteral("document.documentElement.clientWidth")).toDouble();
            params = {{QStringLiteral("captureBeyondViewport"), true},
                      {QStringLiteral("clip"), QJsonObject{{QStringLiteral("x"), 0},
                                                           {QStringLiteral("y"), 0},
                                                           {QStringLiteral("width"), width},
                                                           {QStringLiteral("height"), height},
                                                           {QStringLiteral("scale"), 1}}}};
        }
        const QByteArray png = QByteArray::fromBase64(
            send(QStringLiteral("Page.captureScreenshot"), params)[QStringLiteral("data")]
                .toString()
                .toLatin1());
        QFile file(path);
        return png.startsWith("\x89PNG") && file.open(QIODevice::WriteOnly) &&
               file.write(png) == png.size();
    }

  private:
    QProcess process_;
    QWebSocket socket_;
    QHash<int, QJsonObject> answers_;
    QStringList events_;
    int lastId_ = 0;
};

}  // namespace lyrvox::testing
