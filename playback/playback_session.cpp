#include "playback/playback_session.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "playback/song_files.h"
#include "util/rounding.h"
#include "util/text_helpers.h"

namespace lyrvox {

int32_t packetTarget(double ms) {
    return roundHalfEvenToInt32(ms / static_cast<double>(kMsPerPacket));
}

namespace {

// Milliseconds from `nowMs` (play time) until the target reaches `packetCount`,
// i.e. until nowMs / kMsPerPacket rounds to packetCount. 0 when already due. The
// moment is taken up to a whole millisecond, as the position comes in whole ms.
double msUntilDue(int32_t packetCount, int32_t target, double nowMs) {
    if (packetCount <= target) return 0.0;
    const double dueMs = std::ceil((static_cast<double>(packetCount) - 0.5) * kMsPerPacket);
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

}  // namespace

// One line per pass: "steadyMs position targetPacket PacketCount offsetMs". Flushed per
// line so that a trace survives a player that is killed at the end of a measurement.
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
    void line(int32_t position, int32_t target, int32_t packets, int32_t offsetMs) {
        if (!file_) return;
        std::fprintf(file_, "%.3f %d %d %d %d\n", clock_.seconds() * 1000.0, position, target,
                     packets, offsetMs);
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

void PlaybackSession::play(const std::string& chosenFile, bool alternativeDevice) {
    const uint64_t session = ++sessionsStarted_;
    CdgMachine& machine = state_.machine;

    // Origin, fine offsets and counters of a fresh session.
    machine.XOff = 0;
    machine.YOff = 0;
    machine.HOffset = 0;
    machine.VOffset = 0;
    machine.PacketCount = 0;
    // Colours too start as a fresh program has them: a song that draws before its
    // first colour load must not show the previous song's colours.
    machine.colourTable.fill(PackedColour{});
    state_.targetPacket = 0;
    state_.targetAtTimeShown = 0;
    // A running session's graphics file belongs to that session alone: it closes
    // it itself when it sees sessionRunning clear, so nothing is closed from here.

    // Whatever an earlier session left open is halted and closed.
    media_.stop();
    media_.close();
    machine.clearScreen();

    // Files are opened by their real names on disk; the status keeps the
    // upper-case suffix.
    // A zipped song's entries are unpacked for as long as this call runs.
    UnpackedSong unpacked;
    SongFiles song;
    if (isZipName(chosenFile)) {
        unpacked = files_.unpackZip(chosenFile);
        if (!unpacked.error.empty()) {
            host_.sessionEnded();
            host_.showStatus("Cannot play: " + fileNameOf(chosenFile));
            host_.showMessage(unpacked.error);
            return;
        }
        song = {unpacked.graphics, "CDG", unpacked.audio, unpacked.audioShown,
                !unpacked.audio.empty()};
    } else {
        song = findSongFiles(chosenFile, files_);
    }
    state_.graphicsFile = song.graphics;
    state_.audioPaces = song.audioPaces;

    if (!song.audio.empty()) {
        media_.open(song.audio, alternativeDevice);
        media_.play();
    }
    host_.showStatus(playingStatus(chosenFile, song));

    Trace trace(tracePath_, clock_);
    if (!song.graphics.empty()) {
        runGraphicsSession(song.graphics, song.audio, song.audioPaces, session, trace);
    } else {
        runAudioOnlySession(song.audio, session, trace);
    }
}

void PlaybackSession::runGraphicsSession(const std::string& graphicsFile,
                                         const std::string& audioFile, bool audioPaces,
                                         uint64_t session, Trace& trace) {
    CdgMachine& machine = state_.machine;
    host_.setOpenEnabled(false);
    host_.enableStopNow();
    // Running from the moment Stop is enabled: a Stop, a close or a Play served
    // while the display window comes up must end or pause this session, not be
    // lost before it (with Stop disabled again behind a session that plays on).
    state_.sessionRunning = true;
    host_.showDisplay(true);
    host_.serveEvents(0.0);

    // This session's own file: closed when this function returns, whatever other
    // sessions run inside its serving of events.
    std::unique_ptr<PacketSource> source = files_.open(graphicsFile);
    if (!source) {
        // Found but not readable (no permission, vanished, not a plain file): back
        // to idle first, so that no audio plays behind the message.
        state_.sessionRunning = false;
        host_.sessionEnded();
        host_.showMessage("Cannot open the graphics file: " + graphicsFile);
        return;
    }
    state_.startSeconds = roundHalfEvenToInt32(clock_.seconds());

    bool fileEnded = false;              // a read found no whole packet: never read again
    AudioEnd audioEnd = AudioEnd::Fine;  // set once, when the audio is seen to fail
    // Once the audio can no longer pace (it failed, or played to its end before
    // the graphics did) the clock takes over from the last position, so that the
    // graphics neither freeze nor leave the session waiting for a Stop. Pause
    // holds that clock as it holds the audio: play time moves on only while not
    // paused.
    bool clockPaced = !audioPaces;
    double clockMs = 0.0;  // play time at clockSeconds
    double clockSeconds = state_.startSeconds;
    int32_t position = 0;
    int32_t lastPosition = 0;
    auto updateTarget = [&]() -> double {
        if (!clockPaced) {
            const bool failed = media_.state() == MediaState::Failed;
            const bool ended = !state_.paused && media_.state() != MediaState::Playing;
            if (failed || ended) {
                clockPaced = true;
                // A failed backend may already report 0: go on from where it was heard.
                clockMs = std::max(lastPosition, media_.positionMs());
                clockSeconds = clock_.seconds();
            }
            if (failed) {
                audioEnd = endOfFailedAudio();
                host_.showStatus(audioEnd == AudioEnd::Lost
                                     ? std::string("Audio output lost (graphics continue)")
                                     : "Cannot play the audio: " + fileNameOf(audioFile) +
                                           " (graphics continue)");
            }
        }
        double nowMs = 0.0;
        if (!clockPaced) {
            position = media_.positionMs();
            lastPosition = std::max(lastPosition, position);
            nowMs = position;
        } else {
            const double seconds = clock_.seconds();
            // In song time: at a tempo of 80% the song advances 0.8 s a second.
            if (!state_.paused) clockMs += (seconds - clockSeconds) * 10.0 * state_.tempoPercent;
            clockSeconds = seconds;
            nowMs = clockMs;
            if (trace.on() && !audioFile.empty()) position = media_.positionMs();
        }
        // The picture's own play time: a positive offset draws later than the sound
        // (for a slow television), a negative one earlier. Packets already drawn stay
        // drawn; a later target simply makes the loop wait for the sound.
        nowMs -= state_.offsetMs;
        state_.targetPacket = packetTarget(nowMs);
        return nowMs;
    };
    std::array<uint8_t, kPacketSize> bytes{};
    for (;;) {
        if (fileEnded || !state_.sessionRunning || source->atEnd()) break;

        if (machine.PacketCount <= state_.targetPacket) {
            // The end test is made before the batch only; a read that finds no whole
            // packet ends the file without interpreting anything of it.
            for (int i = 0; i < kPacketsPerBatch; ++i) {
                if (!readPacket(*source, bytes)) {
                    fileEnded = true;
                    break;
                }
                machine.interpret(packetFromBytes(bytes.data()));
            }
        }

        const double nowMs = updateTarget();
        trace.line(position, state_.targetPacket, machine.PacketCount, state_.offsetMs);

        const double waitMs = msUntilDue(machine.PacketCount, state_.targetPacket, nowMs);
        host_.serveEvents(waitMs);
        // Play time has moved on while waiting: look again, so that the next pass
        // finds its batch due instead of spending itself on a stale target.
        if (waitMs > 0.0 && state_.sessionRunning) updateTarget();
    }
    source.reset();
    // A failure noticed only now (the file ended first) still counts; after a Stop
    // the media has been closed and says nothing more.
    if (audioPaces && state_.sessionRunning && media_.state() == MediaState::Failed &&
        audioEnd == AudioEnd::Fine) {
        audioEnd = endOfFailedAudio();
    }
    finishSession(audioFile, audioEnd, session);
}

void PlaybackSession::runAudioOnlySession(const std::string& audioFile, uint64_t session,
                                          Trace& trace) {
    host_.showDisplay(false);
    host_.setOpenEnabled(false);
    host_.enableStopNow();
    state_.sessionRunning = true;  // before serving events, as for graphics: no Stop is lost
    host_.serveEvents(0.0);

    // While paused the media is halted, and the wait goes on. Media that cannot be
    // played is not playing from the start.
    while (state_.sessionRunning && (media_.state() == MediaState::Playing || state_.paused) &&
           media_.state() != MediaState::Failed) {
        const int32_t position = media_.positionMs();
        state_.targetPacket = packetTarget(position);
        trace.line(position, state_.targetPacket, state_.machine.PacketCount, 0);
        host_.serveEvents(kStatePollMs);
    }
    const bool failed = state_.sessionRunning && media_.state() == MediaState::Failed;
    finishSession(audioFile, failed ? endOfFailedAudio() : AudioEnd::Fine, session);
}

PlaybackSession::AudioEnd PlaybackSession::endOfFailedAudio() {
    return media_.error() == MediaError::OutputLost ? AudioEnd::Lost : AudioEnd::Unplayable;
}

void PlaybackSession::finishSession(const std::string& audioFile, AudioEnd audioEnd,
                                    uint64_t session) {
    state_.sessionRunning = false;
    host_.sessionEnded();
    // A session that ran inside this one's serving of events owns the status line now.
    if (!sessionIsLatest(session)) return;
    if (audioEnd == AudioEnd::Unplayable) host_.showStatus("Cannot play: " + fileNameOf(audioFile));
    if (audioEnd == AudioEnd::Lost) host_.showStatus("Audio output lost");
}

}  // namespace lyrvox
