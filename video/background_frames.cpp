#include "video/background_frames.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace lyrvox {
namespace {

// A picture or a video frame should come within this long of asking.
constexpr GstClockTime kDecodeTimeout = 20 * GST_SECOND;

bool isImageName(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* known : {".png", ".jpg", ".jpeg", ".bmp", ".gif", ".tif", ".tiff", ".webp"})
        if (ext == known) return true;
    return false;
}

// The folder's images by name, as the player's slideshow shows them.
std::vector<std::string> imagesIn(const std::string& folder) {
    std::vector<std::string> images;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file(error) && isImageName(entry.path()))
            images.push_back(entry.path().string());
    std::sort(images.begin(), images.end());
    return images;
}

int64_t ptsNs(GstBuffer* buffer) {
    return GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<int64_t>(GST_BUFFER_PTS(buffer)) : 0;
}
int64_t durationNs(GstBuffer* buffer) {
    return GST_BUFFER_DURATION_IS_VALID(buffer) ? static_cast<int64_t>(GST_BUFFER_DURATION(buffer))
                                                : 0;
}

void copyPicture(GstSample* sample, std::vector<uint32_t>& pixels) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    // BGRx rows of a width that is a whole number of words: no padding.
    std::copy_n(map.data, std::min(map.size, pixels.size() * sizeof(uint32_t)),
                reinterpret_cast<uint8_t*>(pixels.data()));
    gst_buffer_unmap(buffer, &map);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// One image or video decoded to BGRx (0x??RRGGBB words) of the asked size.
class BackgroundFrames::Decoder {
  public:
    ~Decoder() {
        if (pipeline_ == nullptr) return;
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }

    std::string start(const std::string& path, int width, int height) {
        if (!gst_is_initialized()) gst_init(nullptr, nullptr);
        const std::string description =
            "filesrc name=src ! decodebin ! videoconvert ! videoscale add-borders=false ! "
            "video/x-raw,format=BGRx,width=" +
            std::to_string(width) + ",height=" + std::to_string(height) +
            ",pixel-aspect-ratio=1/1 ! appsink name=out sync=false max-buffers=4";
        GError* error = nullptr;
        pipeline_ = gst_parse_launch(description.c_str(), &error);
        if (error != nullptr || pipeline_ == nullptr) {
            const std::string text = error != nullptr ? error->message : "no decoder";
            g_clear_error(&error);
            return "GStreamer cannot decode it: " + text;
        }
        GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
        g_object_set(source, "location", path.c_str(), nullptr);
        gst_object_unref(source);
        GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "out");
        sink_ = GST_APP_SINK(sink);
        gst_object_unref(sink);  // the pipeline holds it
        if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            return "GStreamer cannot decode it";
        return {};
    }

    // The next picture, or null at the end or on an error (then `error` says why).
    GstSample* next(std::string& error) {
        GstSample* sample = gst_app_sink_try_pull_sample(sink_, kDecodeTimeout);
        if (sample != nullptr) return sample;
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        if (message != nullptr) {
            GError* e = nullptr;
            gst_message_parse_error(message, &e, nullptr);
            error = e != nullptr ? e->message : "it cannot be decoded";
            g_clear_error(&e);
            gst_message_unref(message);
        } else if (!gst_app_sink_is_eos(sink_)) {
            error = "no picture came out of it";
        }
        return nullptr;
    }

    // Back to the start, for the next round of a video.
    bool rewind() {
        return gst_element_seek_simple(
                   pipeline_, GST_FORMAT_TIME,
                   static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0) != 0;
    }

  private:
    GstElement* pipeline_ = nullptr;
    GstAppSink* sink_ = nullptr;
};

BackgroundFrames::BackgroundFrames() = default;
BackgroundFrames::~BackgroundFrames() {
    if (pending_ != nullptr) gst_sample_unref(pending_);
}

bool BackgroundFrames::isColour(const std::string& choice) {
    return choice.size() == 7 && choice[0] == '#' &&
           std::all_of(choice.begin() + 1, choice.end(), [](char c) { return hexDigit(c) >= 0; });
}

