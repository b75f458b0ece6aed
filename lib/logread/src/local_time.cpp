#include "logread/local_time.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace logread {

millisecond_time to_milliseconds(double seconds)
{
    constexpr long long per_second = 1000;
    const auto total = std::llround(seconds * static_cast<double>(per_second));
    // Rounded down, so that times before the epoch keep their milliseconds positive too.
    const long long whole = total / per_second - (total % per_second < 0 ? 1 : 0);
    return {static_cast<std::time_t>(whole), static_cast<int>(total - whole * per_second)};
}

std::tm calendar_time(std::time_t second, time_zone zone)
{
    std::tm fields{};
    if (zone == time_zone::utc) {
        gmtime_r(&second, &fields);
        fields.tm_zone = "UTC"; // glibc says "GMT"
    } else {
        localtime_r(&second, &fields);
    }
    return fields;
}

std::string time_text(std::time_t second, const char* format, time_zone zone)
{
    const std::tm fields = calendar_time(second, zone);
    std::array<char, 64> text{};
    return {text.data(), std::strftime(text.data(), text.size(), format, &fields)};
}

std::string iso_offset(std::time_t second, time_zone zone)
{
    if (zone == time_zone::utc) {
        return "Z";
    }
    const long offset = calendar_time(second, zone).tm_gmtoff;
    constexpr long minute = 60;
    const long minutes = std::labs(offset) / minute;
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / minute,
                  minutes % minute);
    return text.data();
}

std::string iso_time(double seconds, time_zone zone)
{
    const millisecond_time at = to_milliseconds(seconds);
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03d", at.millisecond);
    return time_text(at.second, "%Y-%m-%dT%H:%M:%S", zone) + millis.data() + iso_offset(at.second, zone);
}

} // namespace logread
