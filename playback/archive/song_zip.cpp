#include "playback/archive/song_zip.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "playback/archive/graphics_check.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr std::array<const char*, 7> kAudioKinds{"MP3", "WAV", "OGG", "OPUS", "FLAC", "M4A", "AAC"};
constexpr std::uint64_t kGraphicsBytesPerSecond = 24 * 300;  // 24-byte packets, 300 a second

struct Entry {
    zip_uint64_t index = 0;
    std::string name;  // as stored: any bytes, in whatever encoding the writer used
    std::string base;  // last component without extension, lower case
    int audioRank = -1;
};

// No absolute names, no drive letters, no ".." component, no empty last component.
bool isSafeName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
    if (name.size() > 1 && name[1] == ':') return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find_first_of("/\\", start);
        const std::string part = name.substr(start, end - start);
        if (part == "..") return false;
        if (end == std::string::npos) return !part.empty() && part != ".";
        start = end + 1;
    }
}

// The name of a compression method libzip cannot inflate, for the message.
std::string methodName(zip_int32_t method) {
    switch (method) {
        case ZIP_CM_DEFLATE64:
            return "Deflate64";
        case ZIP_CM_BZIP2:
            return "bzip2";
        case ZIP_CM_LZMA:
            return "LZMA";
        case ZIP_CM_XZ:
            return "XZ";
        case 93:
            return "Zstandard";
        case 98:
            return "PPMd";
        default:
            return "method " + std::to_string(method);
    }
}

class Archive {
  public:
    explicit Archive(zip_t* zip) : zip_(zip) {}
    ~Archive() {
        if (zip_) zip_discard(zip_);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
    zip_t* get() const { return zip_; }

  private:
    zip_t* zip_;
};

// Reads one zipped song: chooses its pair, checks what the archive says of it, then
// inflates graphics and audio, each counted against its limit as it comes out, into
// files of a scratch folder or, for a check, nowhere.
class SongZipReader {
  public:
    SongZipReader(const std::string& zipPath, const ZipLimits& limits)
        : path_(zipPath), zipName_(elidedName(fileNameOf(zipPath))), limits_(limits) {}

    // The graphics (or audio alone) and audio to unpack; the message for the user, or "".
    std::string choose() {
        int openError = 0;
        archive_ = std::make_unique<Archive>(
            zip_open(path_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError));
        if (!archive_->get()) {
            // libzip refuses a central directory that names one entry twice.
            if (openError == ZIP_ER_EXISTS)
                return "This zip holds two entries of one name: " + zipName_;
            zip_error_t error;
            zip_error_init_with_code(&error, openError);
            std::string message =
                "Cannot open the zip: " + zipName_ + " (" + zip_error_strerror(&error) + ")";
            zip_error_fini(&error);
            return message;
        }
        zip_t* zip = archive_->get();
        const zip_int64_t count = zip_get_num_entries(zip, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* raw = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
            if (!raw) continue;
            Entry entry{static_cast<zip_uint64_t>(i), raw, {}, -1};
            if (entry.name.ends_with('/')) continue;  // a folder
            if (!isSafeName(entry.name))
                return "This zip holds an unsafe name (" + elidedName(entry.name) +
                       "): " + zipName_;
            const std::string last = fileNameOf(entry.name);
            entry.base = toLowerAscii(stripExtension(last));
            const std::string extension = extensionOf(last);
            if (equalsIgnoreAsciiCase(extension, "cdg")) {
                graphics_.push_back(entry);
            } else if (const int rank = audioPartnerRank(extension); rank >= 0) {
                entry.audioRank = rank;
                audio_.push_back(entry);
            }
        }
        // The first graphics entry with a partner of its name; else the only pair; else
        // whichever is there.
        chosenGraphics_ = graphics_.empty() ? nullptr : &graphics_.front();
        chosenAudio_ = audio_.size() == 1 && graphics_.size() <= 1 ? &audio_.front() : nullptr;
        for (const Entry& g : graphics_) {
            const Entry* best = nullptr;
            for (const Entry& a : audio_)
                if (a.base == g.base && (!best || a.audioRank < best->audioRank)) best = &a;
            if (best) {
                chosenGraphics_ = &g;
                chosenAudio_ = best;
                break;
            }
        }
        if (!chosenAudio_ && graphics_.empty() && !audio_.empty()) chosenAudio_ = &audio_.front();
        if (!chosenGraphics_ && !chosenAudio_) return "No song found in " + zipName_;
        for (const Entry* entry : {chosenGraphics_, chosenAudio_})
            if (std::string message = checkEntry(entry); !message.empty()) return message;
        return {};
    }

