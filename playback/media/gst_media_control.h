#pragma once
// The media control for songs' audio, on GStreamer's playbin with SoundTouch's
// `pitch` element as its audio filter, for key and tempo.
//
// Event loop: the bus's messages reach this object's thread through a queue
// (gst_bus_watch.h). Nothing polls, and nothing of GStreamer's runs on the window
// thread but state changes and position queries.
//
// Position: the pipeline's own query at each call, which tells how far the sound
// has been played out (what is heard), steered smoothly (PositionSmoother): a
// sound server's reading advances in coarse steps and may stall at a start. With a tempo other than
// 100% that runs in output time; a probe behind the pitch element keeps the song time at which each
// tempo began in output time, so the position maps back to song time, also across
// changes during play. The pitch element stamps its output as if output time times the
// tempo were the song time heard, but SoundTouch plays the song in sequences of 40-90 ms,
// each at the original pace and begun on that line: what is heard runs ahead of the line
// (slower tempos) or behind it (faster ones) by a lead that depends on the tempo and the
// key, which the mapping adds (stretchLeadMs).
//
// Key: where Rubber Band's LADSPA pitch shifter is installed (rubberband-ladspa), it
// shifts the key after the pitch element, keeping the voice's formants, and the pitch
// element only changes the tempo; elsewhere SoundTouch does both. Rubber Band holds
// the sound back (some 300-340 ms, more than the latency it reports), which is measured
// on the first sound that passes it and taken off the output time (rubber_band_delay.h).
// It costs most of the player's CPU, so a song opened at its own key goes without it.
// Until the song begins to play (the pipeline set to PLAYING) a key that wants the other
// chain rebuilds the pipeline at the start, which nobody hears; once it has begun, the
// chain stays as it is until the next open(): a key changed then from the song's own is
// SoundTouch's, with no gap and no jump in the sound or the position.
#include <QObject>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "playback/media/gst_bus_watch.h"
#include "playback/media/media_control.h"
#include "playback/media/media_status.h"
#include "playback/media/rubber_band_delay.h"

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace lyrvox {

class GstMediaControl : public QObject, public MediaControl {
    Q_OBJECT
  public:
    // Makes the element the sound goes to, for each open(); none: the system's
    // default output (a sound server, ALSA, or a sink that keeps real time).
    using SinkMaker = std::function<GstElement*()>;
    // Whether GStreamer has an element of this factory name; none: GStreamer's own
    // registry. (Lets a test play on a system without the pitch element.)
    using ElementCheck = std::function<bool(const char* factoryName)>;
    explicit GstMediaControl(QObject* parent = nullptr, SinkMaker makeSink = {},
                             const ElementCheck& hasElement = {});
    ~GstMediaControl() override;

    void setListener(MediaListener* listener) override { status_.setListener(listener); }
    // Never blocks for long: the window thread must stay live.
    void open(const std::string& path, bool alternativeDevice) override;
    void play() override;
    void pause() override;
    void stop() override;
    void close() override;
    int32_t positionMs() override;
    MediaState state() override;
    MediaError error() override;
    bool setKeyAndTempo(int semitones, int tempoPercent) override;
    void setVolume(int percent) override;
    void setLoudnessGain(double gainDb) override;
    // Where GStreamer lacks SoundTouch's `pitch` element (gstreamer1.0-plugins-bad),
    // songs play at their own key and tempo, and this says so.
    std::string keyAndTempoMissing() override;

    std::string keyEngine() override;

    bool canChangeKeyAndTempo() const { return hasPitch_; }
    // Rubber Band is installed (it shifts the key of songs opened at another key).
    bool keyByRubberBand() const { return hasRubberBand_; }
    // The open song's sound goes through Rubber Band.
    bool shifterInChain() const { return shifter_ != nullptr; }

  private:
    // How the pitch element stretches the song: song time per output time, the lead of
    // what is heard over that line, and the pace of its first sequence (the key's).
    struct Stretch {
        double tempo = 1.0;
        double leadNs = 0.0;
        double firstPace = 1.0;
        bool operator==(const Stretch&) const = default;
    };
    // Song time on that line at the start of a stretch of output that ran at one setting.
    struct TempoAnchor {
        int64_t outputNs;
        double songNs;
        Stretch stretch;
    };

    // The pipeline for path_, with Rubber Band when the key wants it, prerolling; and
    // its end. The status stays as it is across both.
    void build();
    void tearDown();
    bool wantsShifter() const { return hasRubberBand_ && semitones_ != 0; }
    void handle(GstMessage* message);
    void startPlaying();
    void fail();
    void reachEnd();
    void applyKeyAndTempo();
    void applyVolume();
    // -1 when the pipeline cannot tell yet; atEnd: the pipeline has played all it had.
    double readSongMs(bool atEnd = false);
    double songReceivedMs();  // the end of the song taken in so far; infinite before any
    void noteInput(int64_t endNs);
    void noteOutput(int64_t outputNs);
    friend struct GstCallbacks;  // GStreamer's threads call in through these

    SinkMaker makeSink_;
    GstElement* pipeline_ = nullptr;  // playbin, while open
    GstElement* pitch_ = nullptr;     // inside the pipeline's filter; not owned
    bool hasPitch_ = false;
    GstElement* shifter_ = nullptr;  // Rubber Band, inside the filter when it has one; not owned
    bool hasRubberBand_ = false;
    bool prerolled_ = false;  // the sink holds the first sound: PLAYING can start cleanly
    bool begun_ = false;      // the pipeline has been set to PLAYING: its chain is for good
    std::string path_;        // the song open
    GstBusWatch bus_;

    MediaStatus status_;  // steers a steady estimate toward the pipeline's reading
    static constexpr double kReadingIntervalMs = 50.0;
    double lastReadingAtMs_ = 0.0;  // steady time of the last reading taken

    int semitones_ = 0;
    int tempoPercent_ = 100;
    int volumePercent_ = 100;
    double loudnessGainDb_ = 0.0;  // this medium's; back to unity at each open()

    std::mutex anchorsLock_;  // the probe writes from a streaming thread
    std::vector<TempoAnchor> anchors_;
    Stretch stretch_;               // what the pitch element runs at now; under anchorsLock_
    double inputEndNs_ = -1.0;      // song time the pitch element has taken in; under anchorsLock_
    RubberBandDelay shifterDelay_;  // while shifter_ is
};

}  // namespace lyrvox
