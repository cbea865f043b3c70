#include "playback/playback_session.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "util/text_helpers.h"

namespace lyrvox {

int32_t roundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    if (value >= kMax) return std::numeric_limits<int32_t>::max();
    if (value <= kMin) return std::numeric_limits<int32_t>::min();
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return static_cast<int32_t>(whole);
}

int32_t packetTarget(double ms) {
    return roundHalfEven(ms / static_cast<double>(MsPerPacket));
}

namespace {

// Milliseconds from `nowMs` (play time) until the target reaches `packetCount`,
// i.e. until nowMs / MsPerPacket rounds to packetCount. 0 when already due. The
// moment is taken up to a whole millisecond, as the position comes in whole ms.
double msUntilDue(int32_t packetCount, int32_t frame, double nowMs) {
    if (packetCount <= frame) return 0.0;
    const double dueMs = std::ceil((static_cast<double>(packetCount) - 0.5) * MsPerPacket);
    // Never 0 when nothing is due: that would turn the wait back into a spin.
    return std::clamp(dueMs - nowMs, 0.5, PlaybackSession::kMaxWaitMs);
}

// Reads exactly one packet; false when the file holds no whole packet more.
bool readPacket(PacketSource& source, std::array<uint8_t, kPacketSize>& bytes) {
    std::size_t got = 0;
    while (got < kPacketSize) {
        const std::size_t n = source.read(bytes.data() + got, kPacketSize - got);
        if (n == 0) return false;
        got += n;
    }
    return true;
}

struct Suffix {
    const char* name;   // tried after BasePath
    const char* shown;  // what the status line shows
};
constexpr std::array<Suffix, 2> kGraphicsSuffixes{{{".CDG", "CDG"}, {".RW", "RW"}}};
constexpr std::array<Suffix, 2> kAudioSuffixes{{{".WAV", "WAV"}, {".MP3", "MP3"}}};

}  // namespace

// One line per pass: "steadyMs position FrameMP3 PacketCount". Flushed per line so
// that a trace survives a player that is killed at the end of a measurement.
class PlaybackSession::Trace {
  public:
    Trace(const std::string& path, SessionClock& clock) : clock_(clock) {
        if (!path.empty()) file_ = std::fopen(path.c_str(), "a");
    }
    ~Trace() {
        if (file_) std::fclose(file_);
    }
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    bool on() const { return file_ != nullptr; }
    void line(int32_t position, int32_t frame, int32_t packets) {
        if (!file_) return;
        std::fprintf(file_, "%.3f %d %d %d\n", clock_.Seconds() * 1000.0, position, frame, packets);
        std::fflush(file_);
    }

  private:
    SessionClock& clock_;
    std::FILE* file_ = nullptr;
};

PlaybackSession::PlaybackSession(PlayerState& state, MediaControl& media, SessionHost& host,
                                 SessionClock& clock, SessionFiles& files)
    : state_(state), media_(media), host_(host), clock_(clock), files_(files) {}

void PlaybackSession::setTraceFile(const std::string& path) {
    tracePath_ = path;
}

void PlaybackSession::DoCDGFile(const std::string& fileSpec) {
    const uint64_t session = ++sessionsStarted_;
    CdgMachine& machine = state_.machine;

    // Origin, fine offsets and counters of a fresh session.
    machine.XOff = 0;
    machine.YOff = 0;
    machine.HOffset = 0;
    machine.VOffset = 0;
    machine.PacketCount = 0;
    state_.FrameMP3 = 0;
    state_.LastFrame = 0;
    // A running session's graphics file belongs to that session alone: it closes
    // it itself when it sees ProFlag clear, so nothing is closed from here.

    // Whatever an earlier session left open is halted and closed.
    media_.Command("stop");
    media_.Command("close");
    machine.ClearScreen();

    // Companions by base name; a later find overwrites an earlier one. Files are
    // opened by their real names on disk; the status keeps the upper-case suffix.
    const std::string basePath = StripExtension(fileSpec);
    std::string cdgFile, cdgShown, audioFile, audioShown;
    state_.CDGFile.clear();
    state_.MP3Flag = false;
    for (const Suffix& s : kGraphicsSuffixes) {
        if (auto real = files_.find(basePath + s.name)) {
            cdgFile = *real;
            cdgShown = s.shown;
        }
    }
    for (const Suffix& s : kAudioSuffixes) {
        if (auto real = files_.find(basePath + s.name)) {
            audioFile = *real;
            audioShown = s.shown;
            state_.MP3Flag = true;
        }
    }
    if (cdgFile.empty() && !state_.MP3Flag) {
        audioFile = fileSpec;  // any other media file is played itself
        audioShown = ExtensionOf(fileSpec);
    }
    state_.CDGFile = cdgFile;
    const bool mp3Flag = state_.MP3Flag;

    std::string status = "Playing: " + FileNameOf(basePath) + ".";
    if (!audioFile.empty()) {
        media_.DeviceType(host_.AltChecked() ? "ActiveMovie" : "MPEGVideo");
        media_.TimeFormat(0);
        media_.FileName(audioFile);
        media_.Command("Open");
        media_.Wait(false);
        media_.Command("Play");
        status += audioShown;
        if (!cdgFile.empty()) status += "/";
    }
    if (!cdgFile.empty()) {
        status += cdgShown;
        if (audioFile.empty()) status += " (only)";
    }
    host_.SetStatus(status);

    Trace trace(tracePath_, clock_);
    if (!cdgFile.empty()) {
        runGraphicsSession(cdgFile, audioFile, mp3Flag, session, trace);
    } else {
        runAudioOnlySession(audioFile, session, trace);
    }
}