    // The bytes the archive claims for the pair, each within its limit.
    std::uint64_t claimedBytes() const { return claimedGraphics_ + claimedAudio_; }

    // Inflates the pair; with a folder, into "song.cdg" and "song.<kind>" there.
    std::string inflate(const std::string& folder, const std::string& spaceShown) {
        spaceShown_ = spaceShown;
        if (chosenGraphics_) {
            if (!folder.empty()) graphicsPath_ = folder + "/song.cdg";
            std::string head;
            if (std::string message = copy(*chosenGraphics_, graphicsPath_, limits_.graphicsBytes,
                                           &head, graphicsBytes_);
                !message.empty())
                return message;
            if (!graphicsLookPlayable(head, graphicsBytes_))
                return "The graphics in this zip are empty or not CD+G: " + zipName_;
        }
        if (chosenAudio_) {
            if (!folder.empty()) audioPath_ = folder + "/song." + toLowerAscii(audioShown());
            std::uint64_t written = 0;
            if (std::string message =
                    copy(*chosenAudio_, audioPath_, audioLimit(graphicsBytes_), nullptr, written);
                !message.empty())
                return message;
        }
        return {};
    }

    const std::string& zipName() const { return zipName_; }
    bool hasGraphics() const { return chosenGraphics_ != nullptr; }
    std::uint64_t graphicsBytes() const { return graphicsBytes_; }
    std::string audioShown() const {
        return chosenAudio_ ? audioPartnerKind(chosenAudio_->audioRank) : "";
    }
    const std::string& graphicsPath() const { return graphicsPath_; }
    const std::string& audioPath() const { return audioPath_; }

  private:
    std::uint64_t audioLimit(std::uint64_t graphicsBytes) const {
        return limits_.audioBytes(chosenGraphics_ ? std::optional(graphicsBytes) : std::nullopt);
    }

    // What the archive says of a chosen entry: not encrypted, packed in a way libzip
    // can undo, and claiming no more than its limit.
    std::string checkEntry(const Entry* entry) {
        if (!entry) return {};
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_->get(), entry->index, 0, &stat) != 0)
            return "This zip is damaged: " + zipName_;
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return "This zip is encrypted: " + zipName_;
        if ((stat.valid & ZIP_STAT_COMP_METHOD) &&
            !zip_compression_method_supported(stat.comp_method, 0))
            return "This zip is packed in a way that cannot be read (" +
                   methodName(stat.comp_method) + "): " + zipName_;
        const std::uint64_t claimed = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
        const bool isGraphics = entry == chosenGraphics_;
        (isGraphics ? claimedGraphics_ : claimedAudio_) = claimed;
        const std::uint64_t limit =
            isGraphics ? limits_.graphicsBytes
                       : audioLimit(std::min(claimedGraphics_, limits_.graphicsBytes));
        return claimed > limit ? tooLarge() : std::string();
    }

    std::string tooLarge() const { return "This zip is too large for a song: " + zipName_; }

    std::string writeFailed(int error) const {
        if (error == ENOSPC || error == EDQUOT)
            return "Cannot unpack " + zipName_ + ": not enough space in " + spaceShown_;
        return "Cannot unpack " + zipName_ + " (" + std::strerror(error) + ")";
    }

    // Copies one entry to `path` (nowhere when empty), counting what is inflated
    // against `limit`; the first bytes go to `head` when given. The message, or "".
    std::string copy(const Entry& entry, const std::string& path, std::uint64_t limit,
                     std::string* head, std::uint64_t& written) {
        zip_t* zip = archive_->get();
        zip_file_t* in = zip_fopen_index(zip, entry.index, 0);
        if (!in) {
            const int code = zip_error_code_zip(zip_get_error(zip));
            if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
                return "This zip is encrypted: " + zipName_;
            return "This zip cannot be read: " + zipName_ + " (" +
                   zip_error_strerror(zip_get_error(zip)) + ")";
        }
        std::FILE* out = nullptr;
        if (!path.empty() && !(out = std::fopen(path.c_str(), "wbx"))) {
            const int error = errno;
            zip_fclose(in);
            return writeFailed(error);
        }
        std::string message;
        std::vector<char> buffer(1 << 16);
        written = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(in, buffer.data(), buffer.size());
            if (n < 0) {
                message = "This zip is damaged: " + zipName_ + " (" +
                          zip_error_strerror(zip_file_get_error(in)) + ")";
                break;
            }
            if (n == 0) break;
            const auto size = static_cast<std::size_t>(n);
            written += size;
            // The sizes in the archive may lie: what counts is what comes out.
            if (written > limit) {
                message = tooLarge();
                break;
            }
            if (head && head->size() < kGraphicsHeadBytes)
                head->append(buffer.data(), std::min(size, kGraphicsHeadBytes - head->size()));
            if (out && std::fwrite(buffer.data(), 1, size, out) != size) {
                message = writeFailed(errno);
                break;
            }
        }
        zip_fclose(in);
        if (out && std::fclose(out) != 0 && message.empty()) message = writeFailed(errno);
        return message;
    }

    std::string path_, zipName_, spaceShown_;
    const ZipLimits& limits_;
    std::unique_ptr<Archive> archive_;
    std::vector<Entry> graphics_, audio_;
    const Entry* chosenGraphics_ = nullptr;
    const Entry* chosenAudio_ = nullptr;
    std::uint64_t claimedGraphics_ = 0, claimedAudio_ = 0, graphicsBytes_ = 0;
    std::string graphicsPath_, audioPath_;
};

}  // namespace