std::string BackgroundFrames::check(const std::string& choice) {
    BackgroundFrames frames;
    return frames.open(choice, 16, 16, 10);
}

std::string BackgroundFrames::open(const std::string& choice, int width, int height,
                                   int slideSeconds) {
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * height, 0);
    ++serial_;
    if (isColour(choice)) {
        kind_ = Kind::Colour;
        uint32_t rgb = 0;
        for (std::size_t i = 1; i < choice.size(); ++i)
            rgb = rgb * 16 + static_cast<uint32_t>(hexDigit(choice[i]));
        std::fill(pixels_.begin(), pixels_.end(), rgb);
        return {};
    }
    std::error_code error;
    const auto status = std::filesystem::status(choice, error);
    if (error || !std::filesystem::exists(status)) return "no such file or folder";
    if (std::filesystem::is_directory(status)) {
        slides_ = imagesIn(choice);
        if (slides_.empty()) return "the folder holds no images";
        kind_ = Kind::Folder;
        slideNs_ = std::max(1, slideSeconds) * int64_t{1'000'000'000};
        return openOne(slides_.front(), false);
    }
    kind_ = isImageName(choice) ? Kind::Image : Kind::Video;
    return openOne(choice, kind_ == Kind::Video);
}

std::string BackgroundFrames::openOne(const std::string& path, bool moving) {
    if (!std::ifstream(path, std::ios::binary)) return "it cannot be opened";
    auto decoder = std::make_unique<Decoder>();
    if (std::string problem = decoder->start(path, width_, height_); !problem.empty())
        return problem;
    std::string problem;
    GstSample* sample = decoder->next(problem);
    if (sample == nullptr) return problem.empty() ? "it holds no picture" : problem;
    copyPicture(sample, pixels_);
    if (moving) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        firstPtsNs_ = ptsNs(buffer);
        roundEndNs_ = durationNs(buffer);
    }
    gst_sample_unref(sample);
    ++serial_;
    if (moving) decoder_ = std::move(decoder);  // a still is done with its decoder
    return {};
}

const uint32_t* BackgroundFrames::at(int64_t ns) {
    switch (kind_) {
        case Kind::None:
            return nullptr;
        case Kind::Colour:
        case Kind::Image:
            break;
        case Kind::Folder:
            if (const auto index =
                    static_cast<std::size_t>(std::max<int64_t>(ns, 0) / slideNs_) % slides_.size();
                index != slide_) {
                slide_ = index;
                openOne(slides_[index], false);  // one that cannot be read leaves the one before
            }
            break;
        case Kind::Video:
            advanceVideo(ns);
            break;
    }
    return pixels_.data();
}

void BackgroundFrames::advanceVideo(int64_t ns) {
    while (decoder_ != nullptr) {
        if (pending_ == nullptr) {
            std::string problem;
            pending_ = decoder_->next(problem);
            if (pending_ == nullptr) {
                // The end of a round: the next begins where this one's frames ended.
                // A video that fails on the way, or shows nothing more, stays on its
                // last picture.
                if (!problem.empty() || roundEndNs_ <= 0 || !decoder_->rewind()) {
                    decoder_.reset();
                    break;
                }
                loopStartNs_ += roundEndNs_;
                roundEndNs_ = 0;
                newRound_ = true;
                continue;
            }
        }
        GstBuffer* buffer = gst_sample_get_buffer(pending_);
        if (newRound_) {
            firstPtsNs_ = ptsNs(buffer);
            newRound_ = false;
        }
        const int64_t since = ptsNs(buffer) - firstPtsNs_;
        if (loopStartNs_ + since > ns) break;
        copyPicture(pending_, pixels_);
        ++serial_;
        roundEndNs_ = std::max(roundEndNs_, since + durationNs(buffer));
        gst_sample_unref(pending_);
        pending_ = nullptr;
    }
}

}  // namespace lyrvox
