#pragma once
// The media control `MMControl1`: the properties and command strings the player
// relies on. Commands never report failure to the caller and never throw; a file
// that cannot be opened or played leaves nothing playing, reads the stopped mode
// and raises Failed() until the next "close".
#include <cstdint>
#include <string>

namespace lyrvox {

class MediaControl {
  public:
    static constexpr int kModeStopped = 525;  // the MCI stopped mode
    static constexpr int kModePlaying = 526;  // the MCI playing mode

    virtual ~MediaControl() = default;

    // Runs a command at once: "Open", "Play", "stop"/"Stop", "close"/"Close",
    // matched without regard to case. Unknown commands do nothing.
    virtual void Command(const std::string& command) = 0;
    virtual void DeviceType(const std::string& type) = 0;  // "MPEGVideo" or "ActiveMovie"
    virtual void TimeFormat(int format) = 0;               // 0: milliseconds
    virtual void FileName(const std::string& path) = 0;
    virtual void Wait(bool wait) = 0;
    // 525 once stopped, at the media's end, after "stop", or when nothing plays.
    virtual int Mode() = 0;
    // Play position in milliseconds: monotonic while playing, still while halted
    // and after the end.
    virtual int32_t Position() = 0;
    // True when the media opened last could not be opened or played (missing,
    // corrupt, unsupported). Cleared by "close" and by the next "Open".
    virtual bool Failed() = 0;
};

}  // namespace lyrvox
