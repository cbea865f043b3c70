#include "video/video_exporter.h"

#include <gst/gst.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "playback/archive/song_zip.h"
#include "playback/cdg/cdg_machine.h"
#include "playback/disk_files.h"
#include "playback/song_files.h"
#include "util/replacing_file.h"
#include "video/background_frames.h"
#include "video/export_pipeline.h"
#include "video/frame_blocks.h"
#include "video/frame_painter.h"
#include "video/frame_time.h"

namespace lyrvox {
namespace {

constexpr int64_t kSecondNs = 1'000'000'000;
// Graphics are read whole: 64 MiB is two and a half hours of CD+G.
constexpr std::streamoff kMaxGraphicsBytes = std::streamoff{64} << 20;

bool readGraphics(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxGraphicsBytes) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)));
}

VideoExportResult failed(std::string message) {
    VideoExportResult result;
    result.outcome = VideoExportResult::Outcome::Failed;
    result.message = std::move(message);
    return result;
}

VideoExportResult cancelled() {
    VideoExportResult result;
    result.outcome = VideoExportResult::Outcome::Cancelled;
    result.message = "cancelled";
    return result;
}

// The song's graphics and its sound (empty: graphics alone); a zip's stay unpacked
// while this lives.
struct SongSource {
    DiskSessionFiles files;
    UnpackedSong unpacked;
    std::string graphics;
    std::string audio;

    explicit SongSource(const std::string& scratchRoot)
        : files(scratchRoot.empty() ? ScratchSpace::defaultRoot() : scratchRoot) {}

    // Empty, or why the song cannot be exported.
    std::string find(const std::string& song) {
        if (isZipName(song)) {
            unpacked = files.unpackZip(song);
            if (!unpacked.error.empty()) return unpacked.error;
            graphics = unpacked.graphics;
            audio = unpacked.audio;
        } else {
            if (!files.find(song)) return "cannot be read";
            const SongFiles found = findSongFiles(song, files);
            graphics = found.graphics;
            if (found.audioPaces) audio = found.audio;
        }
        return graphics.empty() ? "has no CD+G graphics" : "";
    }
};

}  // namespace

std::string VideoExporter::checkOptions(const VideoExportOptions& options) {
    if (options.width < 16 || options.width > 7680 || options.height < 16 ||
        options.height > 4320 || options.width % 2 != 0 || options.height % 2 != 0)
        return "the size must be even numbers from 16x16 to 7680x4320";
    if (options.fps != 25 && options.fps != 30 && options.fps != 50 && options.fps != 60)
        return "the frame rate must be 25, 30, 50 or 60";
    if (options.semitones < -12 || options.semitones > 12)
        return "the key must be from -12 to 12 semitones";
    if (options.tempoPercent < 50 || options.tempoPercent > 200)
        return "the tempo must be from 50 to 200 percent";
    if (options.offsetMs < -5000 || options.offsetMs > 5000)
        return "the offset must be from -5000 to 5000 ms";
    if (options.slideSeconds < 1 || options.slideSeconds > 3600)
        return "the slide time must be from 1 to 3600 seconds";
    if (!options.background.empty() && options.background[0] == '#' &&
        !BackgroundFrames::isColour(options.background))
        return "bad colour '" + options.background + "': expected #rrggbb";
    return {};
}

std::string VideoExporter::missingElements(const VideoExportOptions& options) {
    return missingExportElements(options);
}

std::string VideoExporter::checkBackground(const VideoExportOptions& options) {
    if (options.background.empty()) return {};
    ensureGstreamer();
    return BackgroundFrames::check(options.background);
}

