// Times and spans as the report shows them.
#pragma once

#include "logread/local_time.hpp"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace report {

// Seconds since the epoch to the second, with the zone: "2026-12-08
// 09:14:03 CET", or "2026-12-08 08:14:03 UTC".
std::string readable_time(double seconds, logread::time_zone zone);

// When a run started: its start time as above, or, where the start line
// gives none, its text as a quote: "\"Tue Feb 30 10:00:00 2026\" (no time)".
std::string run_start_text(const std::optional<std::time_t>& start, std::string_view ctime_text,
                           logread::time_zone zone);

// A span of time at a glance: "12.3 s", "4 min 05 s", "2 h 01 min", "3 d 04 h".
std::string span_text(double seconds);

} // namespace report
