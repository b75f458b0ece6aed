// The ticks of fslog-plot's time axis. The axis runs in real time (seconds
// since the epoch), so a clock change moves no row; the labels are the
// clock readings of the chosen zone at each tick, so the change shows in
// them instead: at the autumn change, hourly ticks read "01:00 CEST",
// "02:00", "02:00 CET", "03:00".
#pragma once

#include "logread/local_time.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace plot {

struct tick {
    double at = 0; // seconds since the epoch
    std::string label;
};

// At most `most` ticks (and at least one) from `from` to `to`, a round step
// apart: seconds and minutes on the zone's clock, whole hours, or
// midnights a number of days apart. Labels suit the step and the span.
std::vector<tick> time_ticks(double from, double to, logread::time_zone zone, std::size_t most);

} // namespace plot
