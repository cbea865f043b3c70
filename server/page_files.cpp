#include "server/page_files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QUrl>

namespace lyrvox {
namespace {

struct Entry {
    const char* path;
    const char* resource;
    const char* contentType;
    const char* cacheControl;
};

// "no-cache" still lets the phone keep a copy: it asks with If-None-Match and
// gets a 304 without the body while the file is the same.
constexpr Entry kFiles[] = {
    {"/", ":/lyrvox/pages/index.html", "text/html; charset=utf-8", "no-cache"},
    {"/host", ":/lyrvox/pages/host.html", "text/html; charset=utf-8", "no-cache"},
    {"/assets/style.css", ":/lyrvox/pages/style.css", "text/css; charset=utf-8",
     "max-age=300, must-revalidate"},
    {"/assets/common.js", ":/lyrvox/pages/common.js", "text/javascript; charset=utf-8",
     "max-age=300, must-revalidate"},
    {"/assets/singers.js", ":/lyrvox/pages/singers.js", "text/javascript; charset=utf-8",
     "max-age=300, must-revalidate"},
    {"/assets/host.js", ":/lyrvox/pages/host.js", "text/javascript; charset=utf-8",
     "max-age=300, must-revalidate"},
};

PageFile load(const Entry& entry) {
    QFile file(QString::fromLatin1(entry.resource));
    PageFile page;
    if (file.open(QIODevice::ReadOnly)) page.body = file.readAll();
    page.contentType = entry.contentType;
    page.cacheControl = entry.cacheControl;
    page.etag = '"' +
                QCryptographicHash::hash(page.body, QCryptographicHash::Sha256).toHex().left(20) +
                '"';
    return page;
}

}  // namespace

std::optional<PageFile> PageFiles::find(const QByteArray& path) {
    // Read once from the resources: they never change while the program runs.
    static const QHash<QByteArray, PageFile> files = [] {
        QHash<QByteArray, PageFile> all;
        for (const Entry& entry : kFiles) all.insert(entry.path, load(entry));
        return all;
    }();
    const auto it = files.constFind(path);
    if (it == files.constEnd()) return std::nullopt;
    return *it;
}

QByteArray PageFiles::contentSecurityPolicy() {
    return "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
           "connect-src 'self' ws: wss:; base-uri 'none'; form-action 'self'; "
           "frame-ancestors 'none'; object-src 'none'";
}

std::optional<ApiReply> PageFiles::reply(const QHttpServerRequest& request) {
    const std::optional<PageFile> file =
        PageFiles::find(request.url().path(QUrl::FullyEncoded).toUtf8());
    if (!file) return std::nullopt;
    if (request.method() != QHttpServerRequest::Method::Get) {
        ApiReply reply = apiError(QHttpServerResponder::StatusCode::MethodNotAllowed,
                                  QStringLiteral("Method not allowed."));
        reply.headers.emplace_back("Allow", "GET");
        return reply;
    }
    ApiReply reply;
    reply.headers = {{"Cache-Control", file->cacheControl},
                     {"ETag", file->etag},
                     {"Content-Security-Policy", PageFiles::contentSecurityPolicy()},
                     {"X-Frame-Options", "DENY"}};
    reply.contentType = file->contentType;
    // If-None-Match may list several tags; the phone's copy is current when ours is among them.
    const QByteArray known = apiHeader(request, "If-None-Match");
    if (!known.isEmpty() && (known.trimmed() == "*" || known.contains(file->etag))) {
        reply.status = QHttpServerResponder::StatusCode::NotModified;
        reply.raw = QByteArray();
        reply.contentType.clear();
        return reply;
    }
    reply.raw = file->body;
    return reply;
}

}  // namespace lyrvox
