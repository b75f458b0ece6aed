// fslog-plot's command line:
//   fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] [--utc] LOG... OUT
#pragma once

#include "logread/local_time.hpp"

#include <optional>
#include <string>
#include <vector>

namespace plot {

// A --from or --to: a date and time (the zone's, or with an offset), or
// elapsed seconds since the start of the (first) run.
struct time_point {
    bool absolute = false;
    double seconds = 0; // since the epoch when absolute, else elapsed
    std::string text;   // as given, for messages
};

enum class image_format { png, svg };

struct options {
    std::optional<time_point> from;
    std::optional<time_point> to;
    unsigned width = 1000;
    unsigned height = 1200;
    bool elapsed = false;
    logread::time_zone zone = logread::time_zone::local; // of times given and shown
    std::vector<std::string> logs;
    std::string out;
    image_format format = image_format::png;
};

struct parsed_options {
    std::optional<options> given;
    std::string problem; // what is wrong with the command line, when options is empty
};

parsed_options parse_options(const std::vector<std::string>& arguments);

// "YYYY-MM-DDTHH:MM[:SS]" (or with a space for the T) as the zone's time,
// or followed by milliseconds and an offset ("2026-10-25T02:10:00.000+01:00",
// "...Z") as fslog-csv writes it; or a plain number of seconds; nothing for
// anything else.
std::optional<time_point> parse_time_point(const std::string& text,
                                           logread::time_zone zone = logread::time_zone::local);

inline constexpr const char* usage_text =
    "Usage: fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] "
    "[--utc] LOG... OUT.png|OUT.svg\n";

} // namespace plot
