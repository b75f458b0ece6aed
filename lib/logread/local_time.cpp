#include "logread/local_time.hpp"

#include <array>
#include <cmath>
#include <cstdio>

namespace logread {

millisecond_time to_milliseconds(double seconds)
{
    constexpr long long per_second = 1000;
    const auto total = std::llround(seconds * static_cast<double>(per_second));
    // Rounded down, so that times before the epoch keep their milliseconds positive too.
    const long long whole = total / per_second - (total % per_second < 0 ? 1 : 0);
    return {static_cast<std::time_t>(whole), static_cast<int>(total - whole * per_second)};
}

std::string local_time_text(std::time_t second, const char* format)
{
    std::tm fields{};
    localtime_r(&second, &fields);
    std::array<char, 64> text{};
    return {text.data(), std::strftime(text.data(), text.size(), format, &fields)};
}

std::string iso_local_time(double seconds)
{
    const millisecond_time at = to_milliseconds(seconds);
    std::array<char, 8> millis{};
    std::snprintf(millis.data(), millis.size(), ".%03d", at.millisecond);
    return local_time_text(at.second, "%Y-%m-%dT%H:%M:%S") + millis.data();
}

} // namespace logread
