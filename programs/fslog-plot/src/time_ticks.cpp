#include "plot/time_ticks.hpp"

#include "plot/x_place.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

namespace plot {

namespace {

constexpr double minute = 60;
constexpr double hour = 3600;
constexpr double day = 86400;

// Steps within a day, in seconds; beyond, whole days from midnight.
constexpr std::array<double, 17> clock_steps{
    1,           2,           5,           10,   15,       30,       minute,   2 * minute, 5 * minute,
    10 * minute, 15 * minute, 30 * minute, hour, 2 * hour, 3 * hour, 6 * hour, 12 * hour};
constexpr std::array<int, 12> day_steps{1, 2, 7, 14, 28, 56, 91, 182, 364, 728, 1820, 3640};

double offset_at(double time, logread::time_zone zone)
{
    return static_cast<double>(
        logread::calendar_time(static_cast<std::time_t>(std::floor(time)), zone).tm_gmtoff);
}

// Ticks every `step` seconds of real time, from the first one that the
// zone's clock shows as a round reading.
std::vector<double> clock_ticks(double from, double to, double step, logread::time_zone zone)
{
    const double offset = offset_at(from, zone);
    const double first = std::ceil((from + offset) / step) * step - offset;
    std::vector<double> at;
    for (int count = 0; first + count * step <= to; ++count) {
        at.push_back(first + count * step);
    }
    return at;
}

// The zone's midnights every `step` days from the first after `from`.
std::vector<double> day_ticks(double from, double to, int step, logread::time_zone zone)
{
    std::tm midnight = logread::calendar_time(static_cast<std::time_t>(std::floor(from)), zone);
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    const auto time_of = [zone](std::tm fields) {
        fields.tm_isdst = -1;
        return static_cast<double>(zone == logread::time_zone::utc ? timegm(&fields) : std::mktime(&fields));
    };
    if (time_of(midnight) < from) {
        midnight.tm_mday += 1;
    }
    std::vector<double> at;
    while (time_of(midnight) <= to) {
        at.push_back(time_of(midnight));
        midnight.tm_mday += step;
    }
    return at;
}

const char* label_format(double step, double span)
{
    if (step < minute) {
        return "%H:%M:%S";
    }
    if (step < day) {
        return span <= day ? "%H:%M" : "%a %H:%M";
    }
    constexpr double two_months = 62 * day;
    return span <= two_months ? "%a %d %b" : "%Y-%m-%d";
}

} // namespace

std::vector<tick> time_ticks(double from, double to, logread::time_zone zone, std::size_t most)
{
    const double span = std::max(to - from, 1.0);
    const auto fits = [&](double step) {
        return span / step <= static_cast<double>(std::max<std::size_t>(most, 1));
    };
    const auto clock_step = std::find_if(clock_steps.begin(), clock_steps.end(), fits);
    std::vector<double> at;
    double step = 0;
    if (clock_step != clock_steps.end()) {
        step = *clock_step;
        at = clock_ticks(from, to, step, zone);
    } else {
        const auto days =
            std::find_if(day_steps.begin(), day_steps.end(), [&](int count) { return fits(count * day); });
        const int count = days != day_steps.end()
                              ? *days
                              : static_cast<int>(std::ceil(span / day / static_cast<double>(most)));
        step = count * day;
        at = day_ticks(from, to, count, zone);
    }
    if (at.empty()) {
        at.push_back(from);
    }
    // Within a day, a clock change shows in the labels: the first tick and
    // each one after a change carry the zone's name.
    const bool changes = std::any_of(at.begin(), at.end(), [&](double time) {
        return offset_at(time, zone) != offset_at(at.front(), zone);
    });
    const std::string format = label_format(step, span);
    const std::string zoned = format + " %Z";
    std::vector<tick> ticks;
    for (std::size_t i = 0; i < at.size(); ++i) {
        const bool named =
            changes && step < day && (i == 0 || offset_at(at[i], zone) != offset_at(at[i - 1], zone));
        ticks.push_back({at[i], logread::time_text(static_cast<std::time_t>(std::floor(at[i])),
                                                   (named ? zoned : format).c_str(), zone)});
    }
    return ticks;
}

x_axis_text time_axis_text(double first, double last, logread::time_zone zone, double pixels)
{
    // Room for one tick label, in pixels ("Sun 02:00 CEST").
    constexpr double tick_label_pixels = 110;
    const x_place x{first};
    const auto most = static_cast<std::size_t>(std::max(2.0, pixels / tick_label_pixels));
    std::string unlabelled;
    std::string labelled;
    for (const tick& each : time_ticks(first, last, zone, most)) {
        const std::string at = x(each.at);
        const char* separator = unlabelled.empty() ? "" : ", ";
        unlabelled.append(separator).append("'' ").append(at);
        labelled.append(separator).append(gnuplot::quoted(each.label)).append(" ").append(at);
    }
    const char* format = "%Y-%m-%d %H:%M:%S %Z";
    const auto text = [&](double time) {
        return logread::time_text(static_cast<std::time_t>(std::floor(time)), format, zone);
    };
    return {"set xtics (" + unlabelled + ")", "set xtics (" + labelled + ")",
            (zone == logread::time_zone::utc ? "UTC, " : "local time of the logging machine, ") +
                text(first) + " to " + text(last)};
}

x_axis_text elapsed_axis_text(bool for_want_of_start)
{
    return {"set format x ''", "set format x '%.10g'",
            for_want_of_start ? "seconds since the run's start (no start line before the first row: the "
                                "time of day is unknown)"
                              : "seconds since the run's start"};
}

} // namespace plot
