// Times and spans as the report shows them: see time_text.hpp.
#include "report/time_text.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace report {

std::string local_time(double seconds, bool iso)
{
    const double whole = std::floor(seconds);
    auto milliseconds = static_cast<int>(std::lround((seconds - whole) * 1000));
    auto second = static_cast<std::time_t>(whole);
    if (milliseconds == 1000) {
        milliseconds = 0;
        ++second;
    }
    std::tm fields{};
    localtime_r(&second, &fields);
    std::array<char, 40> text{};
    const std::size_t length =
        std::strftime(text.data(), text.size(), iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &fields);
    std::string result(text.data(), length);
    if (iso) {
        std::snprintf(text.data(), text.size(), ".%03d", milliseconds);
        result += text.data();
    }
    return result;
}

std::string span_text(double seconds)
{
    std::array<char, 40> text{};
    const auto whole = static_cast<long long>(seconds);
    if (seconds < 60) {
        std::snprintf(text.data(), text.size(), "%.1f s", seconds);
    } else if (seconds < 3600) {
        std::snprintf(text.data(), text.size(), "%lld min %02lld s", whole / 60, whole % 60);
    } else if (seconds < 86400) {
        std::snprintf(text.data(), text.size(), "%lld h %02lld min", whole / 3600, whole % 3600 / 60);
    } else {
        std::snprintf(text.data(), text.size(), "%lld d %02lld h", whole / 86400, whole % 86400 / 3600);
    }
    return text.data();
}

} // namespace report
