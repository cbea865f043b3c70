#pragma once
// The play position as the session should see it, from a backend whose reading
// may advance in steps (a sound server's timing updates), stall (the server not
// yet playing, or starved) and then jump. The estimate runs on a steady clock at
// the nominal pace (the tempo) and is steered toward each reading: faster while
// the reading is ahead, slower while it is behind, never faster than twice the
// pace, never more than kLeadMs ahead of the reading and never back. A reading
// kSnapMs ahead is taken at once (the backend moved on for real). So a steady
// backend is followed exactly, a stepping one smoothly, and the graphics never
// leap by more than a few packets between passes. After a start it stands still
// until the reading first moves: nothing runs ahead of sound not yet heard. All
// times in milliseconds.
namespace lyrvox {

class PositionSmoother {
  public:
    static constexpr double kSteerMs = 250.0;  // a reading this far ahead doubles the pace
    static constexpr double kLeadMs = 100.0;   // the furthest the estimate runs ahead
    static constexpr double kSnapMs = 300.0;   // a reading this far ahead is taken at once

    // Back to 0, halted.
    void reset();
    // Starts running from the held position at steady time `nowMs`.
    void run(double nowMs);
    // Freezes at the position read now.
    void halt(double nowMs, double backendMs);
    // Halts at `ms`, or where it stands if that is further (the media's end).
    void holdAt(double ms);
    // Play time per steady time: the tempo (1.0 as recorded).
    void setPace(double pace) { pace_ = pace; }
    // The position now: steered while running, the held value otherwise. A
    // negative reading means the backend cannot tell: the estimate runs on.
    double read(double nowMs, double backendMs);
    bool running() const { return running_; }
    // The reading has moved since the last run(): sound has been heard.
    bool moved() const { return moved_; }

  private:
    bool running_ = false;
    bool moved_ = false;  // the reading has moved since the start
    double pace_ = 1.0;
    double lastAt_ = 0.0;  // steady time of the last read
    double lastMs_ = 0.0;  // last value given out: the floor for the next one
};

}  // namespace lyrvox
