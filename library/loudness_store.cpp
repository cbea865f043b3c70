#include "library/loudness_store.h"

#include <sys/stat.h>

#include <cmath>

#include "library/library_index.h"
#include "library/sql_statement.h"

namespace lyrvox {

std::optional<FileVersion> fileVersion(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileVersion{
        static_cast<std::int64_t>(info.st_size),
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::optional<StoredLoudness> LoudnessStore::find(const std::string& path,
                                                  const FileVersion& version) {
    if (!index_.isOpen()) return std::nullopt;
    Statement query(index_.connection(),
                    "SELECT integrated_lufs, true_peak_dbtp, failed FROM loudness "
                    "WHERE path = ? AND size = ? AND mtime_ns = ?");
    query.bindBlob(1, path).bind(2, version.size).bind(3, version.mtimeNs);
    if (query.step() != SQLITE_ROW) return std::nullopt;
    StoredLoudness found;
    if (!query.isNull(0)) found.integratedLufs = query.real(0);
    if (!query.isNull(1)) found.truePeakDbtp = query.real(1);
    found.failed = query.integer(2) != 0;
    return found;
}

bool LoudnessStore::save(const std::string& path, const FileVersion& version,
                         const StoredLoudness& loudness) {
    if (!index_.isOpen()) return false;
    Statement write(index_.connection(),
                    "INSERT OR REPLACE INTO loudness"
                    "(path, size, mtime_ns, integrated_lufs, true_peak_dbtp, failed) "
                    "VALUES (?, ?, ?, ?, ?, ?)");
    write.bindBlob(1, path).bind(2, version.size).bind(3, version.mtimeNs);
    // SQLite keeps no infinities: a silent file's peak is stored as none.
    const auto real = [&](int at, const std::optional<double>& value) {
        if (value && std::isfinite(*value))
            write.bindReal(at, *value);
        else
            write.bindNull(at);
    };
    real(4, loudness.integratedLufs);
    real(5, loudness.truePeakDbtp);
    write.bind(6, loudness.failed ? 1 : 0);
    return write.run();
}

}  // namespace lyrvox
