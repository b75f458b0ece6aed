// The least-delayed phase: see phase_fit.hpp.
#include "logread/phase_fit.hpp"

#include <algorithm>
#include <cmath>

namespace logread {

namespace {

// A second's place in the ring of recent seconds. The modulo is taken
// positive: a damaged log's elapsed times may be negative.
std::size_t ring_index(std::int64_t second)
{
    constexpr auto kept = static_cast<std::int64_t>(2 * phase_fit::adev_tau + 1);
    return static_cast<std::size_t>(((second % kept) + kept) % kept);
}

} // namespace

std::optional<rate_span> phase_fit::add(double elapsed, double phase, double rate)
{
    if (count_ == 0 && !second_) {
        origin_ = elapsed;
        reference_rate_ = rate;
    }
    const auto second = static_cast<std::int64_t>(std::floor(elapsed));
    std::optional<rate_span> settled;
    if (second_ && second != *second_) {
        settled = close_second();
    }
    // Least late against the rate fitted so far: a rough rate could pick
    // the wrong reading of a second.
    const double slope = count_ > 2 && tt() > 0 ? ty() / tt() : 0;
    const double y = residual(elapsed, phase);
    if (!second_ || second != *second_ || y - slope * elapsed < best_y_ - slope * best_t_) {
        best_t_ = elapsed;
        best_y_ = y;
    }
    second_ = second;
    return settled;
}

void phase_fit::step()
{
    if (second_) {
        close_second();
        second_.reset();
    }
    before_tt_ += c_tt_;
    before_ty_ += c_ty_;
    before_yy_ += c_yy_;
    c_tt_ = c_ty_ = c_yy_ = mean_t_ = mean_y_ = 0;
    segment_count_ = 0;
    recent_.fill(std::nullopt);
}

std::optional<rate_span> phase_fit::close_second()
{
    const double t = best_t_ - origin_;
    first_t_ = count_ == 0 ? best_t_ : first_t_;
    last_t_ = best_t_;
    ++count_;
    segments_ += segment_count_ == 0 ? 1U : 0U;
    ++segment_count_;
    const double dt = t - mean_t_;
    const double dy = best_y_ - mean_y_;
    const auto n = static_cast<double>(segment_count_);
    mean_t_ += dt / n;
    mean_y_ += dy / n;
    c_tt_ += dt * (t - mean_t_);
    c_ty_ += dt * (best_y_ - mean_y_);
    c_yy_ += dy * (best_y_ - mean_y_);

    const std::int64_t second = *second_;
    constexpr auto kept = static_cast<std::int64_t>(2 * adev_tau + 1);
    const std::optional<timed_phase> span_from = span_start(second);
    // Seconds without a reading since the last one have no phase.
    const std::int64_t after = recent_second_ ? std::max(*recent_second_ + 1, second - kept + 1) : second;
    for (std::int64_t missing = after; missing < second; ++missing) {
        recent_[ring_index(missing)].reset();
    }
    recent_second_ = second;
    recent_[ring_index(second)] = timed_phase{best_t_, best_y_};
    const auto& before = recent_[ring_index(second - adev_tau)];
    const auto& first = recent_[ring_index(second - 2 * adev_tau)];
    if (second >= 2 * adev_tau && before && first) {
        // The two spans' fractional frequencies, each over the times its
        // own readings were taken: the least-delayed reading of a second
        // may come anywhere in it, so the spans are 10 s only roughly, and
        // the rate the phase is taken against cancels in their difference.
        const auto frequency = [this](const timed_phase& from, const timed_phase& to) {
            return (to.phase - from.phase) / (to.elapsed - from.elapsed) / reference_rate_;
        };
        const double change = frequency(*before, {best_t_, best_y_}) - frequency(*first, *before);
        adev_sum_ += change * change;
        ++adev_terms_;
    }
    if (!span_from) {
        return std::nullopt;
    }
    const double span_seconds = best_t_ - span_from->elapsed;
    return rate_span{best_y_ - span_from->phase + reference_rate_ * span_seconds, span_seconds};
}

// The least-delayed reading of two seconds before, or where that second had
// none, of the last second closed: a second's may come anywhere in it, so
// a span from the second just before could last a few milliseconds.
std::optional<phase_fit::timed_phase> phase_fit::span_start(std::int64_t second) const
{
    if (!recent_second_) {
        return std::nullopt;
    }
    const std::int64_t two_before = second - 2;
    if (two_before >= 0 && *recent_second_ >= two_before && recent_[ring_index(two_before)]) {
        return recent_[ring_index(two_before)];
    }
    return recent_[ring_index(*recent_second_)];
}

std::optional<double> phase_fit::rate() const
{
    if (count_ < 2 || tt() <= 0) {
        return std::nullopt;
    }
    return reference_rate_ + ty() / tt();
}

std::optional<double> phase_fit::rate_error() const
{
    if (count_ < segments_ + 2 || tt() <= 0) {
        return std::nullopt;
    }
    const double residuals = std::max(0.0, before_yy_ + c_yy_ - ty() * ty() / tt());
    return std::sqrt(residuals / static_cast<double>(count_ - segments_ - 1) / tt());
}

std::optional<double> phase_fit::adev() const
{
    if (adev_terms_ == 0) {
        return std::nullopt;
    }
    return std::sqrt(adev_sum_ / (2 * static_cast<double>(adev_terms_)));
}

void fitted_rate::add(const phase_fit& fit)
{
    const auto rate_now = fit.rate();
    if (!rate_now) {
        return;
    }
    seconds += fit.seconds();
    rate_seconds += *rate_now * fit.seconds();
    error_squares += std::pow(fit.rate_error().value_or(0) * fit.seconds(), 2);
    if (const auto adev_now = fit.adev()) {
        adev_squares += *adev_now * *adev_now * fit.seconds();
        adev_seconds += fit.seconds();
    }
}

void fitted_rate::add(const fitted_rate& other)
{
    seconds += other.seconds;
    rate_seconds += other.rate_seconds;
    error_squares += other.error_squares;
    adev_squares += other.adev_squares;
    adev_seconds += other.adev_seconds;
}

std::optional<double> fitted_rate::rate() const
{
    return seconds > 0 ? std::optional(rate_seconds / seconds) : std::nullopt;
}

std::optional<double> fitted_rate::error() const
{
    return seconds > 0 ? std::optional(std::sqrt(error_squares) / seconds) : std::nullopt;
}

std::optional<double> fitted_rate::adev() const
{
    return adev_seconds > 0 ? std::optional(std::sqrt(adev_squares / adev_seconds)) : std::nullopt;
}

} // namespace logread
