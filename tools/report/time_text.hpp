// Times and spans as the report shows them.
#pragma once

#include <string>

namespace report {

// Seconds since the epoch as local time: "2026-12-08 09:14:03", or with
// `iso` "2026-12-08T09:14:03.013".
std::string local_time(double seconds, bool iso = false);

// A span of time at a glance: "12.3 s", "4 min 05 s", "2 h 01 min", "3 d 04 h".
std::string span_text(double seconds);

} // namespace report
