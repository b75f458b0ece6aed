#include "stability_tool/bin_timeline.hpp"

#include <algorithm>
#include <limits>

namespace stability_tool {

bin_timeline::bin_timeline(double tau0, bool keep_readings) : keep_readings_(keep_readings)
{
    series_.data.tau0 = tau0;
}

std::size_t bin_timeline::put(std::int64_t bin, double start, double value, std::size_t readings)
{
    if (!first_bin_) {
        first_bin_ = bin;
        series_.start_time = start;
        break_pending_ = false;
    }
    auto index = bin - first_bin_.value() + shift_;
    const auto next = static_cast<std::int64_t>(size());
    if (break_pending_ && index <= next) {
        shift_ += next + 1 - index;
        index = next + 1;
    }
    break_pending_ = false;
    const auto at = static_cast<std::size_t>(std::max(index, next));
    series_.data.values.resize(at, std::numeric_limits<double>::quiet_NaN());
    series_.data.values.push_back(value);
    if (keep_readings_) {
        series_.readings.resize(at, 0);
        series_.readings.push_back(static_cast<std::uint16_t>(
            std::min<std::size_t>(readings, std::numeric_limits<std::uint16_t>::max())));
    }
    return at;
}

} // namespace stability_tool
