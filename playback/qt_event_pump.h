#pragma once
// The yield of a long-running command on the window thread: serve every pending
// event, and when asked, wait for the next event or until maxWaitMs have passed
// (a precise timer) instead of returning at once, so that a loop that has nothing
// due does not spin.
namespace lyrvox {

void serveEvents(double maxWaitMs);

}  // namespace lyrvox
