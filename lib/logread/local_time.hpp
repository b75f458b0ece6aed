// logread: a row's absolute time shown as the logging machine's local time,
// the one way every log tool writes it.
#pragma once

#include <ctime>
#include <string>

namespace logread {

// A time in seconds since the epoch, split into its whole second and its
// milliseconds (0-999), rounded to the nearest millisecond.
struct millisecond_time {
    std::time_t second = 0;
    int millisecond = 0;
};
millisecond_time to_milliseconds(double seconds);

// `second` as local time through strftime's `format`.
std::string local_time_text(std::time_t second, const char* format);

// "2026-12-08T09:14:03.013": ISO 8601 local time with milliseconds.
std::string iso_local_time(double seconds);

} // namespace logread
