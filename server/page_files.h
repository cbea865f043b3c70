#pragma once
// The pages the server hands the phones: the singers' page at "/", the host's at
// "/host", and their styles and scripts under "/assets/" (common.js, shared by
// both, loads before each page's own). They are compiled into the program
// (pages/*.qrc); a fixed table names them, so no path from the network is ever
// looked up anywhere else.
#include <QByteArray>
#include <optional>

#include "server/api_reply.h"

class QHttpServerRequest;

namespace lyrvox {

struct PageFile {
    QByteArray body;
    QByteArray contentType;   // with its charset
    QByteArray etag;          // quoted, from the content
    QByteArray cacheControl;  // pages revalidated every time, assets kept a while
};

class PageFiles {
  public:
    // The file served at `path` (the URL's path, still percent-encoded), or
    // nothing when there is none.
    static std::optional<PageFile> find(const QByteArray& path);
    // The headers every page carries: where it may load from, no sniffing, no
    // referrer.
    static QByteArray contentSecurityPolicy();
    // The answer to a request for one of the pages, with its caching and policy
    // headers (304 when the phone's copy is current, 405 for a method but GET);
    // nothing when the path names no page.
    static std::optional<ApiReply> reply(const QHttpServerRequest& request);
};

}  // namespace lyrvox
