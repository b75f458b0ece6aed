// Minimum, mean, maximum and standard deviation: see running_stats.hpp.
#include "logread/running_stats.hpp"

#include <algorithm>
#include <cmath>

namespace logread {

void running_stats::add(double value)
{
    const double before = mean_;
    ++count_;
    sum_ += value;
    mean_ = sum_ / static_cast<double>(count_);
    squares_ += (value - before) * (value - mean_);
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
}

void running_stats::merge(const running_stats& other)
{
    if (other.count_ == 0) {
        return;
    }
    const auto own = static_cast<double>(count_);
    const auto theirs = static_cast<double>(other.count_);
    const double both = own + theirs;
    const double step = other.mean_ - mean_;
    squares_ += other.squares_ + step * step * own * theirs / both;
    count_ += other.count_;
    sum_ += other.sum_;
    mean_ = sum_ / both;
    min_ = std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
}

double running_stats::sd() const
{
    return count_ == 0 ? 0.0 : std::sqrt(squares_ / static_cast<double>(count_));
}

} // namespace logread
