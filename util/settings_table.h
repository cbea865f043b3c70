#pragma once
// Every value the player keeps between runs, in one table: a text under
// "Group/Key" in the user's settings file, the text an absent or unreadable value
// counts as, and for numbers the range a stored value is brought into (a value
// edited by hand, or written by another version, cannot take the player outside
// it). Plain C++; the Qt layer reads and writes through SettingsStore.
#include <optional>
#include <string>

namespace lyrvox {

struct Setting {
    const char* key;
    const char* defaultText;
    int min = 0;  // numbers only; min == max: a text
    int max = 0;
    bool isNumber() const { return min != max; }
};

namespace settings {
// The folder of the last song opened (with its trailing '/'); absent: the
// program's own folder.
inline constexpr Setting kLastFolder{"Config/Path", ""};
inline constexpr Setting kOffsetMs{"Display/OffsetMs", "0", -1000, 1000};
inline constexpr Setting kVolume{"Playback/Volume", "100", 0, 100};
inline constexpr Setting kKeepKeyAndTempo{"Playback/KeepKeyAndTempo", "0", 0, 1};
// Even loudness: songs play with a gain toward the target (LUFS), within the
// true-peak ceiling; off: every song at its own level.
inline constexpr Setting kEvenLoudness{"Playback/EvenLoudness", "1", 0, 1};
inline constexpr Setting kLoudnessTargetLufs{"Playback/LoudnessTargetLufs", "-16", -30, -6};
inline constexpr Setting kQueuePauseSeconds{"Library/PauseSeconds", "5", 0, 60};
// The display window's screen (its name), full screen or not, its place
// ("x,y,width,height" in desktop pixels) and scaling ("keep-aspect pixel-perfect").
inline constexpr Setting kDisplayScreen{"Display/Screen", ""};
inline constexpr Setting kDisplayFullScreen{"Display/FullScreen", "0", 0, 1};
inline constexpr Setting kDisplayGeometry{"Display/Geometry", ""};
inline constexpr Setting kDisplayScaling{"Display/Scaling", ""};
// Music between songs: on or off, its folder or .m3u/.m3u8 playlist (the path's
// bytes as local 8-bit text), its own volume in percent, and the fade's seconds.
inline constexpr Setting kBreakMusicOn{"BreakMusic/On", "0", 0, 1};
inline constexpr Setting kBreakMusicPath{"BreakMusic/Path", ""};
inline constexpr Setting kBreakMusicVolume{"BreakMusic/Volume", "50", 0, 100};
inline constexpr Setting kBreakMusicFadeSeconds{"BreakMusic/FadeSeconds", "3", 0, 30};
// The up-next screen: the venue message scrolling along its bottom (one line),
// whether it shows, and whether the two singers after the next one show.
inline constexpr Setting kUpNextMessage{"UpNext/Message", ""};
inline constexpr Setting kUpNextMessageOn{"UpNext/MessageOn", "0", 0, 1};
inline constexpr Setting kUpNextShowFollowing{"UpNext/ShowFollowing", "1", 0, 1};
// What shows through the picture's transparent colours: "none", "colour", "image",
// "folder" (a slideshow) or "video" (looping, silent); the colour as #rrggbb; the
// image, folder or video file; the slideshow's seconds per image; and whether the
// colour of the last screen clear counts as transparent in songs that mark none.
inline constexpr Setting kBackgroundKind{"Background/Kind", "none"};
inline constexpr Setting kBackgroundColour{"Background/Colour", "#000000"};
inline constexpr Setting kBackgroundPath{"Background/Path", ""};
inline constexpr Setting kBackgroundPeriod{"Background/PeriodSeconds", "10", 1, 3600};
inline constexpr Setting kClearTransparent{"Background/ClearColourTransparent", "0", 0, 1};

// The request server for the singers' phones: off until the host switches it on;
// its port, and the address of the interface it listens on ("" for every
// interface, so that phones on the local network reach it).
inline constexpr Setting kServerEnabled{"Server/Enabled", "0", 0, 1};
inline constexpr Setting kServerPort{"Server/Port", "8080", 1024, 65535};
inline constexpr Setting kServerAddress{"Server/Address", ""};

inline constexpr const Setting* kAll[] = {
    &kLastFolder,        &kOffsetMs,           &kVolume,
    &kKeepKeyAndTempo,   &kQueuePauseSeconds,  &kDisplayScreen,
    &kDisplayFullScreen, &kDisplayGeometry,    &kDisplayScaling,
    &kEvenLoudness,      &kLoudnessTargetLufs, &kBreakMusicOn,
    &kBreakMusicPath,    &kBreakMusicVolume,   &kBreakMusicFadeSeconds,
    &kUpNextMessage,     &kUpNextMessageOn,    &kUpNextShowFollowing,
    &kBackgroundKind,    &kBackgroundColour,   &kBackgroundPath,
    &kBackgroundPeriod,  &kClearTransparent,   &kServerEnabled,
    &kServerPort,        &kServerAddress};
}  // namespace settings

// The number a stored text stands for: the default when absent or not a whole
// number, then brought into the setting's range.
int settingNumber(const Setting& setting, const std::optional<std::string>& stored);

}  // namespace lyrvox
