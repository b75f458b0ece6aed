// Times and spans as the report shows them: see time_text.hpp.
#include "report/time_text.hpp"

#include "logread/local_time.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace report {

std::string local_time(double seconds, bool iso)
{
    if (iso) {
        return logread::iso_local_time(seconds);
    }
    return logread::local_time_text(logread::to_milliseconds(seconds).second, "%Y-%m-%d %H:%M:%S");
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
