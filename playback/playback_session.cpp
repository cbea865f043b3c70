#include "playback/playback_session.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "util/rounding.h"
#include "util/text_helpers.h"

namespace lyrvox {

int32_t packetTarget(double ms) {
    return roundHalfEvenToInt32(ms / static_cast<double>(kMsPerPacket));
}

namespace {

// Steady milliseconds from `nowMs` (play time) until the target reaches
// `packetCount`, i.e. until nowMs / kMsPerPacket rounds to packetCount, with play
// time running at `pace` (the tempo: at 80% a song millisecond takes 1.25 steady
// ones). 0 when already due. The moment is taken up to a whole millisecond, as the
// position comes in whole ms.
double msUntilDue(int32_t packetCount, int32_t target, double nowMs, double pace) {
    if (packetCount <= target) return 0.0;
    const double dueMs = std::ceil((static_cast<double>(packetCount) - 0.5) * kMsPerPacket);
    // Never 0 when nothing is due: that would turn the wait into a spin.
    return std::clamp((dueMs - nowMs) / pace, 0.5, PlaybackSession::kMaxWaitMs);
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

// One line per pass: "steadyMs position targetPacket PacketCount offsetMs". Flushed per
// line so that a trace survives a player that is killed at the end of a measurement.
class Trace {
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

}  // namespace

// Everything one song holds while it runs; released at its end.
struct PlaybackSession::Song {
    Song(const std::string& tracePath, SessionClock& clock) : trace(tracePath, clock) {}

    UnpackedSong unpacked;  // a zip's entries, in a scratch folder that goes with the song
    SongFiles files;
    std::unique_ptr<PacketSource> source;  // the graphics; none for audio alone
    Trace trace;
    bool fileEnded = false;              // a read found no whole packet: never read again
    AudioEnd audioEnd = AudioEnd::Fine;  // set once, when the audio is seen to fail
    // Once the audio can no longer pace (it failed, or played to its end before the
    // graphics did) the clock takes over from the last position, so that the
    // graphics neither freeze nor leave the song waiting for a Stop. Pause holds
    // that clock as it holds the audio.
    bool clockPaced = false;
    double clockMs = 0.0;  // play time at clockSeconds
    double clockSeconds = 0.0;
    int32_t position = 0;
    int32_t lastPosition = 0;
    bool waited = false;  // the last pass asked to be woken later: play time has moved on
};

PlaybackSession::PlaybackSession(MediaControl& media, SessionHost& host, SessionClock& clock,
                                 SessionFiles& files)
    : media_(media), host_(host), clock_(clock), files_(files) {
    media_.setListener(this);
}

PlaybackSession::~PlaybackSession() {
    media_.setListener(nullptr);
}

void PlaybackSession::setTransport(Transport transport) {
    transport_ = transport;
    host_.transportChanged(transport);
}

void PlaybackSession::mediaChanged() {
    mediaNews_ = true;
    // Taken at the next pass, not from inside the media control's call.
    if (song_) host_.wakeIn(0.0);
}

void PlaybackSession::play(const std::string& chosenFile, bool alternativeDevice) {
    if (transport_ == Transport::Waiting) endWait(true);
    if (songRunning()) endSong(false, "Ready.");
    setTransport(Transport::Playing);
    openSong(chosenFile, alternativeDevice);
}

void PlaybackSession::openSong(const std::string& chosenFile, bool alternativeDevice) {
    CdgMachine& machine = state_.machine;
    // Origin, fine offsets and counters of a fresh song.
    machine.XOff = 0;
    machine.YOff = 0;
    machine.HOffset = 0;
    machine.VOffset = 0;
    machine.PacketCount = 0;
    // Colours too start as a fresh program has them: a song that draws before its
    // first colour load must not show the previous song's colours.
    machine.colourTable.fill(PackedColour{});
    state_.targetPacket = 0;

    // Whatever an earlier song left open is halted and closed.
    media_.stop();
    media_.close();
    machine.clearScreen();

    // Files are opened by their real names on disk; the status keeps the
    // upper-case suffix.
    auto song = std::make_unique<Song>(tracePath_, clock_);
    if (isZipName(chosenFile)) {
        song->unpacked = files_.unpackZip(chosenFile);
        const UnpackedSong& unpacked = song->unpacked;
        if (!unpacked.error.empty()) {
            return endSong(true, "Cannot play: " + fileNameOf(chosenFile), unpacked.error);
        }
        song->files = {unpacked.graphics, "CDG", unpacked.audio, unpacked.audioShown,
                       !unpacked.audio.empty()};
    } else {
        song->files = findSongFiles(chosenFile, files_);
    }
    const SongFiles& found = song->files;
    state_.graphicsFile = found.graphics;
    state_.audioPaces = found.audioPaces;

    if (!found.audio.empty()) {
        media_.setSongFile(chosenFile);
        media_.open(found.audio, alternativeDevice);
        media_.play();
    }
    host_.showStatus(playingStatus(chosenFile, found));
    host_.showDisplay(!found.graphics.empty());

    if (!found.graphics.empty()) {
        song->source = files_.open(found.graphics);
        if (!song->source) {
            // Found but not readable (no permission, vanished, not a plain file): back
            // to idle first, so that no audio plays behind the message.
            return endSong(true, "Ready.", "Cannot open the graphics file: " + found.graphics);
        }
        state_.startSeconds = roundHalfEvenToInt32(clock_.seconds());
        song->clockPaced = !found.audioPaces;
        song->clockSeconds = state_.startSeconds;
    }
    song_ = std::move(song);
    mediaNews_ = true;  // the first pass looks at the media as they are now
    host_.wakeIn(0.0);
}

void PlaybackSession::pause() {
    if (transport_ != Transport::Playing) return;
    updateClock();  // play time up to the pause counts
    setTransport(Transport::Paused);
    media_.pause();  // the media's news wakes the next pass
}

void PlaybackSession::resume() {
    if (transport_ != Transport::Paused) return;
    updateClock();  // the paused time does not count
    setTransport(Transport::Playing);
    media_.play();
    host_.wakeIn(0.0);
}

void PlaybackSession::stop() {
    if (songRunning()) return endSong(false, "Ready.");
    // Idle or waiting: Stop halts and closes the media all the same.
    media_.stop();
    media_.close();
    if (transport_ == Transport::Waiting) {
        endWait(true);
    } else {
        host_.transportChanged(Transport::Idle);
    }
    host_.showStatus("Ready.");
}

void PlaybackSession::shutDown() {
    song_.reset();
    transport_ = Transport::Idle;
    host_.wakeIn(-1.0);
    media_.stop();
    media_.close();
}

void PlaybackSession::waitBeforeNext(double ms) {
    if (transport_ != Transport::Idle) return;
    setTransport(Transport::Waiting);
    host_.wakeIn(std::max(0.0, ms));
}

void PlaybackSession::moveWaitEnd(double ms) {
    if (transport_ == Transport::Waiting) host_.wakeIn(std::max(0.0, ms));
}

void PlaybackSession::endWait(bool cancelled) {
    transport_ = Transport::Idle;
    host_.wakeIn(-1.0);
    host_.transportChanged(Transport::Idle);
    host_.waitEnded(cancelled);
}

void PlaybackSession::setOffsetMs(int32_t offsetMs) {
    state_.offsetMs = offsetMs;
    if (song_) host_.wakeIn(0.0);
}

bool PlaybackSession::setKeyAndTempo(int semitones, int tempoPercent) {
    updateClock();  // the clock ran at the old tempo until now
    state_.tempoPercent = tempoPercent;
    const bool changes = media_.setKeyAndTempo(semitones, tempoPercent);
    if (song_) host_.wakeIn(0.0);
    return changes;
}

void PlaybackSession::wake() {
    if (transport_ == Transport::Waiting) return endWait(false);
    if (!song_) return;
    if (song_->source) {
        graphicsPass();
    } else {
        audioOnlyPass();
    }
}

void PlaybackSession::graphicsPass() {
    Song& song = *song_;
    CdgMachine& machine = state_.machine;
    // After a wait play time has moved on: the target is taken before the batch, so
    // that the pass finds its batch due instead of spending itself on a stale
    // target. Catching up, the target is taken after it, as at the first pass. One
    // look at the position a pass either way.
    const bool targetFirst = song.waited;
    double nowMs = targetFirst ? updateTarget() : 0.0;
    if (song.fileEnded || song.source->atEnd()) {
        takeMediaNews();  // a failure noticed only now (the file ended first) still counts
        const AudioEnd end = song.audioEnd;
        const std::string audio = fileNameOf(song.files.audio);
        return endSong(true, end == AudioEnd::Unplayable ? "Cannot play: " + audio
                             : end == AudioEnd::Lost     ? std::string("Audio output lost")
                                                         : std::string("Ready."));
    }
    if (machine.PacketCount <= state_.targetPacket) {
        // The end test is made before the batch only; a read that finds no whole
        // packet ends the file without interpreting anything of it.
        std::array<uint8_t, kPacketSize> bytes{};
        for (int i = 0; i < kPacketsPerBatch; ++i) {
            if (!readPacket(*song.source, bytes)) {
                song.fileEnded = true;
                break;
            }
            machine.interpret(packetFromBytes(bytes.data()));
        }
    }
    if (!targetFirst) nowMs = updateTarget();
    song.trace.line(song.position, state_.targetPacket, machine.PacketCount, state_.offsetMs);
    const double waitMs = msUntilDue(machine.PacketCount, state_.targetPacket, nowMs,
                                     std::max(state_.tempoPercent, 1) / 100.0);
    song.waited = waitMs > 0.0;
    host_.wakeIn(waitMs);
}

void PlaybackSession::audioOnlyPass() {
    Song& song = *song_;
    if (mediaNews_) {
        mediaNews_ = false;
        // While paused the media is halted, and the song goes on. Media that cannot
        // be played is not playing from the start.
        const MediaState media = media_.state();
        if (media == MediaState::Failed) {
            return endSong(true, endOfFailedAudio() == AudioEnd::Lost
                                     ? std::string("Audio output lost")
                                     : "Cannot play: " + fileNameOf(song.files.audio));
        }
        if (media != MediaState::Playing && transport_ != Transport::Paused)
            return endSong(true, "Ready.");
    }
    song.position = media_.positionMs();
    state_.targetPacket = packetTarget(song.position);
    song.trace.line(song.position, state_.targetPacket, state_.machine.PacketCount, 0);
    host_.wakeIn(kAudioOnlyPassMs);
}

void PlaybackSession::takeMediaNews() {
    if (!mediaNews_) return;
    mediaNews_ = false;
    Song& song = *song_;
    if (song.clockPaced) return;  // the audio no longer paces: nothing it says changes that
    const MediaState media = media_.state();
    const bool failed = media == MediaState::Failed;
    const bool ended = transport_ != Transport::Paused && media != MediaState::Playing;
    if (!failed && !ended) return;
    song.clockPaced = true;
    // A failed backend may already report 0: go on from where it was heard.
    song.clockMs = std::max(song.lastPosition, media_.positionMs());
    song.clockSeconds = clock_.seconds();
    if (!failed) return;
    song.audioEnd = endOfFailedAudio();
    host_.showStatus(song.audioEnd == AudioEnd::Lost
                         ? std::string("Audio output lost (graphics continue)")
                         : "Cannot play the audio: " + fileNameOf(song.files.audio) +
                               " (graphics continue)");
}

void PlaybackSession::updateClock() {
    if (!song_ || !song_->clockPaced) return;
    Song& song = *song_;
    const double seconds = clock_.seconds();
    // In song time: at a tempo of 80% the song advances 0.8 s a second.
    if (transport_ != Transport::Paused)
        song.clockMs += (seconds - song.clockSeconds) * 10.0 * state_.tempoPercent;
    song.clockSeconds = seconds;
}

double PlaybackSession::updateTarget() {
    Song& song = *song_;
    takeMediaNews();
    double nowMs = 0.0;
    if (!song.clockPaced) {
        song.position = media_.positionMs();
        song.lastPosition = std::max(song.lastPosition, song.position);
        nowMs = song.position;
    } else {
        updateClock();
        nowMs = song.clockMs;
        if (song.trace.on() && !song.files.audio.empty()) song.position = media_.positionMs();
    }
    // The picture's own play time: a positive offset draws later than the sound (for
    // a slow television), a negative one earlier. Packets already drawn stay drawn;
    // a later target simply makes the song wait for the sound.
    nowMs -= state_.offsetMs;
    state_.targetPacket = packetTarget(nowMs);
    return nowMs;
}

PlaybackSession::AudioEnd PlaybackSession::endOfFailedAudio() {
    return media_.error() == MediaError::OutputLost ? AudioEnd::Lost : AudioEnd::Unplayable;
}

void PlaybackSession::endSong(bool byItself, const std::string& status,
                              const std::string& message) {
    song_.reset();  // its graphics file, trace and scratch folder go first
    transport_ = Transport::Idle;
    host_.wakeIn(-1.0);
    media_.stop();
    media_.close();
    host_.transportChanged(Transport::Idle);
    host_.showStatus(status);
    if (!message.empty()) host_.showMessage(message);
    host_.songEnded(byItself);
}

}  // namespace lyrvox
