// The video export end to end: a short song made at test time (the first seconds
// of a real song's graphics and a generated tone) exported and read back through
// GStreamer: streams, durations, and a frame's pixels against the exact picture.
// Cancelled and failed exports leave nothing; the command refuses bad input.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "display/picture_copy.h"
#include "display/picture_fit.h"
#include "playback/cdg/cdg_machine.h"
#include "support/test_files.h"
#include "support/tone_wav.h"
#include "tools/cli/cli_commands.h"
#include "video/frame_time.h"
#include "video/video_exporter.h"

namespace lyrvox {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

constexpr double kSongSeconds = 3.0;
const std::string kCorpusSong = std::string(LYRVOX_CORPUS_DIR) + "/demokar.cdg";

// The first seconds of demokar.cdg (title bitmap and its colours) and a tone.
void makeSong(const TempFolder& folder, const std::string& stem, bool withAudio = true) {
    const std::string cdg = readFile(kCorpusSong);
    ASSERT_GT(cdg.size(), 24u * 900u) << "the corpus song is missing";
    writeFile(folder.path(stem + ".cdg"), cdg.substr(0, 24 * 300 * 3));
    if (withAudio)
        writeFile(folder.path(stem + ".wav"), testing::sineWav(-12.0, 440.0, kSongSeconds));
}

// What a player sees in a video file.
struct ReadBack {
    std::string error;
    int videoFrames = 0;
    int width = 0, height = 0;
    double videoEnd = 0.0;          // seconds: last frame's end
    double audioEnd = 0.0;          // seconds: last sample's end; 0 without audio
    std::vector<uint8_t> frameRgb;  // the frame asked for, RGB24
};

struct Branch {
    GstElement* sink;
    const char* kind;
};

void linkDecoded(GstElement* decoder, GstPad* pad, gpointer data) {
    auto* branches = static_cast<std::vector<Branch>*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    const std::string name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    gst_caps_unref(caps);
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(decoder));
    for (const Branch& b : *branches) {
        if (name.rfind(b.kind, 0) != 0) continue;
        GstElement* convert = gst_element_factory_make(
            std::string(b.kind) == "video" ? "videoconvert" : "audioconvert", nullptr);
        gst_bin_add(GST_BIN(pipeline), convert);
        gst_element_sync_state_with_parent(convert);
        GstPad* input = gst_element_get_static_pad(convert, "sink");
        gst_pad_link(pad, input);
        gst_object_unref(input);
        gst_element_link(convert, b.sink);
    }
    gst_object_unref(pipeline);
}

ReadBack readBack(const std::string& path, int wantedFrame) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    ReadBack got;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    GstElement* video = gst_element_factory_make("appsink", nullptr);
    GstElement* audio = gst_element_factory_make("appsink", nullptr);
    g_object_set(source, "location", path.c_str(), nullptr);
    GstCaps* rgb = gst_caps_from_string("video/x-raw,format=RGB");
    // No preroll: a file without sound never feeds the audio sink.
    g_object_set(video, "caps", rgb, "sync", FALSE, "async", FALSE, nullptr);
    gst_caps_unref(rgb);
    g_object_set(audio, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, decoder, video, audio, nullptr);
    gst_element_link(source, decoder);
    std::vector<Branch> branches{{video, "video"}, {audio, "audio"}};
    g_signal_connect(decoder, "pad-added", G_CALLBACK(linkDecoded), &branches);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    // Both sinks are drained in turn until both have ended.
    bool videoDone = false, audioDone = false;
    bool sawAudio = false;
    for (int idle = 0; !(videoDone && audioDone) && idle < 200;) {
        bool any = false;
        for (auto [sink, done] : {std::pair{video, &videoDone}, std::pair{audio, &audioDone}}) {
            if (*done) continue;
            GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_MSECOND);
            if (sample == nullptr) {
                if (gst_app_sink_is_eos(GST_APP_SINK(sink))) *done = true;
                continue;
            }
            any = true;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            // On the running time, as a player schedules it: an MP4's edit list moves
            // the B-frames' presentation times by the segment's start.
            const double end = static_cast<double>(gst_segment_to_running_time(
                                   gst_sample_get_segment(sample), GST_FORMAT_TIME,
                                   GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer))) /
                               1e9;
            if (sink == video) {
                if (got.videoFrames == wantedFrame) {
                    const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
                    gst_structure_get_int(s, "width", &got.width);
                    gst_structure_get_int(s, "height", &got.height);
                    GstMapInfo map;
                    gst_buffer_map(buffer, &map, GST_MAP_READ);
                    // Rows of RGB are padded to 4 bytes; the sizes used here need none.
                    got.frameRgb.assign(map.data, map.data + map.size);
                    gst_buffer_unmap(buffer, &map);
                }
                ++got.videoFrames;
                got.videoEnd = std::max(got.videoEnd, end);
            } else {
                sawAudio = true;
                got.audioEnd = std::max(got.audioEnd, end);
            }
            gst_sample_unref(sample);
        }
        GstMessage* error = gst_bus_pop_filtered(GST_ELEMENT_BUS(pipeline), GST_MESSAGE_ERROR);
        if (error != nullptr) {
            GError* e = nullptr;
            gst_message_parse_error(error, &e, nullptr);
            // An unlinked stream (no audio in the file) is no failure of the file.
            got.error = e->message;
            g_clear_error(&e);
            gst_message_unref(error);
            break;
        }
        idle = any ? 0 : idle + 1;
        if (!sawAudio && videoDone && idle > 20) audioDone = true;  // a file without sound
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return got;
}

