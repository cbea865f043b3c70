#pragma once
// The play position as the session should see it, from a backend whose own
// reading may stall (for up to ~1.5 s after a start with a sound server) and then
// jump. Between readings the position runs on a steady clock; when it and the
// backend differ by more than the resync margin it is pulled to the backend's
// reading. While running it never goes back; while halted it stands still.
// All times in milliseconds.
namespace lyrvox {

class PositionSmoother {
  public:
    static constexpr double kDefaultResyncMs = 40.0;

    explicit PositionSmoother(double resyncMs = kDefaultResyncMs) : resyncMs_(resyncMs) {}

    // Back to 0, halted.
    void reset();
    // Starts running from the held position at steady time `nowMs`.
    void run(double nowMs);
    // Freezes at the position read now.
    void halt(double nowMs, double backendMs);
    // Halts at `ms`, or where it stands if that is further (the media's end).
    void holdAt(double ms);
    // The position now: smoothed while running, the held value otherwise.
    double read(double nowMs, double backendMs);
    bool running() const { return running_; }

  private:
    double resyncMs_;
    bool running_ = false;
    double anchorMs_ = 0.0;  // position at steady time anchorAt_
    double anchorAt_ = 0.0;
    double lastMs_ = 0.0;  // last value given out: the floor for the next one
};

}  // namespace lyrvox
