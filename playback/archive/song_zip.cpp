#include "playback/archive/song_zip.h"

#include <zip.h>

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr std::array<const char*, 7> kAudioKinds{"MP3", "WAV", "OGG", "OPUS", "FLAC", "M4A", "AAC"};

struct Entry {
    zip_uint64_t index = 0;
    std::string name;  // as stored
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

// Copies one entry to `path`, counting what is inflated against both limits.
// Returns the message for the user, or "".
std::string unpackEntry(zip_t* zip, const Entry& entry, const std::string& path,
                        std::uint64_t entryLimit, std::uint64_t& totalLeft,
                        const std::string& zipName) {
    const std::string tooLarge = "This zip is too large for a song: " + zipName;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, entry.index, 0, &stat) != 0) return "This zip is damaged: " + zipName;
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return "This zip is encrypted: " + zipName;
    if ((stat.valid & ZIP_STAT_SIZE) && (stat.size > entryLimit || stat.size > totalLeft))
        return tooLarge;
    zip_file_t* in = zip_fopen_index(zip, entry.index, 0);
    if (!in) {
        const int code = zip_error_code_zip(zip_get_error(zip));
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
            return "This zip is encrypted: " + zipName;
        return "This zip cannot be read: " + zipName + " (" +
               zip_error_strerror(zip_get_error(zip)) + ")";
    }
    std::FILE* out = std::fopen(path.c_str(), "wbx");
    if (!out) {
        zip_fclose(in);
        return "Cannot unpack " + zipName + ": " + fileNameOf(path);
    }
    std::string message;
    std::vector<char> buffer(1 << 16);
    std::uint64_t written = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(in, buffer.data(), buffer.size());
        if (n < 0) {
            message = "This zip is damaged: " + zipName + " (" +
                      zip_error_strerror(zip_file_get_error(in)) + ")";
            break;
        }
        if (n == 0) break;
        written += static_cast<std::uint64_t>(n);
        // The sizes in the archive may lie: what counts is what comes out.
        if (written > entryLimit || written > totalLeft) {
            message = tooLarge;
            break;
        }
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out) !=
            static_cast<std::size_t>(n)) {
            message = "Cannot unpack " + zipName + ": " + fileNameOf(path);
            break;
        }
    }
    zip_fclose(in);
    if (std::fclose(out) != 0 && message.empty())
        message = "Cannot unpack " + zipName + ": " + fileNameOf(path);
    if (message.empty()) totalLeft -= written;
    return message;
}

}  // namespace

bool isZipName(const std::string& path) {
    return equalsIgnoreAsciiCase(extensionOf(path), "zip");
}

UnpackedSong unpackSongZip(const std::string& zipPath, ScratchSpace& scratch,
                           const ZipLimits& limits) {
    UnpackedSong song;
    const std::string zipName = fileNameOf(zipPath);
    int openError = 0;
    Archive archive(zip_open(zipPath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError));
    if (!archive.get()) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        song.error = "Cannot open the zip: " + zipName + " (" + zip_error_strerror(&error) + ")";
        zip_error_fini(&error);
        return song;
    }

    std::vector<Entry> graphics, audio;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!raw) continue;
        Entry entry{static_cast<zip_uint64_t>(i), raw, {}, -1};
        if (entry.name.ends_with('/')) continue;  // a folder
        if (!isSafeName(entry.name)) {
            song.error = "This zip holds an unsafe name: " + zipName;
            return song;
        }
        const std::string last = fileNameOf(entry.name);
        entry.base = toLowerAscii(stripExtension(last));
        const std::string extension = extensionOf(last);
        if (equalsIgnoreAsciiCase(extension, "cdg")) {
            graphics.push_back(entry);
        } else if (const int rank = audioPartnerRank(extension); rank >= 0) {
            entry.audioRank = rank;
            audio.push_back(entry);
        }
    }

    // The first graphics entry with a partner of its name; else the only pair; else
    // whichever is there.
    const Entry* chosenGraphics = graphics.empty() ? nullptr : &graphics.front();
    const Entry* chosenAudio = audio.size() == 1 && graphics.size() <= 1 ? &audio.front() : nullptr;
    for (const Entry& g : graphics) {
        const Entry* best = nullptr;
        for (const Entry& a : audio)
            if (a.base == g.base && (!best || a.audioRank < best->audioRank)) best = &a;
        if (best) {
            chosenGraphics = &g;
            chosenAudio = best;
            break;
        }
    }
    if (!chosenAudio && graphics.empty() && !audio.empty()) chosenAudio = &audio.front();
    if (!chosenGraphics && !chosenAudio) {
        song.error = "No song found in " + zipName;
        return song;
    }

    std::string scratchError;
    song.folder = scratch.make(scratchError);
    if (!song.folder) {
        song.error = "Cannot unpack " + zipName + ": no private folder at " + scratchError;
        return song;
    }
    std::uint64_t totalLeft = limits.totalBytes;
    for (const Entry* entry : {chosenGraphics, chosenAudio}) {
        if (!entry) continue;
        const std::string path = song.folder->path() + "/" + fileNameOf(entry->name);
        const bool isGraphics = entry == chosenGraphics;
        song.error =
            unpackEntry(archive.get(), *entry, path,
                        isGraphics ? limits.graphicsBytes : limits.totalBytes, totalLeft, zipName);
        if (!song.error.empty()) {
            song.folder.reset();
            song.graphics.clear();
            song.audio.clear();
            return song;
        }
        (isGraphics ? song.graphics : song.audio) = path;
    }
    if (chosenAudio) song.audioShown = audioPartnerKind(chosenAudio->audioRank);
    return song;
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
