#pragma once
// Music between karaoke songs: what plays (a folder's audio files or an M3U
// playlist), and how loud it is at each moment. It fades out when a karaoke song
// starts and back in when the song is over; a song starting during a fade turns
// the fade around from the level it had reached, so the sound never jumps.
//
// Everything here is driven by events and a clock reading passed in (seconds of a
// steady clock): nothing waits. The Qt layer calls songStarted/songEnded as the
// transport changes, and while fading() steps a timer that reads gain() and sets
// the player's volume from it.
//
// The fade: a position that moves linearly in time between 0 (silent) and 1 (full)
// over the fade's seconds, heard through an equal-power curve, gain = sin(position
// x pi/2). Power (gain squared) then rises and falls as sin^2 and cos^2 do: the
// music leaves smoothly instead of hanging loud and dropping at the end, as a
// straight line in amplitude would.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace lyrvox {

struct BreakPlaylist {
    std::vector<std::string> paths;  // the files to play, in order; bytes as on disk
    std::size_t missing = 0;         // entries named that are no readable file
};

// A folder's audio files (by extension, not in subfolders), sorted by the bytes of
// their names: a fixed order the host can steer by naming ("01 ...", "02 ...").
BreakPlaylist listBreakFolder(const std::string& folder);

// An M3U or M3U8 playlist's text: one path a line; empty lines and lines beginning
// with '#' (comments, #EXTM3U, #EXTINF) skipped; a carriage return before the line's
// end dropped; a relative path taken from the playlist's folder; "file://" URIs
// decoded. `readable` says whether a path is a readable file; the others count as
// missing.
BreakPlaylist parseM3u(const std::string& text, const std::string& playlistFolder,
                       const std::function<bool(const std::string&)>& readable);

// A folder, an .m3u/.m3u8 playlist, or a single audio file.
BreakPlaylist loadBreakMusic(const std::string& path);

// sin(position x pi/2), position brought into 0..1.
double equalPowerGain(double position);

class BreakMusic {
  public:
    explicit BreakMusic(double fadeSeconds = 3.0) { setFadeSeconds(fadeSeconds); }

    // 0: changes are immediate. Applies to the fades that begin after this.
    void setFadeSeconds(double seconds);
    double fadeSeconds() const { return fadeSeconds_; }

    // A karaoke song began: the music fades out from where it is.
    void songStarted(double now);
    // The karaoke song is over (or none plays yet): the music fades in.
    void songEnded(double now);
    // Silent at once, no fade (turned off).
    void silence(double now);

    double position(double now) const;  // 0..1, linear in time
    double gain(double now) const { return equalPowerGain(position(now)); }
    // Still moving: the Qt layer keeps stepping its timer.
    bool fading(double now) const;
    // The player should run: fading in, full, or not yet silent on the way out.
    bool audible(double now) const;
    bool rising() const { return rising_; }

    // The tracks: loaded afresh, each new list starting at its first playable one.
    void setPlaylist(std::vector<std::string> paths);
    // The track to play now; nullptr when none is left that can play.
    const std::string* current() const;
    // The current track played to its end: the next one (after the last, the first).
    const std::string* next();
    // The current track cannot play: it is passed over from now on, and the next
    // playable one comes; nullptr when none is left.
    const std::string* skipUnplayable();
    std::size_t unplayableCount() const { return unplayable_; }
    std::size_t size() const { return paths_.size(); }

  private:
    void turn(double now, bool rising);
    const std::string* advance();

    double fadeSeconds_ = 3.0;
    bool rising_ = false;
    double fromPosition_ = 0.0;  // where the current fade began
    double since_ = 0.0;         // when it began

    std::vector<std::string> paths_;
    std::vector<bool> bad_;
    std::size_t index_ = 0;
    std::size_t unplayable_ = 0;
};

}  // namespace lyrvox