// The exact picture of frame k, as RGB24 in a width x height frame with black bars.
std::vector<uint8_t> exactFrame(const std::string& cdg, int64_t packets, int width, int height) {
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    interpretPackets(*machine, reinterpret_cast<const uint8_t*>(cdg.data()),
                     std::min<std::size_t>(cdg.size(), packets * kPacketSize));
    std::vector<uint32_t> argb(static_cast<std::size_t>(width) * height, 0xFF000000u);
    const FitRect r = fitPicture(kViewWidth, kViewHeight, width, height, Scaling::KeepAspect);
    stretchVisibleWindow(*machine, r.width, r.height,
                         argb.data() + static_cast<std::size_t>(r.y) * width + r.x, width);
    std::vector<uint8_t> rgb;
    for (uint32_t p : argb) {
        rgb.push_back(static_cast<uint8_t>(p >> 16));
        rgb.push_back(static_cast<uint8_t>(p >> 8));
        rgb.push_back(static_cast<uint8_t>(p));
    }
    return rgb;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.size());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct ExportCase {
    const char* name;
    VideoContainer container;
    int fps;
    int tempo;
    int offsetMs;
    bool fullChroma;
    double minPsnr;  // RGB against the exact picture; 4:2:0 blurs the colour edges
};

class VideoExportTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(VideoExportTest, WritesAVideoThatPlaysTheExactPictureInStep) {
    const ExportCase& c = GetParam();
    TempFolder folder;
    makeSong(folder, "song");
    VideoExportOptions options;
    options.song = folder.path("song.cdg");
    options.output = folder.path(c.container == VideoContainer::Mp4 ? "out.mp4" : "out.mkv");
    options.container = c.container;
    options.width = 1280;
    options.height = 720;
    options.fps = c.fps;
    options.tempoPercent = c.tempo;
    options.offsetMs = c.offsetMs;
    options.fullChroma = c.fullChroma;
    std::vector<double> progress;
    const std::atomic<bool> cancel{false};
    const VideoExportResult result =
        VideoExporter().run(options, cancel, [&](double done) { progress.push_back(done); });
    ASSERT_EQ(result.outcome, VideoExportResult::Outcome::Written) << result.message;
    EXPECT_TRUE(result.withAudio);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);

    // Only the video is left in the folder: no temporary file.
    std::string names;
    for (const auto& [name, bytes] : testing::filesIn(folder.path())) names += name + " ";
    EXPECT_EQ(names, options.output.substr(folder.path().size() + 1) + " song.cdg song.wav ");
    const std::string head = readFile(options.output).substr(0, 12);
    if (c.container == VideoContainer::Mp4) {
        EXPECT_EQ(head.substr(4, 4), "ftyp");
    } else {
        EXPECT_EQ(head.substr(0, 4), "\x1A\x45\xDF\xA3");  // EBML
    }

    // Two seconds into the video, a moment whose picture differs from a frame before.
    const int frame = 2 * c.fps;
    const ReadBack got = readBack(options.output, frame);
    ASSERT_TRUE(got.error.empty()) << got.error;
    const double expectedSeconds = kSongSeconds * 100.0 / c.tempo;
    // The sound comes in whole AAC frames (1024 samples): the picture follows its end.
    EXPECT_NEAR(got.videoEnd, expectedSeconds, 1.0 / c.fps + 0.05);
    EXPECT_EQ(got.videoFrames, result.frames);
    EXPECT_NEAR(got.audioEnd, got.videoEnd, 0.020) << "sound and picture end together";
    ASSERT_EQ(got.width, 1280);
    ASSERT_EQ(got.height, 720);
    const std::string cdg = readFile(options.song);
    const int64_t packets = framePacketCount(frame, c.fps, c.tempo, c.offsetMs);
    const double match = psnr(got.frameRgb, exactFrame(cdg, packets, 1280, 720));
    EXPECT_GE(match, c.minPsnr);
    // The picture from half a second away is told apart: the frame is the right one.
    const double other =
        psnr(got.frameRgb, exactFrame(cdg, std::max<int64_t>(0, packets - 150), 1280, 720));
    EXPECT_LT(other, match - 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    Exports, VideoExportTest,
    ::testing::Values(ExportCase{"mp4_30fps", VideoContainer::Mp4, 30, 100, 0, false, 28.0},
                      ExportCase{"mp4_full_chroma", VideoContainer::Mp4, 25, 100, 0, true, 40.0},
                      ExportCase{"mkv_60fps_offset", VideoContainer::Matroska, 60, 100, 200, true,
                                 40.0},
                      ExportCase{"mp4_tempo_80", VideoContainer::Mp4, 30, 80, 0, true, 40.0}),
    [](const auto& param) { return std::string(param.param.name); });

