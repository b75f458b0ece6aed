#include "plot/options.hpp"

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

parsed_options parse_options(const std::vector<std::string>& arguments)
{
    options given;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool takes_value = argument == "--from" || argument == "--to" || argument == "--size";
        if (takes_value && i + 1 == arguments.size()) {
            return {std::nullopt, argument + " needs a value"};
        }
        if (argument == "--from" || argument == "--to") {
            std::optional<time_point>& end = argument == "--from" ? given.from : given.to;
            end = parse_time_point(arguments[++i]);
            if (!end) {
                return {std::nullopt, argument + " " + arguments[i] +
                                          ": not a time (YYYY-MM-DDTHH:MM[:SS]) or a number of seconds"};
            }
        } else if (argument == "--size") {
            if (!parse_size(arguments[++i], given)) {
                return {std::nullopt,
                        "--size " + arguments[i] + ": not WIDTHxHEIGHT in pixels, each 200 to 20000"};
            }
        } else if (argument == "--elapsed") {
            given.elapsed = true;
        } else if (argument.starts_with("--")) {
            return {std::nullopt, "unknown option " + argument};
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() < 2) {
        return {std::nullopt, "give at least one LOG and the OUT picture"};
    }
    given.out = files.back();
    files.pop_back();
    given.logs = files;
    const std::optional<image_format> format = format_of(given.out);
    if (!format) {
        return {std::nullopt, given.out + ": OUT must end in .png or .svg"};
    }
    given.format = *format;
    if (!in_order(given)) {
        return {std::nullopt, "--from must come before --to"};
    }
    return {given, {}};
}

} // namespace plot
