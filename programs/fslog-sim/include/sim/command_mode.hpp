// fslog-sim -- COMMAND: one command, such as fslog, run against the line.
#pragma once

#include "sim/simulator.hpp"

#include <string>
#include <vector>

namespace sim {

// Runs `command` with the line's `device` path as its last argument, the
// unit serving the line meanwhile; `signals` is the signal pipe's end.
// Returns the command's exit status, or 128 + the signal that ended it. A
// Ctrl-C reaches the command from the terminal too; a signal sent to the
// simulator alone is passed on, and the simulator stays until the command
// has gone.
int run_command(simulator& unit, int signals, std::vector<std::string> command, const std::string& device);

} // namespace sim
