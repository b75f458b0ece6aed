#include "plot/options.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <string_view>

namespace plot {

namespace {

constexpr unsigned min_side = 200;
constexpr unsigned max_side = 20000;

// The last second of the year 9999: no log reaches beyond it, and neither
// may the window, whose ticks are counted in days.
constexpr double latest_second = 253402300799.0;
constexpr int latest_offset_hours = 23;
constexpr int latest_offset_minutes = 59;

std::optional<double> parse_number(const std::string& text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// What follows the seconds of a time: nothing, or milliseconds as fslog-csv
// writes them, then an ISO 8601 offset ("Z", "+01:00"). The time is then
// that many seconds after the clock reading read as UTC; without an offset
// it is a reading of the zone's clock.
struct time_tail {
    double fraction = 0;
    std::optional<long> offset; // seconds east of UTC
};

std::optional<time_tail> parse_tail(std::string_view text)
{
    time_tail tail;
    if (text.starts_with('.')) {
        const std::size_t digits = std::min(text.find_first_not_of("0123456789", 1), text.size());
        const std::optional<double> fraction = parse_number("0" + std::string(text.substr(0, digits)));
        if (digits == 1 || !fraction) {
            return std::nullopt;
        }
        tail.fraction = *fraction;
        text.remove_prefix(digits);
    }
    if (text == "Z") {
        tail.offset = 0;
    } else if (text.size() == 6 && (text[0] == '+' || text[0] == '-') && text[3] == ':') {
        int hours = 0;
        int minutes = 0;
        const auto h = std::from_chars(text.data() + 1, text.data() + 3, hours);
        const auto m = std::from_chars(text.data() + 4, text.data() + 6, minutes);
        if (h.ptr != text.data() + 3 || m.ptr != text.data() + 6 || hours > latest_offset_hours ||
            minutes > latest_offset_minutes) {
            return std::nullopt;
        }
        tail.offset = (text[0] == '-' ? -1L : 1L) * (hours * 3600L + minutes * 60L);
    } else if (!text.empty()) {
        return std::nullopt;
    }
    return tail;
}

std::optional<double> parse_clock_time(const std::string& text, logread::time_zone zone)
{
    for (const char* format :
         {"%Y-%m-%dT%H:%M:%S", "%Y-%m-%dT%H:%M", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M"}) {
        std::tm fields{};
        const char* end = strptime(text.c_str(), format, &fields);
        const std::optional<time_tail> tail = end != nullptr ? parse_tail(end) : std::nullopt;
        if (!tail) {
            continue;
        }
        fields.tm_isdst = -1;
        const std::tm given = fields;
        const bool as_utc = tail->offset || zone == logread::time_zone::utc;
        const std::time_t time = as_utc ? timegm(&fields) : std::mktime(&fields);
        // mktime moves a day that does not exist (February 30th) into the next month.
        const bool same_day = fields.tm_mday == given.tm_mday && fields.tm_mon == given.tm_mon;
        if (time != static_cast<std::time_t>(-1) && same_day) {
            return static_cast<double>(time) - static_cast<double>(tail->offset.value_or(0)) + tail->fraction;
        }
    }
    return std::nullopt;
}

bool parse_size(const std::string& text, options& into)
{
    const std::size_t cross = text.find('x');
    if (cross == std::string::npos) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto width = std::from_chars(text.data(), text.data() + cross, into.width);
    const auto height = std::from_chars(text.data() + cross + 1, end, into.height);
    return width.ec == std::errc{} && width.ptr == text.data() + cross && height.ec == std::errc{} &&
           height.ptr == end && into.width >= min_side && into.width <= max_side && into.height >= min_side &&
           into.height <= max_side;
}

std::optional<image_format> format_of(const std::string& out)
{
    if (out.ends_with(".png")) {
        return image_format::png;
    }
    if (out.ends_with(".svg")) {
        return image_format::svg;
    }
    return std::nullopt;
}

// Both ends in the same kind can be compared as given; an absolute end and
// an elapsed one only once the log's start is known.
bool in_order(const options& given)
{
    return !given.from || !given.to || given.from->absolute != given.to->absolute ||
           given.from->seconds < given.to->seconds;
}

constexpr std::array<cli::option, 5> option_table{{
    {.name = "from", .takes_value = true},
    {.name = "to", .takes_value = true},
    {.name = "size", .takes_value = true},
    {.name = "elapsed"},
    {.name = "utc"},
}};

// --from and --to as given: they are read once the zone is known, wherever
// --utc stands.
struct window_texts {
    std::optional<std::string> from;
    std::optional<std::string> to;
};

// One option as given; why its value is bad, or nothing.
std::string read_option(options& given, window_texts& window, std::string_view name, const std::string& value)
{
    if (name == "from" || name == "to") {
        (name == "from" ? window.from : window.to) = value;
    } else if (name == "size") {
        return parse_size(value, given)
                   ? ""
                   : "--size " + value + ": not WIDTHxHEIGHT in pixels, each 200 to 20000";
    } else if (name == "utc") {
        given.zone = logread::time_zone::utc;
    } else {
        given.elapsed = true;
    }
    return {};
}

// One end of the window; why it is no time, or nothing.
std::string read_end(const char* name, const std::optional<std::string>& text, logread::time_zone zone,
                     std::optional<time_point>& end)
{
    end = text ? parse_time_point(*text, zone) : std::nullopt;
    return !text || end ? ""
                        : std::string(name) + " " + *text +
                              ": not a time (YYYY-MM-DDTHH:MM[:SS], with an offset or not) or a number of "
                              "seconds, up to "
                              "the year 9999";
}

// The window's ends, the LOGs and OUT; why they won't do, or nothing.
std::string read_operands(options& given, const window_texts& window, std::vector<std::string> files)
{
    for (const std::string& problem : {read_end("--from", window.from, given.zone, given.from),
                                       read_end("--to", window.to, given.zone, given.to)}) {
        if (!problem.empty()) {
            return problem;
        }
    }
    if (files.size() < 2) {
        return "give at least one LOG and the OUT picture";
    }
    given.out = files.back();
    files.pop_back();
    given.logs = files;
    const std::optional<image_format> format = format_of(given.out);
    if (!format) {
        return given.out + ": OUT must end in .png or .svg";
    }
    given.format = *format;
    return in_order(given) ? "" : "--from must come before --to";
}

} // namespace

std::optional<time_point> parse_time_point(const std::string& text, logread::time_zone zone)
{
    const auto within_range = [](double seconds) { return std::abs(seconds) <= latest_second; };
    if (const std::optional<double> seconds = parse_number(text)) {
        return within_range(*seconds) ? std::optional(time_point{false, *seconds, text}) : std::nullopt;
    }
    if (const std::optional<double> seconds = parse_clock_time(text, zone)) {
        return within_range(*seconds) ? std::optional(time_point{true, *seconds, text}) : std::nullopt;
    }
    return std::nullopt;
}

parsed_options parse_options(int argc, char** argv)
{
    parsed_options parsed;
    options& given = parsed.given;
    window_texts window;
    parsed.line =
        cli::parse(argc, argv, program, option_table, [&](std::string_view name, std::string_view value) {
            return read_option(given, window, name, std::string(value));
        });
    if (parsed.line.error.empty()) {
        parsed.line.error = read_operands(given, window, parsed.line.operands);
    }
    return parsed;
}

} // namespace plot
