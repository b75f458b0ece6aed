// The ticks of fslog-plot's time axis. The axis runs in real time (seconds
// since the epoch), so a clock change moves no row; the labels are the
// clock readings of the chosen zone at each tick, so the change shows in
// them instead: at the autumn change, hourly ticks read "01:00 CEST",
// "02:00", "02:00 CET", "03:00". Beside them, the x axis as gnuplot is
// told it, with its ticks and its label.
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

// The x axis' commands: its ticks without labels (for the upper panels)
// and with them (for the lowest), and the text of its label.
struct x_axis_text {
    std::string tics_unlabelled;
    std::string tics_labelled;
    std::string label;
};

// A time axis from `first` to `last` (seconds since the epoch), `pixels`
// wide, read in `zone`; gnuplot's x counts from `first`.
x_axis_text time_axis_text(double first, double last, logread::time_zone zone, double pixels);
// An axis of the seconds since the run's start; `for_want_of_start` when
// it is for want of a start line giving the time of day.
x_axis_text elapsed_axis_text(bool for_want_of_start);

} // namespace plot
