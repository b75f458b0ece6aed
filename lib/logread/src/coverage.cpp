#include "logread/coverage.hpp"

#include <algorithm>

namespace logread {

void time_coverage::add(double time, bool complete)
{
    if (!first_) {
        first_ = time;
        last_ = time;
    }
    last_ = std::max(last_, time);
    if (!complete) {
        return;
    }
    if (open_start_ && time <= open_end_) {
        open_end_ = time + fresh_seconds;
        return;
    }
    if (open_start_) {
        closed_ += open_end_ - *open_start_;
    }
    open_start_ = time;
    open_end_ = time + fresh_seconds;
}

double time_coverage::span() const
{
    return first_ ? last_ - *first_ : 0;
}

double time_coverage::covered() const
{
    return open_start_ ? closed_ + std::max(0.0, std::min(open_end_, last_) - *open_start_) : closed_;
}

} // namespace logread