VideoExportResult VideoExporter::run(const VideoExportOptions& options,
                                     const std::atomic<bool>& cancel, const Progress& progress) {
    if (std::string problem = checkOptions(options); !problem.empty()) return failed(problem);
    if (std::string missing = missingElements(options); !missing.empty()) return failed(missing);

    SongSource song(options.scratchRoot);
    if (std::string problem = song.find(options.song); !problem.empty()) return failed(problem);
    std::vector<uint8_t> packets;
    if (!readGraphics(song.graphics, packets)) return failed("its graphics cannot be read");
    const auto packetCount = static_cast<int64_t>(packets.size() / kPacketSize);
    const std::string& audio = song.audio;

    // What lies behind the picture, at the picture's size.
    FramePainter painter(options.width, options.height, options.stretch, options.fullChroma);
    BackgroundFrames background;
    if (!options.background.empty()) {
        const FitRect& rect = painter.pictureRect();
        if (std::string why =
                background.open(options.background, rect.width, rect.height, options.slideSeconds);
            !why.empty())
            return failed("cannot read the background: " + why);
    }

    // The video lasts as long as the sound (the graphics follow it), or, for
    // graphics alone, until the last packet has been shown. The sound's length is
    // known exactly only once it has been decoded: the estimate from its start
    // serves the progress until then.
    int64_t songNs = packetCount * kSecondNs / kPacketsPerSecond +
                     std::max(options.offsetMs, 0) * int64_t{1'000'000};
    if (!audio.empty()) {
        std::string audioError;
        const int64_t audioNs = audioDurationNs(audio, cancel, audioError);
        if (cancel) return cancelled();
        if (!audioError.empty()) return failed("its audio cannot be decoded: " + audioError);
        if (audioNs > 0) songNs = audioNs;
    }
    const int64_t frames = std::max<int64_t>(
        1, framesCovering(outputNsForSong(songNs, options.tempoPercent), options.fps));

    ReplacingFile output(options.output);
    if (const std::error_code error = output.open())
        return failed("cannot write the video: " + error.message());

    FrameBlocks blocks(options.width, options.height, options.fullChroma);  // outlives the pipeline
    ExportPipeline pipeline;
    if (std::string problem = pipeline.start(options, audio, output.temporaryPath(), blocks.size());
        !problem.empty())
        return failed(problem);

    auto machine = std::make_unique<CdgMachine>();  // ~200 KB: keep it off the stack
    machine->beginSession();
    GstBuffer* picture = nullptr;  // the latest frame's pixels, shared by repeats
    int64_t interpreted = 0;
    int64_t written = 0;
    auto pushFrames = [&]() -> VideoExportResult {
        const GstClockTime halfFrame = gst_util_uint64_scale(1, GST_SECOND, 2 * options.fps);
        for (int64_t k = 0;; ++k) {
            if (cancel) return cancelled();
            const GstClockTime start = gst_util_uint64_scale(k, GST_SECOND, options.fps);
            if (!audio.empty()) {
                // A frame only where the sound reaches: until the sound has gone
                // past this frame's start (or ended), the frame waits. The muxer
                // takes the earlier stream first, so the sound does come on.
                while (!pipeline.audioEnded() &&
                       static_cast<int64_t>(start + halfFrame) >= pipeline.audioEndNs()) {
                    if (cancel) return cancelled();
                    if (std::string e = pipeline.error(2 * GST_MSECOND); !e.empty())
                        return failed("encoding failed: " + e);
                }
            }
            const int64_t audioEnd = pipeline.audioEndNs();
            if (audio.empty() || audioEnd == 0) {
                if (k >= frames) break;  // graphics alone, or a sound with no samples
            } else if (static_cast<int64_t>(start + halfFrame) >= audioEnd) {
                break;  // the picture ends at the frame edge nearest the sound's end
            }
            written = k + 1;
            const int64_t target =
                std::min(framePacketCount(k, options.fps, options.tempoPercent, options.offsetMs),
                         packetCount);
            if (target > interpreted) {
                interpretPackets(*machine, packets.data() + interpreted * kPacketSize,
                                 static_cast<std::size_t>(target - interpreted) * kPacketSize);
                interpreted = target;
            }
            FrameBackdrop behind;
            behind.pixels = background.at(static_cast<int64_t>(start));
            behind.serial = background.serial();
            behind.clearTransparent = options.transparentBackground;
            if (painter.paint(*machine, behind) || picture == nullptr) {
                if (picture != nullptr) gst_buffer_unref(picture);
                picture = blocks.buffer(painter);
            }
            GstBuffer* frame = gst_buffer_copy(picture);  // shares the pixels
            GST_BUFFER_PTS(frame) = start;
            GST_BUFFER_DURATION(frame) =
                gst_util_uint64_scale(k + 1, GST_SECOND, options.fps) - start;
            if (!pipeline.push(frame)) return failed("the encoder stopped");
            // Paints no further ahead of the encoder than a few frames.
            for (;;) {
                if (std::string e = pipeline.error(0); !e.empty())
                    return failed("encoding failed: " + e);
                if (cancel) return cancelled();
                if (pipeline.hasRoom()) break;
                if (std::string e = pipeline.error(2 * GST_MSECOND); !e.empty())
                    return failed("encoding failed: " + e);
            }
            if (progress)
                progress(std::min(0.99, static_cast<double>(k + 1) / static_cast<double>(frames)));
        }
        pipeline.endFrames();
        for (std::string failure;;) {
            if (cancel) return cancelled();
            if (!pipeline.finished(50 * GST_MSECOND, failure)) continue;
            if (!failure.empty()) return failed("encoding failed: " + failure);
            VideoExportResult done;
            done.outcome = VideoExportResult::Outcome::Written;
            return done;
        }
    };
    VideoExportResult result = pushFrames();
    if (picture != nullptr) gst_buffer_unref(picture);
    // The file is complete only once the muxer and the sink have closed it.
    pipeline.stop();
    if (result.outcome != VideoExportResult::Outcome::Written) return result;
    if (const std::error_code error = output.commit(true))
        return failed("cannot write the video: " + error.message());
    result.withAudio = !audio.empty();
    result.frames = written;
    result.seconds = static_cast<double>(written) / options.fps;
    if (progress) progress(1.0);
    return result;
}

}  // namespace lyrvox
