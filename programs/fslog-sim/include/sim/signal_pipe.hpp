// Signals arrive as bytes on a pipe, so the serving loop's poll sees them.
#pragma once

#include <vector>

namespace sim {

// Catches SIGINT, SIGTERM, SIGHUP and SIGCHLD from now on; returns the
// pipe's end to read them from.
int catch_signals();

// The signals caught since the last look, oldest first, from the pipe's
// end `signals`.
std::vector<int> caught_signals(int signals);

} // namespace sim
