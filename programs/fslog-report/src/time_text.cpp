// Times and spans as the report shows them: see time_text.hpp.
#include "report/time_text.hpp"

#include "logread/local_time.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace report {

std::string readable_time(double seconds, logread::time_zone zone)
{
    return logread::time_text(logread::to_milliseconds(seconds).second, "%Y-%m-%d %H:%M:%S %Z", zone);
}

std::string run_start_text(const std::optional<std::time_t>& start, std::string_view ctime_text,
                           logread::time_zone zone)
{
    if (start) {
        return readable_time(static_cast<double>(*start), zone);
    }
    return "\"" + std::string(ctime_text) + "\" (no time)";
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
