// fslog-plot's command line:
//   fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] [--utc] LOG... OUT
#pragma once

#include "cli/cli.hpp"
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
    options given;
    cli::command_line line; // help, version or why the command line is bad
};

parsed_options parse_options(int argc, char** argv);

// "YYYY-MM-DDTHH:MM[:SS]" (or with a space for the T) as the zone's time,
// or followed by milliseconds and an offset ("2026-10-25T02:10:00.000+01:00",
// "...Z") as fslog-csv writes it; or a plain number of seconds; nothing for
// anything else.
std::optional<time_point> parse_time_point(const std::string& text,
                                           logread::time_zone zone = logread::time_zone::local);

inline constexpr cli::program program{
    "fslog-plot",
    "Usage: fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] [--utc] LOG... OUT.png|OUT.svg\n"
    "Draws fslog's log (several LOGs read in order as one, plain or gzip) with\n"
    "gnuplot into the picture OUT.\n"
    "  --from TIME   start at TIME: local YYYY-MM-DDTHH:MM[:SS] (an offset such as +01:00\n"
    "                or Z may follow), or seconds since the start\n"
    "  --to TIME     end at TIME, given the same way\n"
    "  --size WxH    the picture's size in pixels (default 1000x1200)\n"
    "  --elapsed     seconds since the run's start on the axis, not the date and time\n"
    "  --utc         the axis and --from and --to in UTC, not local time\n"
    "  -h, --help    show this text\n"
    "  --version     show the version\n"};

} // namespace plot