std::uint64_t ZipLimits::audioBytes(std::optional<std::uint64_t> graphics) const {
    const std::uint64_t seconds =
        graphics ? *graphics / kGraphicsBytesPerSecond + audioMarginSeconds : audioAloneSeconds;
    return seconds * audioBytesPerSecond;
}

bool isZipName(const std::string& path) {
    return equalsIgnoreAsciiCase(extensionOf(path), "zip");
}

UnpackedSong unpackSongZip(const std::string& zipPath, ScratchSpace& scratch,
                           const ZipLimits& limits) {
    UnpackedSong song;
    SongZipReader reader(zipPath, limits);
    if ((song.error = reader.choose()).empty()) {
        const std::string& root = scratch.root();
        if (const auto free = scratch.freeBytes(); free && *free < reader.claimedBytes()) {
            song.error = "Cannot unpack " + reader.zipName() + ": not enough space in " + root;
            return song;
        }
        std::string scratchError;
        song.folder = scratch.make(scratchError);
        if (!song.folder) {
            song.error =
                "Cannot unpack " + reader.zipName() + ": no private folder at " + scratchError;
            return song;
        }
        song.error = reader.inflate(song.folder->path(), root);
    }
    if (!song.error.empty()) {
        song.folder.reset();
        return song;
    }
    song.graphics = reader.graphicsPath();
    song.audio = reader.audioPath();
    song.audioShown = reader.audioShown();
    return song;
}

ZipSongCheck checkSongZip(const std::string& zipPath, const ZipLimits& limits) {
    ZipSongCheck check;
    SongZipReader reader(zipPath, limits);
    check.error = reader.choose();
    if (check.error.empty()) check.error = reader.inflate({}, {});
    check.hasGraphics = reader.hasGraphics();
    check.graphicsBytes = reader.graphicsBytes();
    check.audioShown = reader.audioShown();
    return check;
}

std::string elidedName(const std::string& name) {
    constexpr std::size_t kMost = 48, kHead = 30, kTail = 15;
    if (name.size() <= kMost) return name;
    // Cut between characters of UTF-8 text: never before a continuation byte.
    const auto continues = [&](std::size_t i) {
        return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
    };
    std::size_t head = kHead, tail = name.size() - kTail;
    while (head > 0 && continues(head)) --head;
    while (tail < name.size() && continues(tail)) ++tail;
    return name.substr(0, head) + "\u2026" + name.substr(tail);
}

int audioPartnerRank(std::string_view extension) {
    for (std::size_t i = 0; i < kAudioKinds.size(); ++i)
        if (equalsIgnoreAsciiCase(extension, kAudioKinds[i])) return static_cast<int>(i);
    return -1;
}

const char* audioPartnerKind(int rank) {
    return kAudioKinds.at(static_cast<std::size_t>(rank));
}

}  // namespace lyrvox
