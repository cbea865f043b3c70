// The video export end to end: a short song made at test time (the first seconds
// of a real song's graphics and a generated tone) exported and read back through
// GStreamer: streams, durations, and a frame's pixels against the exact picture.
// Cancelled and failed exports leave nothing; the command refuses bad input.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "display/picture_copy.h"
#include "display/picture_fit.h"
#include "playback/cdg/cdg_machine.h"
#include "playback/cdg/packet_encoder.h"
#include "playback/media/key_tempo_filter.h"
#include "support/test_files.h"
#include "support/tone_wav.h"
#include "tools/cli/cli_commands.h"
#include "video/background_frames.h"
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
    double audioOnset = -1.0;       // seconds: the first sample past a fifth of -12 dBFS
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

// Where in a sample of interleaved 32-bit floats the sound first passes 0.05 (a
// fifth of a -12 dBFS tone), on the running time in seconds; -1 if it does not.
double onsetIn(GstSample* sample) {
    const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    int rate = 0, channels = 0;
    gst_structure_get_int(s, "rate", &rate);
    gst_structure_get_int(s, "channels", &channels);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (rate <= 0 || channels <= 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return -1.0;
    const auto* samples = reinterpret_cast<const float*>(map.data);
    double onset = -1.0;
    for (std::size_t i = 0; i < map.size / sizeof(float); ++i) {
        if (std::fabs(samples[i]) <= 0.05f) continue;
        const auto start = gst_segment_to_running_time(gst_sample_get_segment(sample),
                                                       GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
        onset = static_cast<double>(start) / 1e9 +
                static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
        break;
    }
    gst_buffer_unmap(buffer, &map);
    return onset;
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
    GstCaps* floats = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved");
    g_object_set(audio, "caps", floats, "sync", FALSE, "async", FALSE, nullptr);
    gst_caps_unref(floats);
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
                if (got.audioOnset < 0.0) got.audioOnset = onsetIn(sample);
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

// The sound where it belongs on the picture's time line: a tone that starts at
// 1 s of the song starts there in the video, key changed or not (Rubber Band holds
// the sound back some 200-300 ms when it shifts the key), and the sound keeps its
// whole length.
struct OnsetCase {
    const char* name;
    int semitones;
    int tempo;
    bool silent = false;  // no sound at all: the (silent) track kept whole
};

class VideoExportOnsetTest : public ::testing::TestWithParam<OnsetCase> {};

TEST_P(VideoExportOnsetTest, TheSoundStartsWhereItBelongs) {
    const OnsetCase& c = GetParam();
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GstElementFactory* rubberBand = gst_element_factory_find(kRubberBandElement);
    if (rubberBand != nullptr) gst_object_unref(rubberBand);
    if (c.semitones != 0 && rubberBand == nullptr)
        GTEST_SKIP() << "Rubber Band's LADSPA plugin is not installed (package rubberband-ladspa)";
    TempFolder folder;
    makeSong(folder, "song", false);
    // Silence, then from 1 s on the tone.
    constexpr double kOnsetSeconds = 1.0;
    std::string wav = testing::sineWav(-12.0, 440.0, kSongSeconds);
    const auto silentBytes = static_cast<std::size_t>(kOnsetSeconds * 48000) * 2 * 4;
    wav.replace(44, c.silent ? wav.size() - 44 : silentBytes,
                std::string(c.silent ? wav.size() - 44 : silentBytes, '\0'));
    writeFile(folder.path("song.wav"), wav);
    VideoExportOptions options;
    options.song = folder.path("song.cdg");
    options.output = folder.path("out.mp4");
    options.width = 320;
    options.height = 240;
    options.semitones = c.semitones;
    options.tempoPercent = c.tempo;
    const std::atomic<bool> cancel{false};
    const VideoExportResult result = VideoExporter().run(options, cancel);
    ASSERT_EQ(result.outcome, VideoExportResult::Outcome::Written) << result.message;

    const ReadBack got = readBack(options.output, 0);
    ASSERT_TRUE(got.error.empty()) << got.error;
    const double frame = 1.0 / options.fps;
    if (!c.silent) {
        EXPECT_NEAR(got.audioOnset, kOnsetSeconds * 100.0 / c.tempo, frame) << "the tone's start";
    }
    EXPECT_NEAR(got.audioEnd, got.videoEnd, 0.020) << "sound and picture end together";
    EXPECT_NEAR(got.videoEnd, kSongSeconds * 100.0 / c.tempo, frame + 0.05) << "the whole song";
}

INSTANTIATE_TEST_SUITE_P(Keys, VideoExportOnsetTest,
                         ::testing::Values(OnsetCase{"key_0", 0, 100},
                                           OnsetCase{"key_up_2", 2, 100},
                                           OnsetCase{"key_down_3_tempo_80", -3, 80},
                                           OnsetCase{"silent_key_up_2", 2, 100, true}),
                         [](const auto& param) { return std::string(param.param.name); });

// Backgrounds: a song that marks colours transparent (or whose background colour
// the option makes so) over a colour or an image; the frame against the player's
// own composite of the picture over that background.
constexpr uint32_t kBehindColour = 0x20C040;
constexpr uint32_t kImageLeft = 0xE0A020, kImageRight = 0x2050C0;

// A song that clears to colour 0 (blue), draws a white block (colour 1) and a red
// one (colour 2), and with `markTransparent` makes colour 0 transparent and colour
// 2 half so; then nothing for three seconds.
std::string transparentSong(bool markTransparent) {
    std::vector<uint8_t> file;
    std::array<encode::Rgb4, 8> colours{};
    colours[0] = {0, 0, 12};
    colours[1] = {15, 15, 15};
    colours[2] = {15, 0, 0};
    encode::append(file, encode::loadColours(0, colours));
    encode::append(file, encode::memoryPreset(0));
    for (int row = 4; row < 10; ++row)
        for (int column = 8; column < 24; ++column)
            encode::append(file, encode::solidTile(1, row, column));
    for (int row = 11; row < 15; ++row)
        for (int column = 30; column < 44; ++column)
            encode::append(file, encode::solidTile(2, row, column));
    if (markTransparent) {
        SubcodePacket levels = encode::packet(28);
        levels.Data[0] = 63;
        levels.Data[2] = 32;
        encode::append(file, levels);
    }
    while (file.size() < static_cast<std::size_t>(kSongSeconds * kPacketsPerSecond) * kPacketSize)
        encode::append(file, encode::emptyPacket());
    return std::string(file.begin(), file.end());
}

struct BackgroundCase {
    const char* name;
    bool image;  // else the colour
    bool markTransparent;
    bool transparentOption;
};

class VideoBackgroundTest : public ::testing::TestWithParam<BackgroundCase> {};

TEST_P(VideoBackgroundTest, TransparentColoursShowTheBackground) {
    const BackgroundCase& c = GetParam();
    TempFolder folder;
    const std::string cdg = transparentSong(c.markTransparent);
    writeFile(folder.path("song.cdg"), cdg);
    writeFile(folder.path("song.wav"), testing::sineWav(-12.0, 440.0, kSongSeconds));
    VideoExportOptions options;
    options.song = folder.path("song.cdg");
    options.output = folder.path("out.mp4");
    options.width = 640;
    options.height = 360;
    options.fullChroma = true;  // colours compared pixel by pixel
    options.transparentBackground = c.transparentOption;
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%06X", kBehindColour);
    options.background = hex;
    if (c.image) {
        // Left half one colour, right half another.
        options.background = folder.path("behind.png");
        const std::string make =
            "/usr/bin/convert -size 64x48 xc:'#2050C0' -fill '#E0A020' "
            "-draw 'rectangle 0,0 31,47' PNG24:'" +
            options.background + "'";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
    }
    const std::atomic<bool> cancel{false};
    const VideoExportResult result = VideoExporter().run(options, cancel);
    ASSERT_EQ(result.outcome, VideoExportResult::Outcome::Written) << result.message;
    const ReadBack got = readBack(options.output, 2 * options.fps);
    ASSERT_TRUE(got.error.empty()) << got.error;

    // The player's composite of the song at that moment over the same background.
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    interpretPackets(*machine, reinterpret_cast<const uint8_t*>(cdg.data()), cdg.size());
    const int w = options.width, h = options.height;
    const FitRect r = fitPicture(kViewWidth, kViewHeight, w, h, Scaling::KeepAspect);
    std::vector<uint32_t> behind(static_cast<std::size_t>(r.width) * r.height);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            behind[static_cast<std::size_t>(y) * r.width + x] = !c.image          ? kBehindColour
                                                                : x < r.width / 2 ? kImageLeft
                                                                                  : kImageRight;
    std::vector<uint32_t> argb(static_cast<std::size_t>(w) * h, 0xFF000000u);
    uint32_t* inside = argb.data() + static_cast<std::size_t>(r.y) * w + r.x;
    compositeVisibleWindow(*machine, machine->opacityTable(c.transparentOption), r.width, r.height,
                           inside, w, behind.data(), r.width);
    std::vector<uint8_t> expected;
    for (uint32_t p : argb)
        for (int shift : {16, 8, 0}) expected.push_back(static_cast<uint8_t>(p >> shift));
    const std::vector<uint8_t> plain = exactFrame(cdg, static_cast<int64_t>(cdg.size() / 24), w, h);
    const double match = psnr(got.frameRgb, expected);
    EXPECT_GE(match, c.image ? 30.0 : 40.0);

    // A pixel of the blue background (top left of the picture) and one of the
    // white block: the first shows the background, the second the song.
    const auto rgbAt = [&](const std::vector<uint8_t>& rgb, int x, int y) {
        const std::size_t at = (static_cast<std::size_t>(y) * w + x) * 3;
        return (uint32_t{rgb[at]} << 16) | (uint32_t{rgb[at + 1]} << 8) | rgb[at + 2];
    };
    const auto near = [](uint32_t a, uint32_t b) {
        for (int shift : {16, 8, 0})
            if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                         static_cast<int>((b >> shift) & 0xFF)) > 6)
                return false;
        return true;
    };
    const int bx = r.x + 4, by = r.y + 4;  // left: the image's left colour
    const bool shows = c.markTransparent || c.transparentOption;
    const uint32_t background = c.image ? kImageLeft : kBehindColour;
    EXPECT_TRUE(near(rgbAt(got.frameRgb, bx, by), shows ? background : rgbAt(plain, bx, by)))
        << std::hex << rgbAt(got.frameRgb, bx, by);
    // The white block: tile rows 4-9, columns 8-23 of the 300x216 picture.
    const int wx = r.x + (16 * 6 - 6) * r.width / kViewWidth;
    const int wy = r.y + (7 * 12 - 12) * r.height / kViewHeight;
    EXPECT_TRUE(near(rgbAt(got.frameRgb, wx, wy), 0xFFFFFF))
        << std::hex << rgbAt(got.frameRgb, wx, wy);
    if (shows) {
        EXPECT_LT(psnr(got.frameRgb, plain), match - 3.0) << "the background shows";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Backgrounds, VideoBackgroundTest,
    ::testing::Values(BackgroundCase{"colour_where_the_song_marks", false, true, false},
                      BackgroundCase{"image_where_the_song_marks", true, true, false},
                      BackgroundCase{"colour_behind_the_clear_colour", false, false, true},
                      BackgroundCase{"opaque_song_as_it_is", false, false, false}),
    [](const auto& param) { return std::string(param.param.name); });

// A folder behind the picture is a slideshow of its images by name, each for the
// set time, round and round; other files in it are passed over.
TEST(VideoBackground, AFolderIsASlideshowByName) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path("slides"));
    writeFile(folder.path("slides/notes.txt"), std::string("not a picture"));
    for (const auto& [name, colour] :
         {std::pair{"b.png", "#0000FF"}, std::pair{"a.png", "#FF0000"}}) {
        const std::string make = std::string("/usr/bin/convert -size 8x8 xc:'") + colour +
                                 "' PNG24:'" + folder.path("slides/") + name + "'";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
    }
    BackgroundFrames frames;
    ASSERT_EQ(frames.open(folder.path("slides"), 4, 4, 2), "");
    const auto colourAt = [&](double seconds) {
        return frames.at(static_cast<int64_t>(seconds * 1e9))[5] & 0xFFFFFFu;
    };
    EXPECT_EQ(colourAt(0.0), 0xFF0000u);  // a.png first
    EXPECT_EQ(colourAt(1.9), 0xFF0000u);
    EXPECT_EQ(colourAt(2.1), 0x0000FFu);
    EXPECT_EQ(colourAt(4.5), 0xFF0000u);  // round again
}

