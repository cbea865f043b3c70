#pragma once
// The pages the server hands the phones: the singers' page at "/", the host's at
// "/host", and their styles and scripts under "/assets/" (common.js, shared by
// both, loads before each page's own). They are compiled into the program
// (pages/*.qrc); a fixed table names them, so no path from the network is ever
// looked up anywhere else.
#include <QByteArray>
#include <optional>

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
};

}  // namespace lyrvox