void PlaybackSession::runGraphicsSession(const std::string& cdgFile, const std::string& audioFile,
                                         bool mp3Flag, uint64_t session, Trace& trace) {
    CdgMachine& machine = state_.machine;
    host_.SetOpenEnabled(false);
    host_.EnableStopNow();
    // Running from the moment Stop is enabled: a Stop, a close or a Play served
    // while the display window comes up must end or pause this session, not be
    // lost before it (with Stop disabled again behind a session that plays on).
    state_.ProFlag = true;
    host_.ShowDisplay(true);
    host_.Yield(0.0);

    for (std::size_t i = 0; i < machine.PowersOfTwo.size(); ++i) {
        machine.PowersOfTwo[i] = static_cast<int16_t>(1 << i);
    }

    // This session's own file: closed when this function returns, whatever other
    // sessions run inside its yields.
    std::unique_ptr<PacketSource> source = files_.open(cdgFile);
    if (!source) {
        // Found but not readable (no permission, vanished, not a plain file): back
        // to idle first, so that no audio plays behind the message.
        state_.ProFlag = false;
        host_.btnStop_Click();
        host_.ShowMessage("Cannot open the graphics file: " + cdgFile);
        return;
    }
    state_.StartTime = roundHalfEven(clock_.Seconds());

    bool fileEnded = false;  // a read found no whole packet: never read again
    bool audioFailed = false;
    // Once the audio can no longer pace (it failed, or played to its end before
    // the graphics did) the clock takes over from the last position, so that the
    // graphics neither freeze nor leave the session waiting for a Stop.
    bool clockPaced = !mp3Flag;
    double clockBaseMs = 0.0;
    double clockBaseSeconds = state_.StartTime;
    int32_t position = 0;
    auto updateTarget = [&]() -> double {
        if (!clockPaced) {
            const bool failed = media_.Failed();
            const bool ended = !state_.Paused && media_.Mode() == MediaControl::kModeStopped;
            if (failed || ended) {
                audioFailed = failed;
                clockPaced = true;
                clockBaseMs = media_.Position();
                clockBaseSeconds = clock_.Seconds();
            }
        }
        double nowMs = 0.0;
        if (!clockPaced) {
            position = media_.Position();
            nowMs = position;
        } else {
            nowMs = clockBaseMs + (clock_.Seconds() - clockBaseSeconds) * 1000.0;
            if (trace.on() && !audioFile.empty()) position = media_.Position();
        }
        state_.FrameMP3 = packetTarget(nowMs);
        return nowMs;
    };
    std::array<uint8_t, kPacketSize> bytes{};
    for (;;) {
        if (fileEnded || !state_.ProFlag || source->atEnd()) break;

        if (machine.PacketCount <= state_.FrameMP3) {
            // The end test is made before the batch only; a read that finds no whole
            // packet ends the file without interpreting anything of it.
            for (int i = 0; i < kPacketsPerBatch; ++i) {
                if (!readPacket(*source, bytes)) {
                    fileEnded = true;
                    break;
                }
                machine.InterpretPacket(packetFromBytes(bytes.data()));
            }
        }

        const double nowMs = updateTarget();
        trace.line(position, state_.FrameMP3, machine.PacketCount);

        const double waitMs = msUntilDue(machine.PacketCount, state_.FrameMP3, nowMs);
        host_.Yield(waitMs);
        // Play time has moved on while waiting: look again, so that the next pass
        // finds its batch due instead of spending itself on a stale target.
        if (waitMs > 0.0 && state_.ProFlag) updateTarget();
    }
    source.reset();
    // A failure noticed only now (the file ended first) still counts; after a Stop
    // the media has been closed and says nothing more.
    if (mp3Flag && state_.ProFlag && media_.Failed()) audioFailed = true;
    finishSession(audioFile, audioFailed, session);
}

void PlaybackSession::runAudioOnlySession(const std::string& audioFile, uint64_t session,
                                          Trace& trace) {
    host_.ShowDisplay(false);
    host_.SetOpenEnabled(false);
    host_.EnableStopNow();
    state_.ProFlag = true;  // before the yield, as for graphics: no Stop is lost
    host_.Yield(0.0);

    bool audioFailed = false;
    // While paused the audio has been halted with "stop" and reads as stopped too;
    // the wait goes on then. Media that cannot be played reads as stopped at once.
    while (state_.ProFlag && (media_.Mode() != MediaControl::kModeStopped || state_.Paused)) {
        if (media_.Failed()) audioFailed = true;
        const int32_t position = media_.Position();
        state_.FrameMP3 = packetTarget(position);
        trace.line(position, state_.FrameMP3, state_.machine.PacketCount);
        host_.Yield(kModePollMs);
    }
    if (state_.ProFlag && media_.Failed()) audioFailed = true;
    finishSession(audioFile, audioFailed, session);
}

void PlaybackSession::finishSession(const std::string& audioFile, bool audioFailed,
                                    uint64_t session) {
    state_.ProFlag = false;
    host_.btnStop_Click();
    // A session that ran inside this one's yield owns the status line now.
    if (audioFailed && sessionIsLatest(session)) {
        host_.SetStatus("Cannot play: " + FileNameOf(audioFile));
    }
}

}  // namespace lyrvox
