// fslog-sim --link PATH: the line served under a symlink until stopped.
#pragma once

#include "sim/simulator.hpp"

#include <string>

namespace sim {

// Points the symlink `link_path` at the line's `device`, prints the device
// path, and serves the line until a signal to stop comes on `signals`, the
// signal pipe's end; then takes the symlink away.
int serve_link(simulator& unit, int signals, const std::string& link_path, const std::string& device);

} // namespace sim
