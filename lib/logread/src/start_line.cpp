#include "logread/start_line.hpp"

#include <algorithm>
#include <array>
#include <string>

namespace logread {

namespace {

constexpr int first_year = 1900; // four-digit years, as ctime prints them
constexpr int last_year = 9999;

constexpr const char* unreadable = "no date and time in the form \"Tue Dec  8 09:14:03 2026\"";
constexpr const char* no_such_date = "no such date or time";
constexpr const char* skipped_hour = "a time in the hour skipped when the clocks went forward";
constexpr const char* repeated_hour =
    "a time in the hour repeated when the clocks went back; taken as the first of the two";

bool same_clock_reading(const std::tm& a, const std::tm& b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// A real calendar date and time: UTC has no skipped or repeated hours, so
// only a date that does not exist comes back changed from timegm.
bool exists(const std::tm& fields)
{
    std::tm normalised = fields;
    timegm(&normalised);
    return same_clock_reading(normalised, fields);
}

// The time at which local clocks showed `fields` with summer time in
// force or not; nothing when they never showed it so.
std::optional<std::time_t> local_reading(const std::tm& fields, int summer)
{
    std::tm asked = fields;
    asked.tm_isdst = summer;
    const std::time_t time = std::mktime(&asked);
    std::tm shown{};
    if (time == static_cast<std::time_t>(-1) || localtime_r(&time, &shown) == nullptr ||
        !same_clock_reading(shown, fields)) {
        return std::nullopt;
    }
    return time;
}

} // namespace

start_time read_start_time(std::string_view ctime_text)
{
    // strptime wants a terminated string; a start line is short.
    const std::string text(ctime_text);
    std::tm fields{};
    const char* end = strptime(text.c_str(), "%a %b %d %H:%M:%S %Y", &fields);
    if (end == nullptr || *end != '\0' || fields.tm_year + 1900 < first_year ||
        fields.tm_year + 1900 > last_year) {
        return {std::nullopt, unreadable};
    }
    if (!exists(fields)) {
        return {std::nullopt, no_such_date};
    }
    const std::array readings{local_reading(fields, 0), local_reading(fields, 1)};
    if (readings[0] && readings[1] && *readings[0] != *readings[1]) {
        return {std::min(*readings[0], *readings[1]), repeated_hour};
    }
    if (!readings[0] && !readings[1]) {
        return {std::nullopt, skipped_hour};
    }
    return {readings[0] ? readings[0] : readings[1], nullptr};
}

} // namespace logread
