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
    // In the hour repeated in autumn, the second reading; `time` is the first.
    std::optional<std::time_t> second_reading;
};

// The note of a start time in the repeated hour taken as the second of the
// two readings, for it follows the run before.
inline constexpr const char* repeated_hour_after_run =
    "a time in the hour repeated when the clocks went back; taken as the second of the two, which follows "
    "the run before";

// The start time in a start line's ctime text ("Tue Dec  8 09:14:03 2026"),
// read as local time on this machine, to within the second ctime shows.
// No time for a text that is no such time, a date that does not exist
// (Feb 30, which mktime would move on to March), or a time in the hour
// that the clocks skip in spring. A time in the hour they repeat in autumn
// gives both readings, the first as its time, with a note that says so (the
// reader takes the second where the run before ended after the first).
start_time read_start_time(std::string_view ctime_text);

} // namespace logread
