// logread: the start time read back from the ctime text of a start line
// (or of a continuation line, which repeats its run's); the lines' text is
// protocol/log_text.hpp's.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace logread {

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
