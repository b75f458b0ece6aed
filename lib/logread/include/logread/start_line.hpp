// logread: the lines fslog prints of its own, and the start time read back
// from a start line. A run of the logger begins with "# Logging started at
// <ctime text>", then the column header. A file that fslog reopened in the
// middle of a run (after a rotation) begins with "# Continued: logging
// started at <the run's ctime text>". When it can't start a run, fslog
// prints "Couldn't open port DEVICE" or its usage, "Usage: NAME comport",
// each between two line ends.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace logread {

inline constexpr std::string_view start_line_prefix = "# Logging started at ";
inline constexpr std::string_view header_line_prefix = "# Elapsed (s),";
inline constexpr std::string_view continued_line_prefix = "# Continued: logging started at ";
inline constexpr std::string_view open_failure_prefix = "Couldn't open port ";
inline constexpr std::string_view usage_prefix = "Usage: ";
inline constexpr std::string_view usage_suffix = " comport";

struct start_time {
    // Seconds since the epoch; nothing when the text gives no one time.
    std::optional<std::time_t> time;
    // Why there is no time, or which of two readings the time is; null
    // for a plain time.
    const char* note = nullptr;
};

// The start time in a start line's ctime text ("Tue Dec  8 09:14:03 2026"),
// read as local time on this machine, to within the second ctime shows.
// No time for a text that is no such time, a date that does not exist
// (Feb 30, which mktime would move on to March), or a time in the hour
// that the clocks skip in spring. A time in the hour they repeat in autumn
// is taken as the first of the two, with a note that says so.
start_time read_start_time(std::string_view ctime_text);

} // namespace logread
