// The line through the least-delayed phase: see least_delayed_line.hpp.
#include "logread/least_delayed_line.hpp"

#include <algorithm>
#include <cmath>

namespace logread {

namespace {

// A kept reading further off than this many times the usual distance
// (1.4826 median absolute distances: the standard deviation, were they
// normal) is left out.
constexpr double outlier_distances = 5;
// Nor is one within a count, however steady the readings before it.
constexpr double least_outlier_counts = 1;

// A reading's phase along a line of `line_slope`: its level.
double level_of(const timed_phase& reading, double line_slope)
{
    return reading.phase - line_slope * reading.elapsed;
}

template <std::size_t size> double median_of(std::array<double, size> values, std::size_t count)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(count / 2);
    std::nth_element(values.begin(), middle, values.begin() + static_cast<std::ptrdiff_t>(count));
    return *middle;
}

} // namespace

std::optional<timed_phase> least_delayed_line::add(double elapsed, double phase)
{
    const auto second = static_cast<std::int64_t>(std::floor(elapsed));
    std::optional<timed_phase> kept;
    if (second_ && second != *second_) {
        kept = close_second();
    }
    // Least delayed against the slope fitted so far: a rough rate could
    // pick the wrong reading of a second.
    const double line_slope = picking_slope();
    const auto lateness = [&](const timed_phase& reading) { return sign_ * level_of(reading, line_slope); };
    if (!second_ || second != *second_ || lateness({elapsed, phase}) < lateness(best_)) {
        best_ = {elapsed, phase};
    }
    second_ = second;
    return kept;
}

// The slope fitted so far; before there is one, that from the first kept
// reading to the last, once two are kept; before that, the reference's.
double least_delayed_line::picking_slope() const
{
    if (count_ > 2 && tt() > 0) {
        return ty() / tt();
    }
    const std::size_t kept = std::min(recent_count_, neighbours);
    if (kept < 2) {
        return 0;
    }
    const timed_phase& first = recent_[0];
    const timed_phase& last = recent_[kept - 1];
    return (last.phase - first.phase) / (last.elapsed - first.elapsed);
}

std::optional<timed_phase> least_delayed_line::step()
{
    std::optional<timed_phase> kept;
    if (second_) {
        kept = close_second();
        second_.reset();
    }
    before_tt_ += c_tt_;
    before_ty_ += c_ty_;
    before_yy_ += c_yy_;
    c_tt_ = c_ty_ = c_yy_ = mean_t_ = mean_y_ = 0;
    segment_count_ = 0;
    recent_count_ = 0;
    distance_count_ = 0;
    return kept;
}

std::optional<timed_phase> least_delayed_line::close_second()
{
    if (recent_count_ < neighbours) {
        recent_[recent_count_++] = best_;
        if (recent_count_ == neighbours) {
            fit_first_seconds();
        }
        return best_;
    }
    const bool far = far_off(best_);
    std::shift_left(recent_.begin(), recent_.end(), 1);
    recent_.back() = best_;
    if (far) {
        return std::nullopt;
    }
    fit(best_);
    return best_;
}

// The slope of the line through the last seconds' kept readings: the
// median of their slopes two by two, which a few far-off ones don't move.
double least_delayed_line::recent_slope() const
{
    std::array<double, neighbours*(neighbours - 1) / 2> slopes{};
    std::size_t pairs = 0;
    for (std::size_t later = 1; later < neighbours; ++later) {
        for (std::size_t earlier = 0; earlier < later; ++earlier) {
            slopes[pairs++] = (recent_[later].phase - recent_[earlier].phase) /
                              (recent_[later].elapsed - recent_[earlier].elapsed);
        }
    }
    return median_of(slopes, pairs);
}

// A stretch's first seconds have none before them to be judged by: they
// are judged together, once there are enough, about the line through them.
void least_delayed_line::fit_first_seconds()
{
    const std::array<double, neighbours> levels = recent_levels(recent_slope());
    const double middle = median_of(levels, neighbours);
    for (std::size_t index = 0; index < neighbours; ++index) {
        distances_[distance_count_++] = std::abs(levels[index] - middle);
    }
    const double limit = outlier_limit();
    for (std::size_t index = 0; index < neighbours; ++index) {
        if (distances_[index] <= limit) {
            fit(recent_[index]);
        }
    }
}

// Whether the kept reading lies far off the line through the seconds
// before it: their median level along their own slope, which follows a
// rate that changes where the slope fitted to the whole stretch would
// not. Every second's reading, kept or left out, counts for the next.
bool least_delayed_line::far_off(const timed_phase& kept)
{
    const double line_slope = recent_slope();
    const double distance =
        std::abs(level_of(kept, line_slope) - median_of(recent_levels(line_slope), neighbours));
    const bool far = distance > outlier_limit();
    distances_[distance_count_++ % spread_seconds] = distance;
    return far;
}

std::array<double, least_delayed_line::neighbours> least_delayed_line::recent_levels(double line_slope) const
{
    std::array<double, neighbours> levels{};
    std::transform(recent_.begin(), recent_.end(), levels.begin(),
                   [line_slope](const timed_phase& reading) { return level_of(reading, line_slope); });
    return levels;
}

double least_delayed_line::outlier_limit() const
{
    const double usual = 1.4826 * median_of(distances_, std::min(distance_count_, spread_seconds));
    return std::max(outlier_distances * usual, least_outlier_counts);
}

void least_delayed_line::fit(const timed_phase& kept)
{
    const auto [t, y] = kept;
    first_t_ = count_ == 0 ? t : first_t_;
    last_t_ = t;
    ++count_;
    segments_ += segment_count_ == 0 ? 1U : 0U;
    ++segment_count_;
    const double dt = t - mean_t_;
    const double dy = y - mean_y_;
    const auto n = static_cast<double>(segment_count_);
    mean_t_ += dt / n;
    mean_y_ += dy / n;
    c_tt_ += dt * (t - mean_t_);
    c_ty_ += dt * (y - mean_y_);
    c_yy_ += dy * (y - mean_y_);
}

std::optional<double> least_delayed_line::slope() const
{
    if (count_ < 2 || tt() <= 0) {
        return std::nullopt;
    }
    return ty() / tt();
}

std::optional<double> least_delayed_line::slope_error() const
{
    if (count_ < segments_ + 2 || tt() <= 0) {
        return std::nullopt;
    }
    const double residuals = std::max(0.0, before_yy_ + c_yy_ - ty() * ty() / tt());
    return std::sqrt(residuals / static_cast<double>(count_ - segments_ - 1) / tt());
}

} // namespace logread
