// logread: absolute times as every log tool writes them. Inside the
// library a time is seconds since the epoch; it is shown in this machine's
// local time (the logging machine's, when both keep the same zone) or in
// UTC, and always with its offset or zone, so that the hour a clock change
// repeats reads unambiguously.
#pragma once

#include <ctime>
#include <string>

namespace logread {

enum class time_zone { local, utc };

// A time in seconds since the epoch, split into its whole second and its
// milliseconds (0-999), rounded to the nearest millisecond.
struct millisecond_time {
    std::time_t second = 0;
    int millisecond = 0;
};
millisecond_time to_milliseconds(double seconds);

// `second` in the zone's calendar; in UTC the zone's name is "UTC".
std::tm calendar_time(std::time_t second, time_zone zone);

// `second` through strftime's `format` in the zone's calendar.
std::string time_text(std::time_t second, const char* format, time_zone zone);

// The ISO 8601 offset of `second`: "+01:00", or "Z" in UTC.
std::string iso_offset(std::time_t second, time_zone zone);

// "2026-10-25T02:10:00.000+01:00", or in UTC "2026-10-25T01:10:00.000Z".
std::string iso_time(double seconds, time_zone zone);

} // namespace logread
