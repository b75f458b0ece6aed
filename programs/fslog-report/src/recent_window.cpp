// The last hour of a series, one bin per second: see recent_window.hpp.
#include "report/recent_window.hpp"

#include <algorithm>
#include <cmath>

namespace report {

namespace {

std::int64_t second_of(double time)
{
    return static_cast<std::int64_t>(std::floor(time));
}

} // namespace

recent_window::recent_window(std::size_t seconds) : bins_(seconds), bin_second_(seconds, INT64_MIN) {}

void recent_window::add(double time, double value)
{
    const auto size = static_cast<std::int64_t>(bins_.size());
    std::int64_t second = second_of(time);
    if (newest_ && second < *newest_ - size) {
        // Far back: another clock (a new run timed only by its elapsed
        // seconds), so what the window held belongs to the old one.
        std::fill(bin_second_.begin(), bin_second_.end(), INT64_MIN);
        newest_.reset();
    }
    second = std::max(second, newest_.value_or(second));
    newest_ = second;
    const auto slot = static_cast<std::size_t>((second % size + size) % size);
    if (bin_second_[slot] != second) {
        bins_[slot] = logread::running_stats{};
        bin_second_[slot] = second;
    }
    bins_[slot].add(value);
}

logread::running_stats recent_window::last(double now, std::size_t seconds) const
{
    const std::int64_t end = second_of(now);
    const std::int64_t begin = end - static_cast<std::int64_t>(std::min(seconds, bins_.size()));
    logread::running_stats merged;
    for (std::size_t slot = 0; slot < bins_.size(); ++slot) {
        if (bin_second_[slot] > begin && bin_second_[slot] <= end) {
            merged.merge(bins_[slot]);
        }
    }
    return merged;
}

} // namespace report
