#include "logread/start_line.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

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

// The times at which local clocks showed `fields`, earliest first: none
// in the hour skipped in spring, two in the hour repeated in autumn. A
// reading is the clock time less the zone's offset then, and the offset
// is one of those a day either side (no zone changes twice within two
// days), so four look-ups find them in any zone, with or without summer
// time.
std::array<std::optional<std::time_t>, 2> local_readings(const std::tm& fields)
{
    std::tm as_utc = fields;
    const std::time_t clock = timegm(&as_utc);
    constexpr std::time_t day = 86400;
    std::array<std::optional<std::time_t>, 2> found;
    std::size_t count = 0;
    for (const std::time_t near : {clock - day, clock + day}) {
        std::tm there{};
        localtime_r(&near, &there);
        const std::time_t time = clock - there.tm_gmtoff;
        std::tm shown{};
        if (localtime_r(&time, &shown) != nullptr && same_clock_reading(shown, fields) &&
            (count == 0 || *found[0] != time)) {
            found[count++] = time;
        }
    }
    if (found[0] && found[1] && *found[1] < *found[0]) {
        std::swap(found[0], found[1]);
    }
    return found;
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
        return {std::nullopt, unreadable, std::nullopt};
    }
    if (!exists(fields)) {
        return {std::nullopt, no_such_date, std::nullopt};
    }
    const auto readings = local_readings(fields);
    if (!readings[0]) {
        return {std::nullopt, skipped_hour, std::nullopt};
    }
    if (readings[1]) {
        return {readings[0], repeated_hour, readings[1]};
    }
    return {readings[0], nullptr, std::nullopt};
}

} // namespace logread
