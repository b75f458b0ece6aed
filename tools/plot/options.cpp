#include "plot/options.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>

namespace plot {

namespace {

constexpr unsigned min_side = 200;
constexpr unsigned max_side = 20000;

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

std::optional<double> parse_local_time(const std::string& text)
{
    for (const char* format :
         {"%Y-%m-%dT%H:%M:%S", "%Y-%m-%dT%H:%M", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M"}) {
        std::tm fields{};
        const char* end = strptime(text.c_str(), format, &fields);
        if (end != nullptr && *end == '\0') {
            fields.tm_isdst = -1;
            const std::time_t time = std::mktime(&fields);
            if (time != static_cast<std::time_t>(-1)) {
                return static_cast<double>(time);
            }
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

constexpr std::array<cli::option, 4> option_table{{
    {.name = "from", .takes_value = true},
    {.name = "to", .takes_value = true},
    {.name = "size", .takes_value = true},
    {.name = "elapsed"},
}};

// One option as given; why its value is bad, or nothing.
std::string read_option(options& given, std::string_view name, const std::string& value)
{
    if (name == "from" || name == "to") {
        std::optional<time_point>& end = name == "from" ? given.from : given.to;
        end = parse_time_point(value);
        return end ? ""
                   : "--" + std::string(name) + " " + value +
                         ": not a time (YYYY-MM-DDTHH:MM[:SS]) or a number of seconds";
    }
    if (name == "size") {
        return parse_size(value, given)
                   ? ""
                   : "--size " + value + ": not WIDTHxHEIGHT in pixels, each 200 to 20000";
    }
    given.elapsed = true;
    return {};
}

// The LOGs and OUT; why they won't do, or nothing.
std::string read_files(options& given, std::vector<std::string> files)
{
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

std::optional<time_point> parse_time_point(const std::string& text)
{
    if (const std::optional<double> seconds = parse_number(text)) {
        return time_point{false, *seconds, text};
    }
    if (const std::optional<double> seconds = parse_local_time(text)) {
        return time_point{true, *seconds, text};
    }
    return std::nullopt;
}

parsed_options parse_options(int argc, char** argv)
{
    parsed_options parsed;
    options& given = parsed.given;
    parsed.line = cli::parse(argc, argv, program, option_table,
                             [&given](std::string_view name, std::string_view value) {
                                 return read_option(given, name, std::string(value));
                             });
    if (parsed.line.error.empty()) {
        parsed.line.error = read_files(given, parsed.line.operands);
    }
    return parsed;
}

} // namespace plot
