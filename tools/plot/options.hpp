// fslog-plot's command line:
//   fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] LOG... OUT
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plot {

// A --from or --to: a local date and time, or elapsed seconds since the
// start of the (first) run.
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
    std::vector<std::string> logs;
    std::string out;
    image_format format = image_format::png;
};

struct parsed_options {
    std::optional<options> given;
    std::string problem; // what is wrong with the command line, when options is empty
};

parsed_options parse_options(const std::vector<std::string>& arguments);

// "YYYY-MM-DDTHH:MM[:SS]" (or with a space for the T) as local time, or a
// plain number of seconds; nothing for anything else.
std::optional<time_point> parse_time_point(const std::string& text);

inline constexpr const char* usage_text =
    "Usage: fslog-plot [--from TIME] [--to TIME] [--size WxH] [--elapsed] LOG... OUT.png|OUT.svg\n";

} // namespace plot
