#pragma once
// The yield of a long-running command on the window thread: serve every pending
// event, and when asked, wait for the next event or until maxWaitMs have passed
// (a precise timer) instead of returning at once, so that a loop that has nothing
// due does not spin.
namespace lyrvox {

// maxWaitMs <= 0: serve pending events and return. Otherwise also block in the
// event loop until at least one event has been served or maxWaitMs (rounded up to
// whole milliseconds) have passed.
void serveEvents(double maxWaitMs);

}  // namespace lyrvox