struct LeftoverCase {
    const char* name;
    const char* song;    // in the folder; "" = none made
    const char* output;  // in the folder
    bool cancelMidway;
    bool badAudio;
    VideoExportResult::Outcome outcome;
    const char* message;  // part of it
};

class VideoExportLeftoverTest : public ::testing::TestWithParam<LeftoverCase> {};

TEST_P(VideoExportLeftoverTest, AnUnfinishedExportLeavesNothing) {
    const LeftoverCase& c = GetParam();
    TempFolder folder;
    makeSong(folder, "song");
    if (c.badAudio) writeFile(folder.path("song.wav"), testing::randomBytes(50000));
    // An earlier video of that name stays as it was.
    writeFile(folder.path("old.mp4"), std::string("earlier video"));
    const auto before = testing::filesIn(folder.path());
    VideoExportOptions options;
    options.song = folder.path(c.song);
    options.output = folder.path(c.output);
    options.width = 320;
    options.height = 240;
    std::atomic<bool> cancel{false};
    const VideoExportResult result = VideoExporter().run(options, cancel, [&](double done) {
        if (c.cancelMidway && done > 0.3) cancel = true;
    });
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
    EXPECT_EQ(testing::filesIn(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, VideoExportLeftoverTest,
    ::testing::Values(LeftoverCase{"cancelled", "song.cdg", "old.mp4", true, false,
                                   VideoExportResult::Outcome::Cancelled, "cancelled"},
                      LeftoverCase{"missing_song", "nothing.cdg", "new.mp4", false, false,
                                   VideoExportResult::Outcome::Failed, "cannot be read"},
                      LeftoverCase{"undecodable_audio", "song.cdg", "old.mp4", false, true,
                                   VideoExportResult::Outcome::Failed, "audio cannot be decoded"},
                      LeftoverCase{"no_such_folder", "song.cdg", "absent/new.mp4", false, false,
                                   VideoExportResult::Outcome::Failed, "cannot write the video"}),
    [](const auto& param) { return std::string(param.param.name); });

// The command line: bad input refused before anything is written.
struct CommandCase {
    const char* name;
    const char* args;  // words; "@" stands for the test folder
    int status;
    const char* message;
};

class VideoCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(VideoCommandTest, RefusesBadInputClearly) {
    const CommandCase& c = GetParam();
    TempFolder folder;
    makeSong(folder, "song");
    makeSong(folder, "other");
    std::filesystem::create_directory(folder.path("sub"));
    makeSong(folder, "sub/song");
    const auto before = testing::filesIn(folder.path());
    std::vector<std::string> args;
    std::istringstream words(c.args);
    for (std::string a; words >> a;) args.push_back(a[0] == '@' ? folder.path() + a.substr(1) : a);
    std::ostringstream out, err;
    EXPECT_EQ(runVideo(args, out, err), c.status) << err.str();
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_EQ(testing::filesIn(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, VideoCommandTest,
    ::testing::Values(
        CommandCase{"missing_song", "@/absent.cdg -o @/a.mp4", 1, "absent.cdg: cannot be read"},
        CommandCase{"no_output", "@/song.cdg", 2, "no OUT given"},
        CommandCase{"unknown_format", "@/song.cdg -o @/a.avi --format avi", 2,
                    "unknown format 'avi': use mp4 or mkv"},
        CommandCase{"odd_size", "@/song.cdg -o @/a.mp4 --size 641x360", 2,
                    "the size must be even numbers"},
        CommandCase{"bad_size", "@/song.cdg -o @/a.mp4 --size big", 2,
                    "bad size 'big': expected WIDTHxHEIGHT"},
        CommandCase{"bad_fps", "@/song.cdg -o @/a.mp4 --fps 24", 2,
                    "the frame rate must be 25, 30, 50 or 60"},
        CommandCase{"fps_not_a_number", "@/song.cdg -o @/a.mp4 --fps fast", 2, "bad --fps 'fast'"},
        CommandCase{"tempo_out_of_range", "@/song.cdg -o @/a.mp4 --tempo 20", 2,
                    "the tempo must be from 50 to 200"},
        CommandCase{"zero_jobs", "@/song.cdg -o @/a.mp4 --jobs 0", 2,
                    "--jobs must be from 1 to 64"},
        CommandCase{"several_songs_into_a_file", "@/song.cdg @/other.cdg -o @/song.wav", 2,
                    "OUT must be a folder"},
        CommandCase{"same_names", "@/song.cdg @/sub/song.cdg -o @", 2, "would both be written to"},
        CommandCase{"over_the_song", "@/song.cdg -o @/song.cdg", 2, "would overwrite the song"},
        CommandCase{"unknown_option", "@/song.cdg -o @/a.mp4 --colour", 2,
                    "unknown option '--colour'"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(VideoCommand, ExportsABatchIntoAFolderNamedAfterTheSongs) {
    TempFolder folder;
    makeSong(folder, "one");
    makeSong(folder, "two", false);
    std::ostringstream out, err;
    const int status =
        runVideo({folder.path("one.cdg"), folder.path("two.cdg"), "-o", folder.path("videos"),
                  "--size", "320x240", "--jobs", "2", "--progress-lines"},
                 out, err);
    EXPECT_EQ(status, 0) << err.str();
    // The player's Export video... reads these lines; the last says all is done.
    EXPECT_NE(err.str().find("progress 0."), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("progress 1.000\n"), std::string::npos) << err.str();
    std::string videos;  // only the videos: no temporary file
    for (const auto& [name, bytes] : testing::filesIn(folder.path("videos"))) videos += name + " ";
    EXPECT_EQ(videos, "one.mp4 two.mp4 ");
    EXPECT_NE(out.str().find("one.mp4 (0:03, 320x240, 30 fps)"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("two.mp4 (0:03, 320x240, 30 fps, no audio: graphics only)"),
              std::string::npos)
        << out.str();
    // Graphics alone: a video without sound, as long as the graphics.
    const ReadBack quiet = readBack(folder.path("videos/two.mp4"), 0);
    EXPECT_EQ(quiet.videoFrames, 90);
    EXPECT_EQ(quiet.audioEnd, 0.0);
}

}  // namespace
}  // namespace lyrvox