// A video behind the picture plays in a loop: its pictures come at their times,
// and after its end from its start again.
TEST(VideoBackground, AVideoLoops) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    TempFolder folder;
    const std::string video = folder.path("loop.mp4");
    // One second at 10 frames a second, a ball moving across.
    GstElement* maker = gst_parse_launch(
        ("videotestsrc num-buffers=10 pattern=ball ! "
         "video/x-raw,framerate=10/1,width=64,height=48 ! x264enc ! mp4mux ! filesink location=\"" +
         video + "\"")
            .c_str(),
        nullptr);
    ASSERT_NE(maker, nullptr);
    gst_element_set_state(maker, GST_STATE_PLAYING);
    GstMessage* end = gst_bus_timed_pop_filtered(
        GST_ELEMENT_BUS(maker), 20 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(end, nullptr);
    if (GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(end, &error, nullptr);
        ADD_FAILURE() << "cannot make the video: " << error->message;
        g_clear_error(&error);
    }
    gst_message_unref(end);
    gst_element_set_state(maker, GST_STATE_NULL);
    gst_object_unref(maker);

    BackgroundFrames frames;
    ASSERT_EQ(frames.open(video, 32, 24, 10), "");
    const auto pictureAt = [&](double seconds) {
        const uint32_t* p = frames.at(static_cast<int64_t>(seconds * 1e9));
        return std::vector<uint32_t>(p, p + 32 * 24);
    };
    const auto first = pictureAt(0.05);
    const int64_t serial = frames.serial();
    const auto later = pictureAt(0.55);
    EXPECT_NE(frames.serial(), serial) << "a new picture";
    EXPECT_NE(first, later) << "the ball has moved";
    const auto again = pictureAt(1.05);  // the second round's first picture
    EXPECT_EQ(again, first);
    const auto thirdRound = pictureAt(2.55);
    EXPECT_EQ(thirdRound, later);
}

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
    std::string message = c.message;
    if (const auto at = message.find('@'); at != std::string::npos)
        message.replace(at, 1, folder.path());
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
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
                    "unknown option '--colour'"},
        CommandCase{"bad_background_colour", "@/song.cdg -o @/a.mp4 --background #12345", 2,
                    "bad colour '#12345': expected #rrggbb"},
        CommandCase{"missing_background", "@/song.cdg -o @/a.mp4 --background @/none.png", 1,
                    "cannot read the background: @/none.png: no such file or folder"},
        CommandCase{"background_not_a_picture", "@/song.cdg -o @/a.mp4 --background @/song.cdg", 1,
                    "cannot read the background: @/song.cdg: "},
        CommandCase{"background_folder_without_images", "@/song.cdg -o @/a.mp4 --background @/sub",
                    1, "cannot read the background: @/sub: the folder holds no images"}),
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
